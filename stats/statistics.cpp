#include "statistics.h"

#include <cmath>

namespace {
using i128 = __int128;

// num/den rounded to the nearest integer, halves away from zero; den > 0.
qint64 roundedQuotient(i128 num, i128 den)
{
    const bool negative = num < 0;
    const i128 magnitude = negative ? -num : num;
    const i128 q = (2 * magnitude + den) / (2 * den);
    return qint64(negative ? -q : q);
}

// The integer m nearest to sqrt(num/den) (num >= 0, den > 0), decided in
// integers: (2m-1)^2 den <= 4 num < (2m+1)^2 den.
qint64 roundedSquareRoot(i128 num, i128 den)
{
    qint64 m = qint64(std::llround(std::sqrt(static_cast<long double>(num)
                                             / static_cast<long double>(den))));
    const auto below = [&](qint64 k) { return i128(2 * k - 1) * (2 * k - 1) * den <= 4 * num; };
    while (m > 0 && !below(m))
        --m;
    while (below(m + 1))
        ++m;
    return m;
}
}

DistanceStatistics::DistanceStatistics()
    : histogram(65536, 0)  // allocated and touched once: memory stays flat during a run
{
}

void DistanceStatistics::add(quint16 x)
{
    if (n == 0) {
        shift = x;
        minMm = maxMm = x;
    }
    ++n;
    ++histogram[x];
    const qint64 d = qint64(x) - shift;
    sum += d;
    sumSquares += quint64(d * d);
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
    return roundedQuotient(i128(1000) * (i128(shift) * n + sum), i128(n));
}

qint64 DistanceStatistics::differenceMilli(qint64 referenceMilli) const
{
    if (n == 0)
        return 0;
    return roundedQuotient(i128(1000) * (i128(shift) * n + sum) - i128(referenceMilli) * n, i128(n));
}

__int128 DistanceStatistics::varianceNumerator() const
{
    return i128(n) * i128(sumSquares) - i128(sum) * sum;
}

qint64 DistanceStatistics::sigmaMilli() const
{
    if (n < 2)
        return 0;
    // sigma in thousandths = sqrt(10^6 * numerator / (n (n - 1))).
    return roundedSquareRoot(i128(1000000) * varianceNumerator(), i128(n) * (n - 1));
}

bool DistanceStatistics::meanWithin(qint64 referenceMilli, qint64 toleranceMilli) const
{
    if (n == 0)
        return false;
    i128 diff = i128(1000) * (i128(shift) * n + sum) - i128(referenceMilli) * n;
    if (diff < 0)
        diff = -diff;
    return diff <= i128(toleranceMilli) * n;
}

bool DistanceStatistics::sigmaAtMost(qint64 limitMilli) const
{
    if (n < 2)
        return limitMilli >= 0;
    // numerator / (n (n-1)) <= (limit / 1000)^2
    return i128(1000000) * varianceNumerator() <= i128(limitMilli) * limitMilli * n * (n - 1);
}

double DistanceStatistics::mean() const
{
    return n == 0 ? 0.0 : double(shift) + double(sum) / double(n);
}

double DistanceStatistics::sigma() const
{
    if (n < 2)
        return 0.0;
    return std::sqrt(double(varianceNumerator()) / (double(n) * double(n - 1)));
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
