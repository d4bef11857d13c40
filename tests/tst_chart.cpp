// The live distance chart: scrolling, the Y axis, and that it keeps every
// sample while drawing only what the X axis shows.

#include "chart/chartform.h"

#include <QSpinBox>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

namespace {
// Distinct, non-monotonic values so a point at the wrong x shows up.
quint16 valueFor(int x) { return quint16((x * 37) % 9000 + 100); }

void appendSamples(ChartForm &form, int from, int to)
{
    for (int x = from; x <= to; ++x)
        form.appendSample(0, valueFor(x), QStringLiteral("Distance"));
}

QPointF shownX(const ChartForm &form) { return {form.xAxis()->min(), form.xAxis()->max()}; }
QPointF shownY(const ChartForm &form) { return {form.yAxis()->min(), form.yAxis()->max()}; }

// The drawn series runs over consecutive x with the appended values, covers
// the whole shown X range and ends at the newest sample or just past the axis.
void verifyDrawnWindow(const ChartForm &form, int newestX)
{
    const QList<QPointF> points = form.drawnSeries(0)->points();
    QVERIFY(!points.isEmpty());
    for (int i = 0; i < points.size(); ++i)
        QCOMPARE(points.at(i), QPointF(points.first().x() + i, valueFor(int(points.first().x()) + i)));
    QVERIFY(points.first().x() <= form.xAxis()->min());
    QCOMPARE(int(points.last().x()), qMin(newestX, int(form.xAxis()->max()) + 2));
}
}

class TestChart : public QObject
{
    Q_OBJECT

private slots:
    // The axis shows 0..100 until a sample falls past 200, then ends at the
    // newest sample and spans 200.
    void xAxisScrolls_data()
    {
        QTest::addColumn<int>("newest");
        QTest::addColumn<QPointF>("range");
        for (int newest : {0, 100, 101, 200, 201, 202, 203, 10000})
            QTest::addRow("%d samples", newest + 1) << newest << (newest <= 200 ? QPointF(0, 100) : QPointF(newest - 200, newest));
    }
    void xAxisScrolls()
    {
        QFETCH(int, newest);
        QFETCH(QPointF, range);
        ChartForm form;
        appendSamples(form, 0, newest);
        // Hidden, it only recorded; shown, it catches up at once.
        form.show();
        QCOMPARE(shownX(form), range);
        verifyDrawnWindow(form, newest);
        // Closed by its frame it only hides, and goes on recording.
        form.close();
        appendSamples(form, newest + 1, newest + 500);
        form.show();
        QCOMPARE(shownX(form), QPointF(newest + 300, newest + 500));
        verifyDrawnWindow(form, newest + 500);
    }

    void drawnSeriesStaysBounded()
    {
        ChartForm form;
        form.show();
        int largestDrawn = 0;
        for (int x = 0; x < 50000; x += 50) {
            appendSamples(form, x, x + 49);
            QCoreApplication::processEvents();
            largestDrawn = qMax(largestDrawn, form.drawnSeries(0)->count());
        }
        QVERIFY2(largestDrawn <= 210, qPrintable(QString::number(largestDrawn)));
        QTRY_COMPARE_WITH_TIMEOUT(form.drawnSeries(0)->points().value(202).x(), 49999.0, 5000);
        verifyDrawnWindow(form, 49999);
    }

    // The spin boxes set the Y axis, their start values too; samples never move it.
    void yAxisFollowsTheSpinBoxes()
    {
        ChartForm form;
        auto *maxValue = form.findChild<QSpinBox *>(QStringLiteral("MaxValue"));
        auto *minValue = form.findChild<QSpinBox *>(QStringLiteral("MinValue"));
        QVERIFY(maxValue && minValue);
        QCOMPARE(shownY(form), QPointF(minValue->value(), maxValue->value()));
        minValue->setValue(10);
        QCOMPARE(shownY(form), QPointF(10, maxValue->value()));
        maxValue->setValue(5010);
        appendSamples(form, 0, 300);
        QCOMPARE(shownY(form), QPointF(10, 5010));
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
