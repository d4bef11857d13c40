// The live distance chart window: its form, the axes, scrolling, and that it
// keeps every sample while drawing only what the X axis shows.

#include "chart/chartform.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

using namespace QtCharts;

namespace {

const QString distance = QStringLiteral("Distance");

// Distinct, non-monotonic values so a point at the wrong x shows up.
quint16 valueFor(int x)
{
    return quint16((x * 37) % 9000 + 100);
}

void appendSamples(ChartForm &form, int from, int to)
{
    for (int x = from; x <= to; ++x)
        form.appendSample(0, valueFor(x), distance);
}

struct Range
{
    qreal min;
    qreal max;
};

bool operator==(const Range &a, const Range &b) { return a.min == b.min && a.max == b.max; }

char *toString(const Range &r)
{
    return QTest::toString(QStringLiteral("%1..%2").arg(r.min).arg(r.max));
}

Range logicalX(const ChartForm &form) { return {form.xRangeMin(), form.xRangeMax()}; }
Range shownX(const ChartForm &form) { return {form.xAxis()->min(), form.xAxis()->max()}; }
Range shownY(const ChartForm &form) { return {form.yAxis()->min(), form.yAxis()->max()}; }

// The view's own accessor; ChartForm's member of the same name hides it.
QChart *chartOf(ChartForm &form)
{
    return static_cast<QChartView &>(form).chart();
}

template<typename T>
T *widget(ChartForm &form, const char *name)
{
    T *found = form.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning("no widget %s", name);
    return found;
}

// Every point of the drawn series has the recorded value at its x, the x run
// consecutively, and the whole visible X range is covered.
void verifyDrawnWindow(ChartForm &form, int newestX)
{
    const QVector<QPointF> points = form.drawnSeries(0)->pointsVector();
    QVERIFY(!points.isEmpty());
    for (int i = 0; i < points.size(); ++i) {
        const int x = int(points.at(i).x());
        QCOMPARE(points.at(i).x(), points.first().x() + i);
        QCOMPARE(points.at(i).y(), qreal(form.sample(0, x)));
    }
    QVERIFY(points.first().x() <= form.xAxis()->min());
    QCOMPARE(int(points.last().x()), qMin(newestX, int(form.xAxis()->max()) + 2));
}

} // namespace

class TestChart : public QObject
{
    Q_OBJECT

private slots:
    void formWidgets();
    void axisSetUp();
    void yAxisFollowsTheSpinBoxes();
    void xAxisScrollsOnceTheWindowIsFull();
    void legendAndSecondSeries();
    void hiddenChartRecordsAndCatchesUpWhenShown();
    void shownChartRedrawsAndStaysBounded();
};

void TestChart::formWidgets()
{
    ChartForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Senser Sample"));
    QCOMPARE(form.objectName(), QStringLiteral("ChartForm"));
    QCOMPARE(form.size(), QSize(1582, 838));
    QVERIFY(form.parentWidget() == nullptr);

    auto *autoSW = widget<QCheckBox>(form, "autoSW");
    QVERIFY(autoSW);
    QCOMPARE(autoSW->text(), QStringLiteral("AUTO"));
    QCOMPARE(autoSW->font().family(), QStringLiteral("Arial"));
    QVERIFY(autoSW->isHidden());
    QVERIFY(!autoSW->isChecked());

    auto *range = widget<QLabel>(form, "label_3");
    auto *max = widget<QLabel>(form, "label");
    auto *min = widget<QLabel>(form, "label_2");
    auto *unit = widget<QLabel>(form, "label_4");
    QVERIFY(range && max && min && unit);
    QCOMPARE(range->text(), QStringLiteral("距离显示区间"));
    QCOMPARE(range->font().family(), QStringLiteral("微软雅黑"));
    QCOMPARE(max->text(), QStringLiteral("MAX"));
    QCOMPARE(max->alignment(), Qt::AlignCenter);
    QCOMPARE(max->font().family(), QStringLiteral("Arial"));
    QCOMPARE(min->text(), QStringLiteral("MIN"));
    QCOMPARE(min->alignment(), Qt::AlignCenter);
    QCOMPARE(min->font().family(), QStringLiteral("Arial"));
    QCOMPARE(unit->text(), QStringLiteral("mm"));

    auto *maxValue = widget<QSpinBox>(form, "MaxValue");
    auto *minValue = widget<QSpinBox>(form, "MinValue");
    QVERIFY(maxValue && minValue);
    QCOMPARE(maxValue->minimum(), 0);
    QCOMPARE(maxValue->maximum(), 60000);
    QCOMPARE(maxValue->singleStep(), 10);
    QCOMPARE(maxValue->value(), 5000);
    QCOMPARE(maxValue->font().family(), QStringLiteral("Arial"));
    QCOMPARE(minValue->minimum(), 0);
    QCOMPARE(minValue->maximum(), 20000);
    QCOMPARE(minValue->singleStep(), 10);
    QCOMPARE(minValue->value(), 0);
    QCOMPARE(minValue->font().family(), QStringLiteral("Arial"));

    // The controls sit in a grid at the bottom right, below an expanding spacer.
    auto *grid = form.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    const auto cellOf = [grid](QWidget *w) {
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(grid->indexOf(w), &row, &column, &rowSpan, &columnSpan);
        return QPoint(column, row);
    };
    QCOMPARE(cellOf(min), QPoint(2, 0));
    QCOMPARE(cellOf(max), QPoint(3, 0));
    QCOMPARE(cellOf(minValue), QPoint(2, 1));
    QCOMPARE(cellOf(maxValue), QPoint(3, 1));
    QCOMPARE(cellOf(unit), QPoint(4, 1));
    auto *outer = qobject_cast<QVBoxLayout *>(form.layout());
    QVERIFY(outer);
    QCOMPARE(outer->objectName(), QStringLiteral("verticalLayout_3"));
    QVERIFY(outer->itemAt(0)->spacerItem());
    QVERIFY(outer->itemAt(0)->expandingDirections() & Qt::Vertical);
    auto *row = form.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_3"));
    QVERIFY(row);
    QCOMPARE(outer->itemAt(1)->layout(), row);
    QVERIFY(row->itemAt(0)->spacerItem());
    QCOMPARE(row->itemAt(1)->widget(), autoSW);
    QCOMPARE(row->itemAt(2)->widget(), range);
    QCOMPARE(row->itemAt(3)->layout(), grid);
}

