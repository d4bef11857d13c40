// The live distance chart: scrolling and the numbers under the X ticks, the
// Y axis, that it keeps every sample while drawing only what the X axis shows,
// and when it draws: the trace moves on every redraw while samples come, and
// nothing is drawn while none come or while the window is hidden. What its
// redraws leave on screen is what a fresh paint of the window shows.

#include "chart/chartform.h"

#include <QPaintEvent>
#include <QScreen>
#include <QSpinBox>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

namespace {
// Distinct, non-monotonic values so a point at the wrong x shows up.
quint16 valueFor(int x)
{
    return quint16((x * 37) % 9000 + 100);
}

void appendSamples(ChartForm &form, int from, int to)
{
    for (int x = from; x <= to; ++x)
        form.appendSample(0, valueFor(x), QStringLiteral("Distance"));
}

// The newest sample number the drawn series holds (-1: none).
int newestDrawn(const ChartForm &form)
{
    const QtCharts::QLineSeries *series = form.drawnSeries(0);
    return series->count() > 0 ? int(series->at(series->count() - 1).x() + form.seriesOrigin()) : -1;
}

// The drawn series runs over consecutive samples with the appended values,
// covers the whole shown X range and ends at the newest sample or just past
// the axis; the numbers under the five X ticks are those of the shown range.
void verifyDrawnWindow(const ChartForm &form, int newestX)
{
    const QList<QPointF> points = form.drawnSeries(0)->points();
    QVERIFY(!points.isEmpty());
    const int first = int(points.first().x() + form.seriesOrigin());
    for (int i = 0; i < points.size(); ++i)
        QCOMPARE(points.at(i), QPointF(points.first().x() + i, valueFor(first + i)));
    QVERIFY(first <= form.shownXMin());
    QCOMPARE(newestDrawn(form), qMin(newestX, int(form.shownXMax()) + 2));
    // The series' points sit on the axis as the labels say.
    const auto *axis = static_cast<QtCharts::QValueAxis *>(form.drawnSeries(0)->attachedAxes().first());
    QCOMPARE(axis->min() + form.seriesOrigin(), form.shownXMin());
    QCOMPARE(axis->max() + form.seriesOrigin(), form.shownXMax());
    QStringList labels;
    for (int i = 0; i < 5; ++i)
        labels << QString::number(qint64(form.shownXMin() + i * (form.shownXMax() - form.shownXMin()) / 4));
    QCOMPARE(form.xTickLabels(), labels);
}

// The window on screen, as its redraws left it, is the window painted afresh
// (no trace left behind, nothing drawn from an outdated picture).
bool screenIsFresh(ChartForm &form)
{
    const QImage onScreen = form.screen()->grabWindow(form.winId()).toImage();
    return onScreen.convertToFormat(QImage::Format_RGB32) == form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Records, at each paint of the chart's viewport, the newest sample drawn and
// the most points the drawn series held.
class RedrawRecorder : public QObject
{
public:
    explicit RedrawRecorder(ChartForm &chart)
        : form(chart)
    {
        form.viewport()->installEventFilter(this);
    }
    QVector<int> newestAtRedraw;
    int largestDrawn = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            newestAtRedraw.append(newestDrawn(form));
            largestDrawn = qMax(largestDrawn, form.drawnSeries(0)->count());
        }
        return false;
    }

private:
    ChartForm &form;
};
}  // namespace

