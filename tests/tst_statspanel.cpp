// The chart window's statistics panel: its figures after a known stream for
// each window size against values computed here, window changes and the
// reset, the histogram, and that nothing is worked out while the window is
// hidden (it catches up when shown).

#include "chart/chartform.h"
#include "chart/histogramwidget.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <cmath>

namespace {

struct Sample {
    quint16 distance;
    quint16 amplitude;
};

QVector<Sample> stream(int count, quint64 seed)
{
    QVector<Sample> samples(count);
    quint64 state = seed;
    for (Sample &s : samples) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        // A target that drifts, so windows of different sizes differ.
        const int drift = int(&s - samples.data()) / 500;
        s.distance = quint16(1480 + drift + int((state >> 33) % 41));
        s.amplitude = quint16(2900 + (state >> 45) % 200);
    }
    return samples;
}

// What the panel should show for these samples, worked out plainly.
struct Expected {
    QString count, mean, sigma, min, max, median, amplitude;
};

QString twoDecimals(long double value)
{
    return QString::number(double(std::floor(value * 100 + 0.5L) / 100), 'f', 2);
}

Expected expected(const QVector<Sample> &window)
{
    if (window.isEmpty())
        return {"0", "-", "-", "-", "-", "-", "-"};
    std::vector<int> d;
    long double sum = 0;
    quint64 amplitudes = 0;
    for (const Sample &s : window) {
        d.push_back(s.distance);
        sum += s.distance;
        amplitudes += s.amplitude;
    }
    std::sort(d.begin(), d.end());
    const long double mean = sum / d.size();
    long double squares = 0;
    for (int v : d)
        squares += (v - mean) * (v - mean);
    const long double sigma = d.size() > 1 ? std::sqrt(squares / (d.size() - 1)) : 0;
    const int halves = d[(d.size() - 1) / 2] + d[d.size() / 2];
    return {QString::number(d.size()), twoDecimals(mean), twoDecimals(sigma),
            QString::number(d.front()), QString::number(d.back()),
            QString::number(halves / 2) + (halves % 2 ? ".50" : ".00"),
            QString::number((amplitudes + d.size() / 2) / d.size())};
}

QString label(const ChartForm &form, const char *name)
{
    return form.findChild<QLabel *>(QLatin1String(name))->text();
}

void verifyShows(const ChartForm &form, const Expected &e)
{
    QCOMPARE(label(form, "statsCount"), e.count);
    QCOMPARE(label(form, "statsMean"), e.mean);
    QCOMPARE(label(form, "statsSigma"), e.sigma);
    QCOMPARE(label(form, "statsMin"), e.min);
    QCOMPARE(label(form, "statsMax"), e.max);
    QCOMPARE(label(form, "statsMedian"), e.median);
    QCOMPARE(label(form, "statsAmplitude"), e.amplitude);
}

void chooseWindow(ChartForm &form, int index)
{
    form.findChild<QComboBox *>(QStringLiteral("statsWindow"))->setCurrentIndex(index);
}

} // namespace

