#ifndef MOVINGSTATISTICS_H
#define MOVINGSTATISTICS_H

// Distance statistics over a changing set of samples: samples are added and
// dropped (the oldest of a moving window, say) at constant cost each, and the
// count, minimum, maximum, mean, sample standard deviation (n - 1) and median
// are read at constant cost too, whatever the number of samples.
//
// Distances are whole millimetres (0..65535), so the set is kept as a count
// per value, with a two-level bitmap of the values present: the next or
// previous value present is found in a bounded number of word operations.
// The median is a cursor on the lower middle sample that moves by at most
// one value per add or drop.
//
// Sums are exact integers (distances shifted by the first one, so a large
// offset keeps them small) and every figure is the correctly rounded exact
// value (halves away from zero), for up to 2^32 samples. Rounded figures come
// "scaled": the value times 10^decimals as an integer (decimals 0..3).

#include "stats/moments.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <vector>

class MovingStatistics
{
public:
    MovingStatistics();

    void add(quint16 distanceMm);
    // Removes one sample of this value; a value not present is ignored.
    void drop(quint16 distanceMm);
    void clear();

    quint64 count() const { return moments.count(); }
    bool isEmpty() const { return moments.count() == 0; }
    quint16 minimum() const { return lowest; }
    quint16 maximum() const { return highest; }
    // How many samples hold this value.
    quint32 countOf(quint16 distanceMm) const { return counts[distanceMm]; }
    // The smallest value present that is >= from; -1 when there is none.
    int nextPresent(int from) const;

    // The median in half millimetres (2 x median), so .5 stays exact; with an
    // even count the mean of the two middle samples. Empty: 0.
    quint32 medianHalves() const;
    // 10^decimals x the mean / the sample standard deviation, rounded.
    // Empty: 0; one sample: sigma 0.
    qint64 meanScaled(int decimals) const { return moments.meanScaled(decimals); }
    qint64 sigmaScaled(int decimals) const { return moments.sigmaScaled(decimals); }

    double mean() const { return moments.mean(); }
    double sigma() const { return moments.sigma(); }

private:
    int previousPresent(int from) const;
    void mark(quint16 value);
    void unmark(quint16 value);
    void moveMedianCursor();

    std::vector<quint32> counts;
    std::array<quint64, 1024> present{};  // bit v: counts[v] > 0
    std::array<quint64, 16> presentWords{};  // bit w: present[w] != 0
    Moments moments;
    quint16 lowest = 0;
    quint16 highest = 0;
    // The lower middle sample (rank (n + 1) / 2, from 1) has the value
    // medianValue; `belowMedian` samples lie below that value.
    quint16 medianValue = 0;
    quint64 belowMedian = 0;
};

// A scaled value as text: scaledText(150012, 2) is "1500.12", (-5, 3) "-0.005".
QString scaledText(qint64 scaled, int decimals);

#endif // MOVINGSTATISTICS_H
