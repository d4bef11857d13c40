#ifndef STATISTICS_H
#define STATISTICS_H

// Distance statistics over a run of measurements, in one pass and constant
// memory: count, minimum, maximum, mean, sample standard deviation (n - 1)
// and median.
//
// Distances are whole millimetres (0..65535), so the pass keeps exact integer
// sums of the distances and of their squares, both shifted by the first
// distance (the shift keeps the sums small at a large offset). Every figure is
// then derived from exact numbers: the printed digits are the correctly
// rounded values (half away from zero) and comparisons against limits are
// exact, for any number of samples up to 2^36 (more than 20 years at 100
// frames/s; the command line takes at most 2^32 - 1 frames) and any offset.
// A floating-point recurrence (Welford) is stable too, but cannot promise the
// last digit.
//
// The bound, with distances below 2^16 and limits up to 65535000 < 2^26
// thousandths: |sum| < 2^52; 1000 times the total, and a limit times the
// count, stay below 2^62 in 64 bits; the sum of squares (< 2^68) and the
// products of a count with it (< 2^104, times 4 * 10^6 < 2^126) are formed
// in WideUnsigned, as is n (n - 1) (< 2^72) times a squared root (< 2^54).
//
// The median comes from a histogram of the 65,536 possible distances. With an
// even count it is the mean of the two middle distances (so it may end in .5).
//
// Values in thousandths of a millimetre ("milli") are the exact results
// rounded to the nearest thousandth; limits given in thousandths compare
// exactly against the unrounded values.

#include "stats/moments.h"

#include <QString>
#include <QtGlobal>
#include <vector>

class DistanceStatistics
{
public:
    DistanceStatistics();

    // The distance, `times` times over (a run's frames, or a histogram's bin).
    void add(quint16 distanceMm, quint64 times = 1);

    quint64 count() const { return moments.count(); }
    bool isEmpty() const { return moments.count() == 0; }
    quint16 minimum() const { return minMm; }
    quint16 maximum() const { return maxMm; }

    // The median in half millimetres (2 x median), so .5 stays exact.
    quint32 medianHalves() const;

    // Rounded to the nearest thousandth of a millimetre. Empty: 0; one sample: sigma 0.
    qint64 meanMilli() const;
    qint64 sigmaMilli() const;
    // mean - referenceMilli/1000, rounded to the nearest thousandth;
    // |referenceMilli| at most 65535000.
    qint64 differenceMilli(qint64 referenceMilli) const;

    // Exact tests of the unrounded values against limits in thousandths, each
    // at most 65535000 in magnitude. A negative sigma limit is never met.
    bool meanWithin(qint64 referenceMilli, qint64 toleranceMilli) const;
    bool sigmaAtMost(qint64 limitMilli) const;

    double mean() const { return moments.mean(); }
    double sigma() const { return moments.sigma(); }

private:
    std::vector<quint64> histogram;
    Moments moments;
    quint16 minMm = 0;
    quint16 maxMm = 0;
};

// "1500.123", "-0.500": a value in thousandths with three decimals.
QString milliText(qint64 milli);
// "1500", "1500.5": a value in halves.
QString halvesText(quint32 halves);

#endif // STATISTICS_H