class TestChart : public QObject
{
    Q_OBJECT

private slots:
    // The X scale shows 0..100 until a sample falls past 200, then ends at the
    // newest sample and spans 200; past 9999 the numbers take a fifth digit.
    void xAxisScrolls_data()
    {
        QTest::addColumn<int>("newest");
        QTest::addColumn<QPointF>("range");
        for (int newest : {0, 101, 200, 201, 202, 10000})
            QTest::addRow("%d samples", newest + 1)
                << newest << (newest <= 200 ? QPointF(0, 100) : QPointF(newest - 200, newest));
    }
    void xAxisScrolls()
    {
        QFETCH(int, newest);
        QFETCH(QPointF, range);
        ChartForm form;
        appendSamples(form, 0, newest);
        // Hidden, it only recorded; shown, it catches up at once.
        form.show();
        QCOMPARE(QPointF(form.shownXMin(), form.shownXMax()), range);
        verifyDrawnWindow(form, newest);
        // Closed by its frame it only hides, and goes on recording.
        form.close();
        appendSamples(form, newest + 1, newest + 500);
        form.show();
        QCOMPARE(QPointF(form.shownXMin(), form.shownXMax()), QPointF(newest + 300, newest + 500));
        verifyDrawnWindow(form, newest + 500);
    }

    // The spin boxes set the Y axis, their start values too; samples never move it.
    void yAxisFollowsTheSpinBoxes()
    {
        ChartForm form;
        auto *maxValue = form.findChild<QSpinBox *>(QStringLiteral("MaxValue"));
        auto *minValue = form.findChild<QSpinBox *>(QStringLiteral("MinValue"));
        QVERIFY(maxValue && minValue);
        QCOMPARE(QPointF(form.yAxis()->min(), form.yAxis()->max()), QPointF(minValue->value(), maxValue->value()));
        minValue->setValue(10);
        QCOMPARE(QPointF(form.yAxis()->min(), form.yAxis()->max()), QPointF(10, maxValue->value()));
        maxValue->setValue(5010);
        appendSamples(form, 0, 300);
        QCOMPARE(QPointF(form.yAxis()->min(), form.yAxis()->max()), QPointF(10, 5010));
        // On screen, the grid, the axis's numbers and the trace follow.
        form.show();
        QTRY_VERIFY_WITH_TIMEOUT(screenIsFresh(form), 5000);
        maxValue->setValue(3000);
        QTRY_VERIFY_WITH_TIMEOUT(screenIsFresh(form), 5000);
    }

    // Samples at 100/s: a shown chart redraws on its own, each redraw with
    // newer samples than the one before and no more points than the X axis
    // shows; a hidden one draws nothing. Once they stop, neither draws again.
    void drawsOnlyWhileSamplesComeAndShown_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addRow("shown") << true;
        QTest::addRow("hidden") << false;
    }
    void drawsOnlyWhileSamplesComeAndShown()
    {
        QFETCH(bool, shown);
        ChartForm form;
        appendSamples(form, 0, 999);
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(newestDrawn(form), 999, 5000);
        if (!shown)
            form.hide();
        QTest::qWait(200);
        RedrawRecorder recorder(form);
        int next = 1000;
        QTimer feed;
        feed.setInterval(10);
        connect(&feed, &QTimer::timeout, this, [&] {
            appendSamples(form, next, next);
            ++next;
        });
        feed.start();
        if (shown)
            QTRY_VERIFY_WITH_TIMEOUT(recorder.newestAtRedraw.size() >= 10, 20000);
        else
            QTest::qWait(600);
        feed.stop();
        const int last = next - 1;
        if (shown) {
            QTRY_COMPARE_WITH_TIMEOUT(recorder.newestAtRedraw.constLast(), last, 5000);
            for (int i = 1; i < recorder.newestAtRedraw.size(); ++i)
                QVERIFY2(recorder.newestAtRedraw.at(i) > recorder.newestAtRedraw.at(i - 1),
                         qPrintable(QString::number(i)));
            QVERIFY2(recorder.largestDrawn <= 210, qPrintable(QString::number(recorder.largestDrawn)));
            verifyDrawnWindow(form, last);
            QTRY_VERIFY_WITH_TIMEOUT(screenIsFresh(form), 5000);
        }
        const int redraws = recorder.newestAtRedraw.size();
        QTest::qWait(600);
        QCOMPARE(recorder.newestAtRedraw.size(), shown ? redraws : 0);
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
