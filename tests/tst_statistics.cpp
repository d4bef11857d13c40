// Distance statistics against an independent two-pass computation in long
// double: every printed figure, the median convention, the exact limits, and
// a run of 10^7 samples at a large offset.

#include "measure/statistics.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Samples are produced by a generator, so a run of 10^7 needs no storage and
// can be replayed for each pass of the reference computation.
using Source = std::function<void(const std::function<void(quint16)> &)>;

Source listOf(const QVector<int> &values)
{
    return [values](const std::function<void(quint16)> &sink) {
        for (int v : values)
            sink(quint16(v));
    };
}

Source noisy(quint64 count, int centre, int spread)
{
    return [=](const std::function<void(quint16)> &sink) {
        quint64 state = 12345;
        for (quint64 i = 0; i < count; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            sink(quint16(centre + int((state >> 33) % quint64(2 * spread + 1)) - spread));
        }
    };
}

struct Reference {
    quint64 n = 0;
    qint64 meanMilli = 0, sigmaMilli = 0;
    int minimum = 0, maximum = 0;
};

Reference twoPass(const Source &source)
{
    Reference r;
    long double sum = 0;
    r.minimum = 65536;
    r.maximum = -1;
    source([&](quint16 x) {
        ++r.n;
        sum += x;
        r.minimum = std::min(r.minimum, int(x));
        r.maximum = std::max(r.maximum, int(x));
    });
    if (r.n == 0)
        return r;
    const long double mean = sum / r.n;
    long double squares = 0;
    source([&](quint16 x) { squares += (x - mean) * (x - mean); });
    r.meanMilli = std::llround(mean * 1000);
    r.sigmaMilli = r.n < 2 ? 0 : std::llround(std::sqrt(squares / (r.n - 1)) * 1000);
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Source)

class TstStatistics : public QObject
{
    Q_OBJECT

private slots:
    void againstTwoPass_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("median");  // the mean of the two middles for an even count

        QTest::newRow("one sample") << listOf({1500}) << "1500";
        QTest::newRow("even count: mean of middles") << listOf({7, 1, 4, 2}) << "3";
        QTest::newRow("even count ending in .5") << listOf({10, 11}) << "10.5";
        QTest::newRow("odd count") << listOf({5, 9, 1, 9, 3}) << "5";
        QTest::newRow("full range") << listOf({0, 65535, 65535, 0, 65535}) << "65535";
        QTest::newRow("outlier") << listOf({1500, 1501, 1499, 1502, 2400, 1500}) << "1500.5";
        QTest::newRow("10^5 at 1000 +-3") << noisy(100000, 1000, 3) << "1000";
        QTest::newRow("10^7 at 65000 +-20") << noisy(10000000, 65000, 20) << "65000";
    }

    void againstTwoPass()
    {
        QFETCH(Source, source);
        QFETCH(QString, median);
        DistanceStatistics stats;
        source([&](quint16 x) { stats.add(x); });
        const Reference ref = twoPass(source);

        QCOMPARE(stats.count(), ref.n);
        QCOMPARE(int(stats.minimum()), ref.minimum);
        QCOMPARE(int(stats.maximum()), ref.maximum);
        QCOMPARE(stats.meanMilli(), ref.meanMilli);
        QCOMPARE(stats.sigmaMilli(), ref.sigmaMilli);
        QCOMPARE(halvesText(stats.medianHalves()), median);
        QCOMPARE(stats.differenceMilli(1000000), ref.meanMilli - 1000000);
    }

    // Hand-computed values sitting on rounding boundaries, where a
    // floating-point result may land on either side.
    void exactDigits_data()
    {
        QTest::addColumn<QVector<int>>("values");
        QTest::addColumn<QString>("mean");
        QTest::addColumn<QString>("sigma");
        QTest::newRow("empty") << QVector<int>{} << "0.000" << "0.000";
        QTest::newRow("mean x.0005 up") << QVector<int>(1999, 0) + QVector<int>{1} << "0.001" << "0.022";
        QTest::newRow("sigma sqrt(1/2)") << QVector<int>{0, 1} << "0.500" << "0.707";
        QTest::newRow("thirds") << QVector<int>{1, 1, 2} << "1.333" << "0.577";
        QTest::newRow("constant") << QVector<int>(1000, 60001) << "60001.000" << "0.000";
    }

    void exactDigits()
    {
        QFETCH(QVector<int>, values);
        QFETCH(QString, mean);
        QFETCH(QString, sigma);
        DistanceStatistics stats;
        for (int v : values)
            stats.add(quint16(v));
        QCOMPARE(milliText(stats.meanMilli()), mean);
        QCOMPARE(milliText(stats.sigmaMilli()), sigma);
    }

    void limitsAreExact_data()
    {
        QTest::addColumn<QVector<int>>("values");
        QTest::addColumn<qint64>("reference");
        QTest::addColumn<qint64>("tolerance");
        QTest::addColumn<bool>("within");
        QTest::addColumn<qint64>("maxSigma");
        QTest::addColumn<bool>("sigmaOk");
        // mean 1500.5, sigma of {1500, 1501} = sqrt(0.5) = 0.70710...
        QTest::newRow("on the tolerance") << QVector<int>{1500, 1501} << 1500000LL << 500LL << true << 708LL << true;
        QTest::newRow("just outside") << QVector<int>{1500, 1501} << 1500000LL << 499LL << false << 707LL << false;
        QTest::newRow("below the reference") << QVector<int>{1490, 1491} << 1500000LL << 9500LL << true << 0LL << false;
        QTest::newRow("one sample, sigma 0") << QVector<int>{7} << 7000LL << 0LL << true << 0LL << true;
        QTest::newRow("no sample") << QVector<int>{} << 0LL << 1000LL << false << 1000LL << true;
    }

    void limitsAreExact()
    {
        QFETCH(QVector<int>, values);
        QFETCH(qint64, reference);
        QFETCH(qint64, tolerance);
        QFETCH(bool, within);
        QFETCH(qint64, maxSigma);
        QFETCH(bool, sigmaOk);
        DistanceStatistics stats;
        for (int v : values)
            stats.add(quint16(v));
        QCOMPARE(stats.meanWithin(reference, tolerance), within);
        QCOMPARE(stats.sigmaAtMost(maxSigma), sigmaOk);
    }
};

QTEST_APPLESS_MAIN(TstStatistics)
#include "tst_statistics.moc"
