#include "statistics.h"

#include <cmath>

namespace {
// num/den rounded to the nearest integer, halves away from zero; den > 0 and
// 2|num| + den below 2^63.
qint64 roundedQuotient(qint64 num, qint64 den)
{
    const bool negative = num < 0;
    const qint64 magnitude = negative ? -num : num;
    const qint64 q = (2 * magnitude + den) / (2 * den);
    return negative ? -q : q;
}

// The integer m nearest to sqrt(num/den) (den > 0), decided in integers:
// (2m-1)^2 den <= 4 num < (2m+1)^2 den. The root stays below 2^26; the
// estimate in floating point is off by one at most, so the steps are bounded.
qint64 roundedSquareRoot(const WideUnsigned &num, const WideUnsigned &den)
{
    qint64 m = qint64(std::llround(std::sqrt(num.toDouble() / den.toDouble())));
    const WideUnsigned fourNum = num * 4;
    const auto below = [&](qint64 k) {
        const quint64 odd = quint64(2 * k - 1);
        return den * (odd * odd) <= fourNum;
    };
    for (int step = 0; step < 8 && m > 0 && !below(m); ++step)
        --m;
    for (int step = 0; step < 8 && below(m + 1); ++step)
        ++m;
    return m;
}

quint64 magnitude(qint64 v)
{
    return v < 0 ? quint64(0) - quint64(v) : quint64(v);
}
}

DistanceStatistics::DistanceStatistics()
    : histogram(65536, 0)  // allocated and touched once: memory stays flat during a run
{
}

void DistanceStatistics::add(quint16 x, quint64 times)
{
    if (times == 0)
        return;
    if (n == 0) {
        shift = x;
        minMm = maxMm = x;
    }
    n += times;
    histogram[x] += times;
    const qint64 d = qint64(x) - shift;
    sum += d * qint64(times);
    sumSquares = sumSquares + WideUnsigned::product(quint64(d * d), times);
    if (x < minMm)
        minMm = x;
    if (x > maxMm)
        maxMm = x;
}

quint32 DistanceStatistics::medianHalves() const
{
    if (n == 0)
        return 0;
    // 1-based ranks of the two middle samples (the same one for an odd count).
    const quint64 lowRank = (n + 1) / 2;
    const quint64 highRank = n / 2 + 1;
    quint64 seen = 0;
    int low = -1;
    for (int x = minMm; x <= maxMm; ++x) {
        seen += histogram[size_t(x)];
        if (low < 0 && seen >= lowRank)
            low = x;
        if (seen >= highRank)
            return quint32(low + x);
    }
    return quint32(2 * maxMm);
}

qint64 DistanceStatistics::meanMilli() const
{
    if (n == 0)
        return 0;
    return roundedQuotient(1000 * total(), qint64(n));
}

qint64 DistanceStatistics::differenceMilli(qint64 referenceMilli) const
{
    if (n == 0)
        return 0;
    return roundedQuotient(1000 * total() - referenceMilli * qint64(n), qint64(n));
}

qint64 DistanceStatistics::total() const
{
    return qint64(shift) * qint64(n) + sum;
}

WideUnsigned DistanceStatistics::varianceNumerator() const
{
    return sumSquares * n - WideUnsigned::product(magnitude(sum), magnitude(sum));
}

qint64 DistanceStatistics::sigmaMilli() const
{
    if (n < 2)
        return 0;
    // sigma in thousandths = sqrt(10^6 * numerator / (n (n - 1))).
    return roundedSquareRoot(varianceNumerator() * 1000000, WideUnsigned::product(n, n - 1));
}

bool DistanceStatistics::meanWithin(qint64 referenceMilli, qint64 toleranceMilli) const
{
    if (n == 0)
        return false;
    const qint64 diff = 1000 * total() - referenceMilli * qint64(n);
    return toleranceMilli >= 0 && magnitude(diff) <= quint64(toleranceMilli) * n;
}

bool DistanceStatistics::sigmaAtMost(qint64 limitMilli) const
{
    if (n < 2)
        return limitMilli >= 0;
    if (limitMilli < 0)
        return false;
    // numerator / (n (n-1)) <= (limit / 1000)^2
    const quint64 limitSquared = quint64(limitMilli) * quint64(limitMilli);
    return varianceNumerator() * 1000000 <= WideUnsigned::product(n, n - 1) * limitSquared;
}

double DistanceStatistics::mean() const
{
    return n == 0 ? 0.0 : double(shift) + double(sum) / double(n);
}

double DistanceStatistics::sigma() const
{
    if (n < 2)
        return 0.0;
    return std::sqrt(varianceNumerator().toDouble() / (double(n) * double(n - 1)));
}

QString milliText(qint64 milli)
{
    const bool negative = milli < 0;
    const quint64 magnitude = quint64(negative ? -milli : milli);
    return QString::asprintf("%s%llu.%03llu", negative ? "-" : "",
                             static_cast<unsigned long long>(magnitude / 1000),
                             static_cast<unsigned long long>(magnitude % 1000));
}

QString halvesText(quint32 halves)
{
    return QString::number(halves / 2) + (halves % 2 ? QStringLiteral(".5") : QString());
}
