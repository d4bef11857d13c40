// Distance statistics against an independent two-pass computation in long
// double, hand-computed digits where rounding sits on a boundary, the median
// convention, the exact limits, and billions of samples at a large offset and
// up to the bound of 2^36 at the extreme distances, where the exact sums and
// their products need more than 64 bits.

#include "stats/statistics.h"

#include <QtTest>
#include <cmath>

using Pairs = QVector<quint64>;  // distance, times, distance, times ...

class TstStatistics : public QObject
{
    Q_OBJECT

private slots:
    void figures_data()
    {
        QTest::addColumn<Pairs>("pairs");
        QTest::addColumn<QString>("median");  // the mean of the two middles for an even count
        QTest::addColumn<QString>("digits");  // "mean sigma" worked out by hand; empty: the long-double reference
        // Tolerance of the mean about 1500.000 and the largest sigma, in thousandths, then
        // whether each holds (1) or not (0); empty: no limits.
        QTest::addColumn<QVector<qint64>>("limits");
        const auto row = [](const char *name, const Pairs &pairs, const QString &median, const QString &digits = {},
                            const QVector<qint64> &limits = {}) {
            QTest::newRow(name) << pairs << median << digits << limits;
        };
        const quint64 half = 1ULL << 31;
        row("empty", {}, "0", "0.000 0.000", {1000, 1000, 0, 1});
        row("one sample, sigma 0", {1500, 1}, "1500", "1500.000 0.000", {0, 0, 1, 1});
        // Mean 1500.5, sigma sqrt(1/2) = 0.70710...: limits on either side of the exact values.
        row("on the limits", {1500, 1, 1501, 1}, "1500.5", "1500.500 0.707", {500, 708, 1, 1});
        row("just beyond", {1500, 1, 1501, 1}, "1500.5", {}, {499, 707, 0, 0});
        row("below the reference", {1491, 1, 1490, 1}, "1490.5", {}, {9500, 0, 1, 0});
        row("even count: mean of middles", {7, 1, 1, 1, 4, 1, 2, 1}, "3");
        row("odd count, full range", {0, 2, 65535, 3}, "65535");
        row("mean x.0005 rounds up", {0, 1999, 1, 1}, "0", "0.001 0.022");
        row("thirds", {1, 2, 2, 1}, "1", "1.333 0.577");
        row("2^32 at 0 and 65535, half each", {0, half, 65535, half}, "32767.5");
        row("one far outlier in 2^32", {1000, 2 * half - 1, 65535, 1}, "1000");
        row("3.15e9 at 40000 +-1", {40000, 1050000000, 39999, 1050000000, 40001, 1050000000}, "40000");
        row("2^36 (the bound) at the extremes, skewed", {65535, 1ULL << 34, 0, 3ULL << 34}, "0");
    }

    void figures()
    {
        QFETCH(Pairs, pairs);
        QFETCH(QString, median);
        QFETCH(QString, digits);
        QFETCH(QVector<qint64>, limits);
        DistanceStatistics stats;
        // The reference: two passes in long double, the mean first, then the squares about it.
        quint64 n = 0;
        long double sum = 0, squares = 0;
        int lowest = pairs.isEmpty() ? 0 : 65535, highest = 0;
        for (int i = 0; i < pairs.size(); i += 2) {
            stats.add(quint16(pairs[i]), pairs[i + 1]);
            n += pairs[i + 1];
            sum += static_cast<long double>(pairs[i]) * pairs[i + 1];
            lowest = qMin(lowest, int(pairs[i]));
            highest = qMax(highest, int(pairs[i]));
        }
        const long double mean = n ? sum / n : 0;
        for (int i = 0; i < pairs.size(); i += 2)
            squares += (pairs[i] - mean) * (pairs[i] - mean) * pairs[i + 1];
        const qint64 meanMilli = std::llround(mean * 1000);
        const long double sigma = n < 2 ? 0 : std::sqrt(squares / (n - 1));
        const qint64 sigmaMilli = std::llround(sigma * 1000);

        // count, minimum, maximum, median
        QCOMPARE((QStringList{QString::number(stats.count()), QString::number(stats.minimum()),
                              QString::number(stats.maximum()), halvesText(stats.medianHalves())}),
                 (QStringList{QString::number(n), QString::number(lowest), QString::number(highest), median}));
        QVERIFY(std::fabs(stats.sigma() - double(sigma)) < 1e-6);
        if (digits.isEmpty()) {
            QCOMPARE(stats.meanMilli(), meanMilli);
            QCOMPARE(stats.sigmaMilli(), sigmaMilli);
            QCOMPARE(stats.differenceMilli(65535000), meanMilli - 65535000);
        } else {
            QCOMPARE(milliText(stats.meanMilli()) + ' ' + milliText(stats.sigmaMilli()), digits);
        }
        if (!limits.isEmpty()) {
            QCOMPARE(stats.meanWithin(1500000, limits.value(0)), limits.value(2) == 1);
            QCOMPARE(stats.sigmaAtMost(limits.value(1)), limits.value(3) == 1);
        }
        // The exact limits sit between the rounded values' neighbours.
        QVERIFY(stats.sigmaAtMost(sigmaMilli + 1) && !stats.sigmaAtMost(sigmaMilli - 1));
        QVERIFY(n == 0 || (stats.meanWithin(meanMilli, 1) && !stats.meanWithin(meanMilli + 2, 1)));
    }
};

QTEST_APPLESS_MAIN(TstStatistics)
#include "tst_statistics.moc"
