#include "movingstatistics.h"

#include <QtAlgorithms>

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
    moments.clear();
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
    if (isEmpty()) {
        lowest = highest = medianValue = x;
        belowMedian = 0;
    }
    moments.add(x);
    if (counts[x]++ == 0)
        mark(x);
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
    if (count() == 1) {
        clear();
        return;
    }
    moments.drop(x);
    if (--counts[x] == 0) {
        unmark(x);
        if (x == lowest)
            lowest = quint16(nextPresent(x));
        if (x == highest)
            highest = quint16(previousPresent(x));
    }
    if (x < medianValue)
        --belowMedian;
    moveMedianCursor();
}

// The lower middle rank moves by at most one per add or drop, and so does the
// cursor: each loop below runs at most once or twice.
void MovingStatistics::moveMedianCursor()
{
    const quint64 rank = (count() + 1) / 2;
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
    if (isEmpty())
        return 0;
    const quint64 upperRank = count() / 2 + 1;
    const quint32 upper = upperRank <= belowMedian + counts[medianValue]
        ? medianValue
        : quint32(nextPresent(int(medianValue) + 1));
    return quint32(medianValue) + upper;
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
