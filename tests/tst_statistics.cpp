// Distance statistics against an independent two-pass computation in long
// double, hand-computed digits where rounding sits on a boundary, the median
// convention, the exact limits, and a run of 10^7 samples at a large offset.

#include "stats/statistics.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {
QVector<int> noisy(int count, int centre, int spread)
{
    QVector<int> values(count);
    quint64 state = 12345;
    for (int &v : values) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        v = centre + int((state >> 33) % quint64(2 * spread + 1)) - spread;
    }
    return values;
}
} // namespace

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
};

QTEST_APPLESS_MAIN(TstStatistics)
#include "tst_statistics.moc"
