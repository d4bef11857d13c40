#ifndef MOMENTS_H
#define MOMENTS_H

// The mean and the sample standard deviation (n - 1) of whole numbers, from
// exact sums: the count, the sum and the sum of squares, every value shifted
// by the first one (the shift keeps the sums small at a large offset and
// changes no deviation). Every rounded figure is the correctly rounded exact
// value (halves away from zero), decided in integers; the doubles are for
// plots and ratios. The one implementation of both figures: a run's
// statistics, the window's moving ones and the report's all use it.
//
// Bounds: values below 2^26 in magnitude and counts up to 2^36 keep the sum
// below 2^62 and the sum of squares (WideUnsigned) exact; a figure scaled by
// up to 10^3.

#include "stats/wideunsigned.h"

#include <QtGlobal>

class Moments
{
public:
    Moments() = default;
    // From sums a database gave: n values, their sum and the sum of their squares.
    static Moments fromSums(quint64 n, qint64 sum, WideUnsigned sumOfSquares);

    void add(qint64 value, quint64 times = 1);
    // One sample of a value added before.
    void drop(qint64 value);
    void clear() { *this = Moments(); }

    quint64 count() const { return n; }
    // The sum of the values themselves.
    qint64 total() const { return shift * qint64(n) + sum; }
    // n * sum((x - shift)^2) - (sum(x - shift))^2: n(n-1) times the sample variance.
    WideUnsigned varianceNumerator() const;

    // 10^decimals x the mean / the sample standard deviation, rounded.
    // Empty: 0; one sample: sigma 0.
    qint64 meanScaled(int decimals) const;
    qint64 sigmaScaled(int decimals) const;

    double mean() const;
    double sigma() const;

private:
    quint64 n = 0;
    qint64 shift = 0;
    qint64 sum = 0;           // sum of (x - shift)
    WideUnsigned squares;     // sum of (x - shift)^2
};

// num/den rounded to the nearest integer, halves away from zero; den > 0 and
// 2|num| + den below 2^63.
qint64 roundedQuotient(qint64 num, qint64 den);

// |v| without overflow (also for the lowest qint64).
quint64 unsignedMagnitude(qint64 v);

// 10^decimals, decimals 0..18.
quint64 powerOfTen(int decimals);

#endif // MOMENTS_H
