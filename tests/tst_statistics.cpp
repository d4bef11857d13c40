// Distance statistics against an independent two-pass computation in long
// double, hand-computed digits where rounding sits on a boundary, the median
// convention, the exact limits, a run of 10^7 samples at a large offset, and
// counts up to the bound of 2^36 at the extreme distances, where the exact
// sums need more than 64 bits; the 128-bit products they use against
// hand-worked values.

#include "stats/statistics.h"
#include "stats/wideunsigned.h"
#include "support/seededrandom.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {
QVector<int> noisy(int count, int centre, int spread)
{
    QVector<int> values(count);
    SeededRandom random(12345);
    for (int &v : values)
        v = random.between(centre - spread, centre + spread);
    return values;
}
} // namespace

Q_DECLARE_METATYPE(WideUnsigned)

class TstStatistics : public QObject
{
    Q_OBJECT

private slots:
    void figures_data()
    {
        QTest::addColumn<QVector<int>>("values");
        QTest::addColumn<QString>("median");   // the mean of the two middles for an even count
        QTest::addColumn<QString>("digits");   // "mean sigma" worked out by hand; empty: the long-double reference
        // Tolerance of the mean about 1500.000 and the largest sigma, in thousandths, then
        // whether each holds (1) or not (0); empty: no limits.
        QTest::addColumn<QVector<qint64>>("limits");
        const auto row = [](const char *name, const QVector<int> &values, const QString &median,
                            const QString &digits = {}, const QVector<qint64> &limits = {}) {
            QTest::newRow(name) << values << median << digits << limits;
        };
        row("empty", QVector<int>{}, "0", "0.000 0.000", {1000, 1000, 0, 1});
        row("one sample, sigma 0", QVector<int>{1500}, "1500", "1500.000 0.000", {0, 0, 1, 1});
        // Mean 1500.5, sigma sqrt(1/2) = 0.70710...: limits on either side of the exact values.
        row("on the limits", QVector<int>{1500, 1501}, "1500.5", "1500.500 0.707", {500, 708, 1, 1});
        row("just beyond", QVector<int>{1500, 1501}, "1500.5", {}, {499, 707, 0, 0});
        row("below the reference", QVector<int>{1490, 1491}, "1490.5", {}, {9500, 0, 1, 0});
        row("even count: mean of middles", QVector<int>{7, 1, 4, 2}, "3");
        row("odd count", QVector<int>{5, 9, 1, 9, 3}, "5");
        row("full range", QVector<int>{0, 65535, 65535, 0, 65535}, "65535");
        row("outlier", QVector<int>{1500, 1501, 1499, 1502, 2400, 1500}, "1500.5");
        row("mean x.0005 rounds up", QVector<int>(1999, 0) + QVector<int>{1}, "0", "0.001 0.022");
        row("thirds", QVector<int>{1, 1, 2}, "1", "1.333 0.577");
        row("constant", QVector<int>(1000, 60001), "60001", "60001.000 0.000");
        row("10^5 at 1000 +-3", noisy(100000, 1000, 3), "1000");
        row("10^7 at 65000 +-20", noisy(10000000, 65000, 20), "65000");
    }

    void figures()
    {
        QFETCH(QVector<int>, values);
        QFETCH(QString, median);
        QFETCH(QString, digits);
        QFETCH(QVector<qint64>, limits);
        DistanceStatistics stats;
        for (int x : values)
            stats.add(quint16(x));

        // The reference: two passes in long double, the mean first, then the squares about it.
        const quint64 n = quint64(values.size());
        const long double mean = n ? std::accumulate(values.begin(), values.end(), 0.0L) / n : 0;
        long double squares = 0;
        for (int x : values)
            squares += (x - mean) * (x - mean);
        const qint64 meanMilli = std::llround(mean * 1000);

        QCOMPARE(stats.count(), n);
        QCOMPARE(int(stats.minimum()), n ? *std::min_element(values.begin(), values.end()) : 0);
        QCOMPARE(int(stats.maximum()), n ? *std::max_element(values.begin(), values.end()) : 0);
        QCOMPARE(halvesText(stats.medianHalves()), median);
        if (digits.isEmpty()) {
            QCOMPARE(stats.meanMilli(), meanMilli);
            QCOMPARE(stats.sigmaMilli(), n < 2 ? 0 : std::llround(std::sqrt(squares / (n - 1)) * 1000));
            QCOMPARE(stats.differenceMilli(1000000), meanMilli - 1000000);
        } else {
            QCOMPARE(milliText(stats.meanMilli()) + ' ' + milliText(stats.sigmaMilli()), digits);
        }
        if (!limits.isEmpty()) {
            QCOMPARE(stats.meanWithin(1500000, limits.value(0)), limits.value(2) == 1);
            QCOMPARE(stats.sigmaAtMost(limits.value(1)), limits.value(3) == 1);
        }
    }

