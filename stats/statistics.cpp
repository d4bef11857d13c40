#include "statistics.h"


DistanceStatistics::DistanceStatistics()
    : histogram(65536, 0)  // allocated and touched once: memory stays flat during a run
{
}

void DistanceStatistics::add(quint16 x, quint64 times)
{
    if (times == 0)
        return;
    if (isEmpty())
        minMm = maxMm = x;
    moments.add(x, times);
    histogram[x] += times;
    if (x < minMm)
        minMm = x;
    if (x > maxMm)
        maxMm = x;
}

quint32 DistanceStatistics::medianHalves() const
{
    const quint64 n = count();
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
    return moments.meanScaled(3);
}

qint64 DistanceStatistics::differenceMilli(qint64 referenceMilli) const
{
    const quint64 n = count();
    if (n == 0)
        return 0;
    return roundedQuotient(1000 * moments.total() - referenceMilli * qint64(n), qint64(n));
}

qint64 DistanceStatistics::sigmaMilli() const
{
    return moments.sigmaScaled(3);
}

bool DistanceStatistics::meanWithin(qint64 referenceMilli, qint64 toleranceMilli) const
{
    const quint64 n = count();
    if (n == 0)
        return false;
    const qint64 diff = 1000 * moments.total() - referenceMilli * qint64(n);
    return toleranceMilli >= 0 && unsignedMagnitude(diff) <= quint64(toleranceMilli) * n;
}

bool DistanceStatistics::sigmaAtMost(qint64 limitMilli) const
{
    const quint64 n = count();
    if (n < 2)
        return limitMilli >= 0;
    if (limitMilli < 0)
        return false;
    // numerator / (n (n-1)) <= (limit / 1000)^2
    const quint64 limitSquared = quint64(limitMilli) * quint64(limitMilli);
    return moments.varianceNumerator() * 1000000 <= WideUnsigned::product(n, n - 1) * limitSquared;
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
