// The chart window's statistics panel: its figures after a known stream for
// each window size against the figures of exactly those samples, window changes and the
// reset, the histogram, and that nothing is worked out while the window is
// hidden (it catches up when shown).

#include "chart/chartform.h"
#include "chart/histogramwidget.h"
#include "stats/movingstatistics.h"
#include "support/seededrandom.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <algorithm>

namespace {

struct Sample {
    quint16 distance;
    quint16 amplitude;
};

// A target that drifts, so windows of different sizes differ.
QVector<Sample> stream(int count, quint64 seed)
{
    QVector<Sample> samples(count);
    SeededRandom random(seed);
    for (int i = 0; i < count; ++i)
        samples[i] = {quint16(1480 + i / 500 + random.between(0, 40)), quint16(random.between(2900, 3099))};
    return samples;
}

// What the panel should show for these samples, count|mean|sigma|min|max|
// median|amplitude: the moving statistics' figures (checked on their own
// against plain sums) over exactly these samples.
QString expected(const QVector<Sample> &window)
{
    if (window.isEmpty())
        return QStringLiteral("0|-|-|-|-|-|-");
    MovingStatistics d;
    quint64 amplitudes = 0;
    for (const Sample &s : window) {
        d.add(s.distance);
        amplitudes += s.amplitude;
    }
    const quint64 n = d.count();
    return QStringList{QString::number(n),
                       scaledText(d.meanScaled(2), 2),
                       scaledText(d.sigmaScaled(2), 2),
                       QString::number(d.minimum()),
                       QString::number(d.maximum()),
                       scaledText(qint64(d.medianHalves()) * 50, 2),
                       QString::number((amplitudes + n / 2) / n)}
        .join(QLatin1Char('|'));
}

QString label(const ChartForm &form, const char *name)
{
    return form.findChild<QLabel *>(QLatin1String(name))->text();
}

// The panel's figures in the order expected() gives them.
QString shown(const ChartForm &form)
{
    QStringList texts;
    for (const char *name :
         {"statsCount", "statsMean", "statsSigma", "statsMin", "statsMax", "statsMedian", "statsAmplitude"})
        texts << label(form, name);
    return texts.join(QLatin1Char('|'));
}

void chooseWindow(ChartForm &form, int index)
{
    form.findChild<QComboBox *>(QStringLiteral("statsWindow"))->setCurrentIndex(index);
}

}  // namespace

class TestStatsPanel : public QObject
{
    Q_OBJECT

private slots:
    // Hidden, the chart only records; shown, the panel catches up at once.
    // Then the window's choices, the window moving along, and the reset,
    // which also restarts the count of failed checks.
    void figuresWindowsAndReset()
    {
        const QVector<Sample> samples = stream(3000, 3);
        ChartForm form;
        chooseWindow(form, 1);
        for (int i = 0; i < 2000; ++i)
            form.appendMeasurement(samples[i].distance, samples[i].amplitude);
        QTest::qWait(300);
        QCOMPARE(form.statsPanel().statistics().count(), quint64(0));
        QCOMPARE(label(form, "statsCount"), QStringLiteral("0"));
        form.show();
        QCOMPARE(shown(form), expected(samples.mid(1000, 1000)));

        chooseWindow(form, 0);
        QCOMPARE(shown(form), expected(samples.mid(1900, 100)));
        // Fed in uneven batches, each followed by a refresh as the redraw
        // does: the window of 100 moves along sample by sample.
        for (int fed = 2000, batch = 1; fed < 2600; batch = batch * 3 % 97 + 1) {
            for (const int end = qMin(fed + batch, 2600); fed < end; ++fed)
                form.appendMeasurement(samples[fed].distance, samples[fed].amplitude);
            form.statsPanel().refresh();
            QCOMPARE(shown(form), expected(samples.mid(fed - 100, 100)));
        }
        chooseWindow(form, 3);
        QCOMPARE(shown(form), expected(samples.mid(0, 2600)));

        form.setFailedChecks(5);
        form.findChild<QPushButton *>(QStringLiteral("statsReset"))->click();
        QCOMPARE(shown(form), expected({}));
        QCOMPARE(label(form, "statsFailed"), QStringLiteral("0"));

        for (int i = 2600; i < 2610; ++i)
            form.appendMeasurement(samples[i].distance, samples[i].amplitude);
        form.setFailedChecks(8);
        QTRY_COMPARE_WITH_TIMEOUT(label(form, "statsCount"), QStringLiteral("10"), 5000);
        QCOMPARE(shown(form), expected(samples.mid(2600, 10)));
        QCOMPARE(label(form, "statsFailed"), QStringLiteral("3"));
        // A finite window after the reset holds only what came since.
        chooseWindow(form, 2);
        QCOMPARE(shown(form), expected(samples.mid(2600, 10)));
    }

    // Bins of equal width from the minimum, holding every sample once.
    void histogramCoversTheWindow_data()
    {
        QTest::addColumn<QVector<int>>("distances");
        QTest::addColumn<int>("bins");
        QTest::addColumn<int>("width");
        QTest::newRow("one value") << QVector<int>{1500, 1500, 1500} << 1 << 1;
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