class TestStatsPanel : public QObject
{
    Q_OBJECT

private slots:
    // Fed in uneven batches while shown, each batch followed by a refresh, as
    // the redraw does: the window moves along sample by sample.
    void figuresPerWindow_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("window");
        QTest::newRow("100") << 0 << 100;
        QTest::newRow("1000") << 1 << 1000;
        QTest::newRow("10000") << 2 << 10000;
        QTest::newRow("全部") << 3 << 0;
    }

    void figuresPerWindow()
    {
        QFETCH(int, choice);
        QFETCH(int, window);
        const QVector<Sample> samples = stream(12500, 7);
        ChartForm form;
        form.show();
        chooseWindow(form, choice);
        int fed = 0;
        for (int batch = 1; fed < samples.size(); batch = batch * 3 % 997 + 1) {
            const int end = qMin(fed + batch, samples.size());
            for (; fed < end; ++fed)
                form.appendMeasurement(samples[fed].distance, samples[fed].amplitude);
            form.statsPanel().refresh();
            const int first = window > 0 ? qMax(0, fed - window) : 0;
            if (batch % 7 == 0 || fed == samples.size())
                verifyShows(form, expected(samples.mid(first, fed - first)));
        }
    }

    // Hidden, the chart only records; shown, the panel catches up at once.
    void nothingWorkedOutWhileHidden_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("window");
        QTest::newRow("1000") << 1 << 1000;
        QTest::newRow("全部") << 3 << 0;
    }

    void nothingWorkedOutWhileHidden()
    {
        QFETCH(int, choice);
        QFETCH(int, window);
        const QVector<Sample> samples = stream(15000, 11);
        ChartForm form;
        chooseWindow(form, choice);
        for (const Sample &s : samples)
            form.appendMeasurement(s.distance, s.amplitude);
        QTest::qWait(300);
        QCOMPARE(form.statsPanel().statistics().count(), quint64(0));
        QCOMPARE(label(form, "statsCount"), QStringLiteral("0"));

        form.show();
        const int first = window > 0 ? samples.size() - window : 0;
        verifyShows(form, expected(samples.mid(first)));
    }

    void windowChangeAndReset()
    {
        const QVector<Sample> samples = stream(3000, 3);
        ChartForm form;
        form.show();
        for (int i = 0; i < 2000; ++i)
            form.appendMeasurement(samples[i].distance, samples[i].amplitude);
        QTRY_COMPARE_WITH_TIMEOUT(label(form, "statsCount"), QStringLiteral("100"), 5000);
        verifyShows(form, expected(samples.mid(1900, 100)));

        chooseWindow(form, 1);
        verifyShows(form, expected(samples.mid(1000, 1000)));
        chooseWindow(form, 3);
        verifyShows(form, expected(samples.mid(0, 2000)));

        form.setFailedChecks(5);
        form.findChild<QPushButton *>(QStringLiteral("statsReset"))->click();
        verifyShows(form, expected({}));
        QCOMPARE(label(form, "statsFailed"), QStringLiteral("0"));

        for (int i = 2000; i < 2010; ++i)
            form.appendMeasurement(samples[i].distance, samples[i].amplitude);
        form.setFailedChecks(8);
        QTRY_COMPARE_WITH_TIMEOUT(label(form, "statsCount"), QStringLiteral("10"), 5000);
        verifyShows(form, expected(samples.mid(2000, 10)));
        QCOMPARE(label(form, "statsFailed"), QStringLiteral("3"));
        // A finite window after the reset holds only what came since.
        chooseWindow(form, 0);
        verifyShows(form, expected(samples.mid(2000, 10)));
    }

    // Bins of equal width from the minimum, holding every sample once.
    void histogramCoversTheWindow_data()
    {
        QTest::addColumn<QVector<int>>("distances");
        QTest::addColumn<int>("bins");
        QTest::addColumn<int>("width");
        QTest::newRow("one value") << QVector<int>{1500, 1500, 1500} << 1 << 1;
        QTest::newRow("narrow: a bin per millimetre") << QVector<int>{1490, 1500, 1495, 1500} << 11 << 1;
        QTest::newRow("wide: at most 40 bins") << QVector<int>{0, 65535, 30000} << 40 << 1639;
        QTest::newRow("41 mm: two per bin") << QVector<int>{100, 140, 120} << 21 << 2;
    }

    void histogramCoversTheWindow()
    {
        QFETCH(QVector<int>, distances);
        ChartForm form;
        form.show();
        for (int d : distances)
            form.appendMeasurement(quint16(d), 1000);
        form.statsPanel().refresh();
        const auto *histogram = form.findChild<HistogramWidget *>(QStringLiteral("statsHistogram"));
        QTEST(int(histogram->bins().size()), "bins");
        QTEST(histogram->binWidth(), "width");
        QCOMPARE(histogram->low(), *std::min_element(distances.cbegin(), distances.cend()));
        QVector<quint32> byHand(histogram->bins().size(), 0);
        for (int d : distances)
            ++byHand[(d - histogram->low()) / histogram->binWidth()];
        QCOMPARE(histogram->bins(), byHand);
    }

    // Frames per second over the window, from the samples' arrival times; 0
    // once they stop coming, with no sample to trigger a refresh.
    void rateOverTheWindow()
    {
        ChartForm form;
        form.show();
        form.appendMeasurement(1500, 1000);
        QTest::qWait(250);
        form.appendMeasurement(1500, 1000);
        form.statsPanel().refresh();
        const double rate = label(form, "statsRate").toDouble();
        QVERIFY2(rate > 0.1 && rate <= 4.0, qPrintable(label(form, "statsRate")));
        QTRY_COMPARE_WITH_TIMEOUT(label(form, "statsRate"), QStringLiteral("0.0"), 5000);
    }
};

QTEST_MAIN(TestStatsPanel)
#include "tst_statspanel.moc"