void TestChart::axisSetUp()
{
    ChartForm form;
    QValueAxis *x = form.xAxis();
    QValueAxis *y = form.yAxis();
    QCOMPARE(shownX(form), (Range{0, 100}));
    QCOMPARE(shownY(form), (Range{0, 14000}));
    QCOMPARE(chartOf(form)->animationOptions(), QChart::NoAnimation);
    QCOMPARE(chartOf(form)->axes(Qt::Horizontal), QList<QAbstractAxis *>{x});
    QCOMPARE(chartOf(form)->axes(Qt::Vertical), QList<QAbstractAxis *>{y});

    QCOMPARE(x->titleText(), QStringLiteral("Sample"));
    QCOMPARE(y->titleText(), QStringLiteral("Dist/mm"));
    for (QValueAxis *axis : {x, y}) {
        QVERIFY(axis->isTitleVisible());
        QCOMPARE(axis->titleBrush(), QBrush(Qt::black, Qt::SolidPattern));
        QCOMPARE(axis->titleFont().pointSize(), 12);
        QCOMPARE(int(axis->titleFont().weight()), int(QFont::Bold));
        QVERIFY(axis->labelsVisible());
        QCOMPARE(axis->labelsColor(), QColor(Qt::black));
        QCOMPARE(axis->labelsFont().pointSize(), 12);
        QCOMPARE(int(axis->labelsFont().weight()), int(QFont::Bold));
        QCOMPARE(axis->labelFormat(), QStringLiteral("%d"));
        QVERIFY(axis->isGridLineVisible());
        QCOMPARE(axis->gridLineColor(), QColor(Qt::darkGray));
        QVERIFY(axis->isMinorGridLineVisible());
        QCOMPARE(axis->minorGridLineColor(), QColor(Qt::gray));
    }
    QVERIFY(x->isLineVisible());
    QCOMPARE(x->linePen().color(), QColor(Qt::black));
    QCOMPARE(x->linePen().width(), 2);
    QCOMPARE(y->tickCount(), 6);
    QCOMPARE(y->minorTickCount(), 4);
}

void TestChart::yAxisFollowsTheSpinBoxes()
{
    ChartForm form;
    auto *maxValue = widget<QSpinBox>(form, "MaxValue");
    auto *minValue = widget<QSpinBox>(form, "MinValue");
    QVERIFY(maxValue && minValue);

    // The form's start values do not reach the axis.
    QCOMPARE(maxValue->value(), 5000);
    QCOMPARE(shownY(form), (Range{0, 14000}));

    minValue->setValue(10);
    QCOMPARE(shownY(form), (Range{10, 14000}));
    maxValue->setValue(5010);
    QCOMPARE(shownY(form), (Range{10, 5010}));

    // Samples never move the Y axis.
    appendSamples(form, 0, 300);
    QCOMPARE(shownY(form), (Range{10, 5010}));

    // MIN above MAX goes to the axis as it is: neither swapped nor clamped.
    // (QValueAxis itself refuses an inverted range and keeps the last one.)
    minValue->setValue(6000);
    QCOMPARE(minValue->value(), 6000);
    QCOMPARE(maxValue->value(), 5010);
    QVERIFY(!(shownY(form) == (Range{5010, 6000})));
    QCOMPARE(shownY(form), (Range{10, 5010}));
    maxValue->setValue(8000);
    QCOMPARE(shownY(form), (Range{6000, 8000}));
}

