#include "movingstatistics.h"

#include <QtAlgorithms>
#include <cmath>

namespace {

quint64 powerOfTen(int decimals)
{
    quint64 p = 1;
    for (int i = 0; i < decimals; ++i)
        p *= 10;
    return p;
}

} // namespace

MovingStatistics::MovingStatistics()
    : counts(65536, 0)  // allocated and touched once: memory stays flat
{
}

void MovingStatistics::clear()
{
    // Only the values present are cleared: a small window clears in a few steps.
    for (int v = nextPresent(0); v >= 0; v = nextPresent(v + 1))
        counts[size_t(v)] = 0;
    present.fill(0);
    presentWords.fill(0);
    n = 0;
    sum = 0;
    sumSquares = 0;
    lowest = highest = medianValue = 0;
    belowMedian = 0;
}

void MovingStatistics::mark(quint16 v)
{
    present[v >> 6] |= quint64(1) << (v & 63);
    presentWords[v >> 12] |= quint64(1) << ((v >> 6) & 63);
}

void MovingStatistics::unmark(quint16 v)
{
    present[v >> 6] &= ~(quint64(1) << (v & 63));
    if (present[v >> 6] == 0)
        presentWords[v >> 12] &= ~(quint64(1) << ((v >> 6) & 63));
}

int MovingStatistics::nextPresent(int from) const
{
    if (from < 0)
        from = 0;
    if (from > 65535)
        return -1;
    int word = from >> 6;
    const quint64 here = present[size_t(word)] & (~quint64(0) << (from & 63));
    if (here)
        return (word << 6) + int(qCountTrailingZeroBits(here));
    // The next non-empty word after `word`, through the summary.
    ++word;
    for (int group = word >> 6; group < 16 && word < 1024; ++group, word = group << 6) {
        const quint64 words = presentWords[size_t(group)] & (~quint64(0) << (word & 63));
        if (words) {
            const int w = (group << 6) + int(qCountTrailingZeroBits(words));
            return (w << 6) + int(qCountTrailingZeroBits(present[size_t(w)]));
        }
    }
    return -1;
}

int MovingStatistics::previousPresent(int from) const
{
    if (from > 65535)
        from = 65535;
    if (from < 0)
        return -1;
    int word = from >> 6;
    const quint64 here = present[size_t(word)] & (~quint64(0) >> (63 - (from & 63)));
    if (here)
        return (word << 6) + 63 - int(qCountLeadingZeroBits(here));
    --word;
    for (int group = word >> 6; group >= 0 && word >= 0; --group, word = (group << 6) + 63) {
        const quint64 words = presentWords[size_t(group)] & (~quint64(0) >> (63 - (word & 63)));
        if (words) {
            const int w = (group << 6) + 63 - int(qCountLeadingZeroBits(words));
            return (w << 6) + 63 - int(qCountLeadingZeroBits(present[size_t(w)]));
        }
    }
    return -1;
}

void MovingStatistics::add(quint16 x)
{
    if (n == 0) {
        shift = x;
        lowest = highest = medianValue = x;
        belowMedian = 0;
    }
    ++n;
    if (counts[x]++ == 0)
        mark(x);
    const qint64 d = qint64(x) - shift;
    sum += d;
    sumSquares += quint64(d * d);
    if (x < lowest)
        lowest = x;
    if (x > highest)
        highest = x;
    if (x < medianValue)
        ++belowMedian;
    moveMedianCursor();
}

void MovingStatistics::drop(quint16 x)
{
    if (counts[x] == 0)
        return;
    if (n == 1) {
        clear();
        return;
    }
    --n;
    if (--counts[x] == 0) {
        unmark(x);
        if (x == lowest)
            lowest = quint16(nextPresent(x));
        if (x == highest)
            highest = quint16(previousPresent(x));
    }
    const qint64 d = qint64(x) - shift;
    sum -= d;
    sumSquares -= quint64(d * d);
    if (x < medianValue)
        --belowMedian;
    moveMedianCursor();
}

// The lower middle rank moves by at most one per add or drop, and so does the
// cursor: each loop below runs at most once or twice.
void MovingStatistics::moveMedianCursor()
{
    const quint64 rank = (n + 1) / 2;
    while (rank <= belowMedian) {
        const int previous = previousPresent(int(medianValue) - 1);
        medianValue = quint16(previous);
        belowMedian -= counts[medianValue];
    }
    while (rank > belowMedian + counts[medianValue]) {
        belowMedian += counts[medianValue];
        medianValue = quint16(nextPresent(int(medianValue) + 1));
    }
}

quint32 MovingStatistics::medianHalves() const
{
    if (n == 0)
        return 0;
    const quint64 upperRank = n / 2 + 1;
    const quint32 upper = upperRank <= belowMedian + counts[medianValue]
        ? medianValue
        : quint32(nextPresent(int(medianValue) + 1));
    return quint32(medianValue) + upper;
}

qint64 MovingStatistics::meanScaled(int decimals) const
{
    if (n == 0)
        return 0;
    // The sum of the distances is below 2^48 and 10^3 x that below 2^58.
    const quint64 total = quint64(qint64(shift) * qint64(n) + sum);
    const quint64 num = total * powerOfTen(decimals);
    return qint64((2 * num + n) / (2 * n));
}

WideUnsigned MovingStatistics::varianceNumerator() const
{
    const quint64 magnitude = quint64(sum < 0 ? -sum : sum);
    return WideUnsigned::product(n, sumSquares) - WideUnsigned::product(magnitude, magnitude);
}

qint64 MovingStatistics::sigmaScaled(int decimals) const
{
    if (n < 2)
        return 0;
    const quint64 scale = powerOfTen(decimals);
    const quint64 pairs = n * (n - 1);
    const WideUnsigned target = varianceNumerator() * (4 * scale * scale);
    // The nearest integer m to sqrt(scale^2 V / (n(n-1))), decided exactly:
    // (2m-1)^2 n(n-1) <= 4 scale^2 V < (2m+1)^2 n(n-1).
    const auto below = [&](quint64 m) {
        const quint64 odd = 2 * m - 1;
        return WideUnsigned::product(odd * odd, pairs) <= target;
    };
    quint64 m = quint64(std::llround(std::sqrt(target.toDouble() / 4.0 / double(pairs))));
    while (m > 0 && !below(m))
        --m;
    while (below(m + 1))
        ++m;
    return qint64(m);
}

double MovingStatistics::mean() const
{
    return n == 0 ? 0.0 : double(shift) + double(sum) / double(n);
}

double MovingStatistics::sigma() const
{
    if (n < 2)
        return 0.0;
    return std::sqrt(varianceNumerator().toDouble() / (double(n) * double(n - 1)));
}

QString scaledText(qint64 scaled, int decimals)
{
    const bool negative = scaled < 0;
    const quint64 magnitude = quint64(negative ? -scaled : scaled);
    const quint64 scale = powerOfTen(decimals);
    QString text = QString::number(magnitude / scale);
    if (decimals > 0)
        text += QLatin1Char('.') + QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
    return negative ? QLatin1Char('-') + text : text;
}
