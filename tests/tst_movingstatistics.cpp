// Moving-window statistics: every figure after each add and drop of a moving
// window against a brute-force computation over the window's samples, the
// exact rounding at the digits shown, values far apart (the bitmap's search
// across words) and sums kept exact over millions of samples.

#include "stats/movingstatistics.h"
#include "support/seededrandom.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <deque>

namespace {

QVector<int> stream(int count, int centre, int spread, quint64 seed)
{
    QVector<int> values(count);
    SeededRandom random(seed);
    for (int &v : values)
        v = qBound(0, random.between(centre - spread, centre + spread), 65535);
    return values;
}

struct Reference {
    quint64 count = 0;
    int min = 0, max = 0;
    quint32 medianHalves = 0;
    long double mean = 0, sigma = 0;
};

// Two passes in long double over a copy, the median from a sort.
Reference reference(const std::deque<int> &window)
{
    Reference r;
    r.count = window.size();
    if (window.empty())
        return r;
    std::vector<int> sorted(window.begin(), window.end());
    std::sort(sorted.begin(), sorted.end());
    r.min = sorted.front();
    r.max = sorted.back();
    r.medianHalves = quint32(sorted[(sorted.size() - 1) / 2] + sorted[sorted.size() / 2]);
    long double total = 0;
    for (int v : sorted)
        total += v;
    r.mean = total / sorted.size();
    long double squares = 0;
    for (int v : sorted)
        squares += (v - r.mean) * (v - r.mean);
    r.sigma = sorted.size() > 1 ? std::sqrt(squares / (sorted.size() - 1)) : 0;
    return r;
}

// The reference rounded to `decimals`, unless it sits too close to a rounding
// boundary for long double to decide (then -1: not compared).
qint64 rounded(long double value, int decimals)
{
    const long double scaled = value * std::pow(10.0L, decimals);
    const long double fraction = scaled - std::floor(scaled);
    if (std::fabs(fraction - 0.5L) < 1e-9L)
        return -1;
    return qint64(std::floor(scaled + 0.5L));
}

}  // namespace

class TstMovingStatistics : public QObject
{
    Q_OBJECT

private slots:
    void movingWindow_data()
    {
        QTest::addColumn<QVector<int>>("values");
        QTest::addColumn<int>("window");  // 0: every sample kept
        QTest::newRow("window 1") << stream(300, 1500, 5, 1) << 1;
        QTest::newRow("window 100, wide") << stream(3000, 30000, 30000, 4) << 100;
        QTest::newRow("everything") << stream(2000, 12000, 40, 6) << 0;
        QVector<int> extremes;  // the two ends of the range, and a lone one in between
        for (int i = 0; i < 400; ++i)
            extremes << (i % 3 == 0 ? 0 : 65535) << (i % 50 == 0 ? 32768 : 65535);
        QTest::newRow("extremes") << extremes << 7;
        QVector<int> ramp;  // the median walks across every word of the bitmap
        for (int i = 0; i < 2000; ++i)
            ramp << (i * 37) % 65536;
        QTest::newRow("ramp") << ramp << 50;
    }

    void movingWindow()
    {
        QFETCH(QVector<int>, values);
        QFETCH(int, window);
        MovingStatistics stats;
        std::deque<int> kept;
        for (int v : values) {
            stats.add(quint16(v));
            kept.push_back(v);
            if (window > 0 && int(kept.size()) > window) {
                stats.drop(quint16(kept.front()));
                kept.pop_front();
            }
            const Reference r = reference(kept);
            // count, minimum, maximum, median in halves
            QCOMPARE((QList<qint64>{qint64(stats.count()), stats.minimum(), stats.maximum(), stats.medianHalves()}),
                     (QList<qint64>{qint64(r.count), r.min, r.max, r.medianHalves}));
            for (int decimals : {2, 3}) {
                const qint64 mean = rounded(r.mean, decimals);
                if (mean >= 0)
                    QCOMPARE(stats.meanScaled(decimals), mean);
                const qint64 sigma = rounded(r.sigma, decimals);
                if (sigma >= 0)
                    QCOMPARE(stats.sigmaScaled(decimals), sigma);
            }
        }
        // Dropping everything leaves an empty set that starts afresh.
        while (!kept.empty()) {
            stats.drop(quint16(kept.front()));
            kept.pop_front();
        }
        QCOMPARE(stats.count(), quint64(0));
        QCOMPARE(stats.nextPresent(0), -1);
        stats.add(42);
        QCOMPARE(stats.medianHalves(), 84u);
        QCOMPARE(stats.meanScaled(2), 4200);
    }

    // Halves are rounded away from zero, decided in integers (the moving
    // window's comparison leaves out values this close to a rounding edge).
    void roundingAtTheDigitsShown_data()
    {
        QTest::addColumn<QVector<int>>("values");
        QTest::addColumn<QString>("meanAndSigma");
        // 1/8 = 0.125: the third decimal is a 5, rounded up.
        QTest::newRow("eighth") << QVector<int>{0, 0, 0, 0, 0, 0, 0, 1} << QStringLiteral("0.13 0.35");
        QTest::newRow("both ends") << QVector<int>{0, 65535} << QStringLiteral("32767.50 46340.24");
    }

    void roundingAtTheDigitsShown()
    {
        QFETCH(QVector<int>, values);
        MovingStatistics stats;
        for (int v : values)
            stats.add(quint16(v));
        QTEST(scaledText(stats.meanScaled(2), 2) + ' ' + scaledText(stats.sigmaScaled(2), 2), "meanAndSigma");
    }

    // Three million samples, 1000 and 1001 in turn, then half of them dropped
    // again: sums stay exact (sigma^2 = n / (4 (n - 1)), just above 1/4).
    void longRunStaysExact()
    {
        MovingStatistics stats;
        const int n = 3000000;
        for (int i = 0; i < n; ++i)
            stats.add(quint16(1000 + (i & 1)));
        QCOMPARE(stats.meanScaled(3), qint64(1000500));
        QCOMPARE(stats.sigmaScaled(3), qint64(500));
        for (int i = 0; i < n / 2; ++i)
            stats.drop(1000);
        QCOMPARE(stats.count(), quint64(n / 2));
        QCOMPARE(stats.meanScaled(2), qint64(100100));
        QCOMPARE(stats.sigmaScaled(2), qint64(0));
    }
};

QTEST_APPLESS_MAIN(TstMovingStatistics)
#include "tst_movingstatistics.moc"