void TestChart::xAxisScrollsOnceTheWindowIsFull()
{
    ChartForm form;

    appendSamples(form, 0, 200);
    QCOMPARE(logicalX(form), (Range{0, 100}));
    appendSamples(form, 201, 201);
    QCOMPARE(logicalX(form), (Range{1, 201}));
    appendSamples(form, 202, 202);
    QCOMPARE(logicalX(form), (Range{2, 202}));

    form.show();
    QCOMPARE(shownX(form), (Range{2, 202}));

    // While shown the axis keeps up with the samples at the redraw rate.
    appendSamples(form, 203, 9999);
    QCOMPARE(logicalX(form), (Range{9799, 9999}));
    QTRY_COMPARE(shownX(form), (Range{9799, 9999}));
    QCOMPARE(form.xAxis()->max() - form.xAxis()->min(), 200.0);

    appendSamples(form, 10000, 10000);
    QCOMPARE(logicalX(form), (Range{9800, 10000}));
    QTRY_COMPARE(shownX(form), (Range{9800, 10000}));
    verifyDrawnWindow(form, 10000);
}

void TestChart::legendAndSecondSeries()
{
    ChartForm form;
    QLineSeries *first = form.drawnSeries(0);
    QLineSeries *second = form.drawnSeries(1);
    QVERIFY(first && second && first != second);
    QCOMPARE(chartOf(form)->series(), (QList<QAbstractSeries *>{first, second}));
    for (QLineSeries *s : {first, second}) {
        QCOMPARE(s->attachedAxes().size(), 2);
        QVERIFY(s->attachedAxes().contains(form.xAxis()));
        QVERIFY(s->attachedAxes().contains(form.yAxis()));
    }

    form.appendSample(0, 1234, distance);
    QCOMPARE(first->name(), distance);
    const QList<QLegendMarker *> markers = chartOf(form)->legend()->markers(first);
    QCOMPARE(markers.size(), 1);
    QCOMPARE(markers.first()->label(), distance);

    // Only series 0 is fed; series 1 stays empty and unnamed.
    appendSamples(form, 1, 400);
    form.show();
    QCOMPARE(form.sampleCount(1), 0);
    QCOMPARE(second->count(), 0);
    QVERIFY(second->name().isEmpty());

    // Series 1 counts its own samples from 0.
    form.appendSample(1, 777, QStringLiteral("Other"));
    QCOMPARE(form.sampleCount(1), 1);
    QCOMPARE(form.sample(1, 0), quint16(777));
    QCOMPARE(second->name(), QStringLiteral("Other"));
    QCOMPARE(form.sampleCount(0), 401);

    // There are two series; a third index must not reach past them.
    form.appendSample(2, 1, distance);
    form.appendSample(65535, 1, distance);
    QCOMPARE(form.sampleCount(0), 401);
    QCOMPARE(form.sampleCount(1), 1);
    QCOMPARE(logicalX(form), (Range{200, 400}));
}

void TestChart::hiddenChartRecordsAndCatchesUpWhenShown()
{
    ChartForm form;
    QVERIFY(form.isHidden());
    appendSamples(form, 0, 999);
    QCOMPARE(form.sampleCount(0), 1000);
    for (int x = 0; x < 1000; ++x)
        QCOMPARE(form.sample(0, x), valueFor(x));
    QCOMPARE(logicalX(form), (Range{799, 999}));

    form.show();
    QCOMPARE(shownX(form), (Range{799, 999}));
    verifyDrawnWindow(form, 999);

    // Closed by its frame, it only hides, goes on recording and catches up again.
    form.close();
    QVERIFY(form.isHidden());
    appendSamples(form, 1000, 1499);
    QCOMPARE(form.sampleCount(0), 1500);
    QCOMPARE(form.sample(0, 1499), valueFor(1499));
    form.show();
    QCOMPARE(shownX(form), (Range{1299, 1499}));
    verifyDrawnWindow(form, 1499);
}

void TestChart::shownChartRedrawsAndStaysBounded()
{
    ChartForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // Before the first scroll the drawn series already holds what 0..100 shows.
    appendSamples(form, 0, 150);
    QTRY_COMPARE(form.drawnSeries(0)->count(), 103);
    verifyDrawnWindow(form, 150);

    constexpr int total = 50000;
    int largestDrawn = 0;
    for (int x = 151; x < total; ++x) {
        form.appendSample(0, valueFor(x), distance);
        if (x % 50 == 0) {
            QCoreApplication::processEvents();
            largestDrawn = qMax(largestDrawn, form.drawnSeries(0)->count());
        }
    }
    QTRY_COMPARE(shownX(form), (Range{total - 201, total - 1}));
    QTRY_COMPARE(form.drawnSeries(0)->pointsVector().last().x(), qreal(total - 1));
    largestDrawn = qMax(largestDrawn, form.drawnSeries(0)->count());

    QVERIFY2(largestDrawn <= 210, qPrintable(QString::number(largestDrawn)));
    QCOMPARE(form.drawnSeries(0)->count(), 203);
    verifyDrawnWindow(form, total - 1);

    QCOMPARE(form.sampleCount(0), total);
    for (int x = 0; x < total; ++x) {
        if (form.sample(0, x) != valueFor(x))
            QFAIL(qPrintable(QStringLiteral("sample %1 lost").arg(x)));
    }
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
