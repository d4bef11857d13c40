#include "chartform.h"
#include "ui_chartform.h"

#include <QLoggingCategory>
#include <QShowEvent>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

using namespace QtCharts;

Q_LOGGING_CATEGORY(lcChart, "korvani.chart", QtWarningMsg)

namespace {

void styleAxis(QValueAxis *axis, const QString &title)
{
    axis->setTitleText(title);
    axis->setTitleVisible(true);
    axis->setTitleBrush(QBrush(Qt::black, Qt::SolidPattern));
    QFont titleFont = axis->titleFont();
    titleFont.setPointSize(12);
    titleFont.setWeight(QFont::Bold);
    axis->setTitleFont(titleFont);

    axis->setLabelsVisible(true);
    axis->setLabelsColor(Qt::black);
    QFont labelsFont = axis->labelsFont();
    labelsFont.setPointSize(12);
    labelsFont.setWeight(QFont::Bold);
    axis->setLabelsFont(labelsFont);
    axis->setLabelFormat(QStringLiteral("%d"));

    axis->setGridLineVisible(true);
    axis->setGridLineColor(Qt::darkGray);
    axis->setMinorGridLineVisible(true);
    axis->setMinorGridLineColor(Qt::gray);
}

} // namespace

// The view is built with its chart: QChartView(QWidget *) would make a
// default chart of its own that setChart() lets go of but never deletes.
ChartForm::ChartForm(QWidget *parent)
    : QtCharts::QChartView(new QChart, parent)
    , ui(new Ui::ChartForm)
{
    ui->setupUi(this);

    chart = QChartView::chart();
    // Animations would replay the whole window on every redraw.
    chart->setAnimationOptions(QChart::NoAnimation);
    setWindowTitle(QStringLiteral("Senser Sample"));

    axisX = new QValueAxis(this);
    axisY = new QValueAxis(this);
    for (auto &s : series)
        s = new QLineSeries(this);

    setUpAxisX();
    // The axis shows from the start what the "MIN" and "MAX" boxes show.
    yMax = ui->MaxValue->value();
    yMin = ui->MinValue->value();
    sampleWindow = 200;
    setUpAxisY();

    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QLineSeries *s : series) {
        chart->addSeries(s);
        s->attachAxis(axisX);
        s->attachAxis(axisY);
    }

    ui->autoSW->hide();

    panel = new StatsPanel(*ui, history[0], this);
    // The plot keeps clear of the panel over its right-hand side.
    QMargins margins = chart->margins();
    margins.setRight(margins.right() + ui->statsPanel->sizeHint().width());
    chart->setMargins(margins);

    redrawTimer.setSingleShot(true);
    redrawTimer.setInterval(redrawIntervalMs);
    connect(&redrawTimer, &QTimer::timeout, this, &ChartForm::catchUpDrawing);
}

ChartForm::~ChartForm()
{
    delete ui;
}

void ChartForm::setUpAxisX()
{
    axisX->setRange(0, 100);
    styleAxis(axisX, QStringLiteral("Sample"));
    axisX->setLineVisible(true);
    QPen linePen = axisX->linePen();
    linePen.setColor(Qt::black);
    linePen.setWidth(2);
    axisX->setLinePen(linePen);
}

void ChartForm::setUpAxisY()
{
    axisY->setRange(yMin, yMax);
    styleAxis(axisY, QStringLiteral("Dist/mm"));
    axisY->setTickCount(6);
    axisY->setMinorTickCount(4);
}

void ChartForm::appendSample(quint16 seriesIndex, quint16 value, const QString &name)
{
    if (seriesIndex >= seriesCount)
        return;

    const int x = history[seriesIndex].size();
    if (series[seriesIndex]->name() != name)
        series[seriesIndex]->setName(name);
    history[seriesIndex].append(value);
    if (seriesIndex == 0) {
        panel->recordSample(nextAmplitude);
        nextAmplitude = 0;
    }
    scrollAxisXFor(x);
    qCDebug(lcChart) << yMin << yMax;

    scheduleRedraw();
}

void ChartForm::appendMeasurement(quint16 distance, quint16 amplitude)
{
    nextAmplitude = amplitude;
    appendSample(0, distance, QStringLiteral("Distance"));
}

void ChartForm::setFailedChecks(quint64 total)
{
    panel->setFailedChecks(total);
    scheduleRedraw();
}

// Once a sample falls past the window, the axis moves so that it ends at that
// sample and keeps spanning sampleWindow samples.
void ChartForm::scrollAxisXFor(int x)
{
    const qreal xMin = scrolledMin;
    const qreal limit = xMin + sampleWindow;
    if (x > limit) {
        const qreal delta = x - limit;
        scrolledMin = xMin + delta;
        scrolledMax = limit + delta;
    }
}

void ChartForm::scheduleRedraw()
{
    // A hidden chart only records; showEvent catches up.
    if (isVisible() && !redrawTimer.isActive())
        redrawTimer.start();
}

void ChartForm::showEvent(QShowEvent *event)
{
    catchUpDrawing();
    QChartView::showEvent(event);
}

void ChartForm::catchUpDrawing()
{
    if (axisX->min() != scrolledMin || axisX->max() != scrolledMax)
        axisX->setRange(scrolledMin, scrolledMax);
    for (int i = 0; i < seriesCount; ++i)
        refreshDrawnSeries(i);
    panel->refresh();
}

void ChartForm::refreshDrawnSeries(int index)
{
    const int first = qMax(int(std::floor(scrolledMin)) - drawMargin, 0);
    const int last = qMin(int(std::ceil(scrolledMax)) + drawMargin, history[index].size() - 1);
    DrawnRange &range = drawn[index];
    const bool stillEmpty = last < first && range.last < range.first;
    if (stillEmpty || (first == range.first && last == range.last))
        return;
    series[index]->replace(history[index].points(first, last));
    range = {first, last};
}

int ChartForm::sampleCount(int seriesIndex) const
{
    Q_ASSERT(seriesIndex >= 0 && seriesIndex < seriesCount);
    return history[seriesIndex].size();
}

quint16 ChartForm::sample(int seriesIndex, int index) const
{
    Q_ASSERT(seriesIndex >= 0 && seriesIndex < seriesCount);
    return history[seriesIndex].at(index);
}

QtCharts::QLineSeries *ChartForm::drawnSeries(int seriesIndex) const
{
    Q_ASSERT(seriesIndex >= 0 && seriesIndex < seriesCount);
    return series[seriesIndex];
}

void ChartForm::on_MaxValue_valueChanged(int maxV)
{
    yMax = maxV;
    axisY->setRange(yMin, maxV);
}

void ChartForm::on_MinValue_valueChanged(int minV)
{
    yMin = minV;
    axisY->setRange(minV, yMax);
}