    // Runs too long to feed one by one: (distance, times) pairs. The reference
    // is the two-pass computation in long double over the pairs.
    void largeCounts_data()
    {
        QTest::addColumn<QVector<quint64>>("pairs");
        const quint64 half = 1ULL << 31;
        QTest::newRow("2^32 at 0 and 65535, half each") << QVector<quint64>{0, half, 65535, half};
        QTest::newRow("2^32 - 1 at 65535 after one 0") << QVector<quint64>{0, 1, 65535, 2 * half - 1};
        QTest::newRow("one far outlier in 2^32") << QVector<quint64>{1000, 2 * half - 1, 65535, 1};
        QTest::newRow("3.15e9 at 40000 +-1") << QVector<quint64>{40000, 1050000000, 39999, 1050000000, 40001, 1050000000};
        QTest::newRow("2^32 + 1 at the extremes")
            << QVector<quint64>{65535, half / 2, 0, half / 2, 65535, half / 2, 0, half / 2 + 1};
        QTest::newRow("2^36 (the bound) at the extremes, skewed") << QVector<quint64>{65535, 1ULL << 34, 0, 3ULL << 34};
    }

    void largeCounts()
    {
        QFETCH(QVector<quint64>, pairs);
        DistanceStatistics stats;
        quint64 n = 0;
        long double sum = 0;
        for (int i = 0; i < pairs.size(); i += 2) {
            stats.add(quint16(pairs[i]), pairs[i + 1]);
            n += pairs[i + 1];
            sum += static_cast<long double>(pairs[i]) * pairs[i + 1];
        }
        const long double mean = sum / n;
        long double squares = 0;
        for (int i = 0; i < pairs.size(); i += 2)
            squares += (pairs[i] - mean) * (pairs[i] - mean) * pairs[i + 1];
        const qint64 meanMilli = std::llround(mean * 1000);
        const qint64 sigmaMilli = std::llround(std::sqrt(squares / (n - 1)) * 1000);

        QCOMPARE(stats.count(), n);
        QCOMPARE(stats.meanMilli(), meanMilli);
        QCOMPARE(stats.differenceMilli(65535000), meanMilli - 65535000);
        QCOMPARE(stats.sigmaMilli(), sigmaMilli);
        QVERIFY(std::fabs(stats.sigma() - double(std::sqrt(squares / (n - 1)))) < 1e-6);
        // The exact limits sit between the rounded values' neighbours.
        QVERIFY(stats.sigmaAtMost(sigmaMilli + 1) && !stats.sigmaAtMost(sigmaMilli - 1));
        QVERIFY(stats.meanWithin(meanMilli, 1) && !stats.meanWithin(meanMilli + 2, 1));
        QVERIFY(!stats.sigmaAtMost(-1));
    }

    void wideProducts_data()
    {
        QTest::addColumn<quint64>("a");
        QTest::addColumn<quint64>("b");
        QTest::addColumn<quint64>("c");          // (a * b) * c
        QTest::addColumn<WideUnsigned>("expected");   // worked out by hand
        const quint64 max = ~0ULL;
        QTest::newRow("small") << quint64(6) << quint64(7) << quint64(1) << WideUnsigned(42);
        QTest::newRow("2^32 * 2^32") << (1ULL << 32) << (1ULL << 32) << quint64(1) << WideUnsigned(1, 0);
        // (2^32 - 1)^2 = 2^64 - 2^33 + 1: the carry out of the middle digits.
        QTest::newRow("(2^32-1)^2") << 0xFFFFFFFFULL << 0xFFFFFFFFULL << quint64(1) << WideUnsigned(0xFFFFFFFE00000001ULL);
        // (2^64 - 1)^2 = 2^128 - 2^65 + 1.
        QTest::newRow("(2^64-1)^2") << max << max << quint64(1) << WideUnsigned(max - 1, 1);
        // 2^63 * 2 * 2^62 = 2^126.
        QTest::newRow("times 64 bits") << (1ULL << 63) << quint64(2) << (1ULL << 62) << WideUnsigned(1ULL << 62, 0);
        // (2^64 - 1) * 10^6, then * 4.
        QTest::newRow("carry into high") << max << quint64(1000000) << quint64(4)
                                         << WideUnsigned(3999999, 0ULL - 4000000);
    }

    void wideProducts()
    {
        QFETCH(quint64, a);
        QFETCH(quint64, b);
        QFETCH(quint64, c);
        QFETCH(WideUnsigned, expected);
        const WideUnsigned p = WideUnsigned::product(a, b) * c;
        QCOMPARE(p.high, expected.high);
        QCOMPARE(p.low, expected.low);
        QVERIFY(p - expected == WideUnsigned(0));
        QVERIFY(p - WideUnsigned(0, 1) < p && p <= p && !(p < p));
        // One less across the halves: the borrow.
        const WideUnsigned less = p - WideUnsigned(1);
        QCOMPARE(less.high, p.low == 0 ? p.high - 1 : p.high);
        QVERIFY(less < p);
    }
};

QTEST_APPLESS_MAIN(TstStatistics)
#include "tst_statistics.moc"
