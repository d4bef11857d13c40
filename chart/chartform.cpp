#include "chartform.h"
#include "ui_chartform.h"

#include "chart/tracepainter.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QShowEvent>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
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
        // The scene keeps the series (its points, axes and legend entry) but
        // never paints its line: paintEvent draws the traces.
        s->setVisible(false);
        for (QLegendMarker *marker : chart->legend()->markers(s))
            marker->setVisible(true);
    }

    ui->autoSW->hide();

    panel = new StatsPanel(*ui, history[0], this);
    // The plot keeps clear of the panel over its right-hand side.
    QMargins margins = chart->margins();
    margins.setRight(margins.right() + ui->statsPanel->sizeHint().width());
    chart->setMargins(margins);

    tickLabels = std::make_unique<TickLabels>(*chart, *axisX);
    tickLabels->setLabelsColor(Qt::black);
    tickLabels->show(shownMin, shownMax);
    placeAxisX();

    // No fill under the chart's opaque layer.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The chart lays itself out again after a resize or new axis numbers,
    // later than the change itself.
    connect(chart, &QChart::plotAreaChanged, this, &ChartForm::staticLayerChanged);

    redrawTimer.setInterval(redrawIntervalMs);
    connect(&redrawTimer, &QTimer::timeout, this, &ChartForm::redrawTick);
}

ChartForm::~ChartForm()
{
    delete ui;
}

void ChartForm::setUpAxisX()
{
    axisX->setRange(shownMin, shownMax);
    styleAxis(axisX, QStringLiteral("Sample"));
    // The axis's own labels stay, unseen, to keep the room the numbers need;
    // TickLabels draws the numbers.
    axisX->setLabelsColor(Qt::transparent);
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
    if (series[seriesIndex]->name() != name) {
        series[seriesIndex]->setName(name);
        staticLayerChanged();
    }
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
    redrawDue = true;
    // A hidden chart only records; showEvent catches up.
    if (isVisible() && !redrawTimer.isActive())
        redrawTimer.start();
}

// The timer runs while samples come: it stops at the first tick that finds
// nothing new, so a quiet or hidden chart is never redrawn.
void ChartForm::redrawTick()
{
    if (!redrawDue || !isVisible()) {
        // The panel shows the latest figures once samples stop.
        if (panelDue && isVisible())
            refreshPanel(true);
        redrawTimer.stop();
        return;
    }
    catchUpDrawing();
}

// The panel's figures at most about every panelIntervalMs, as often as ever,
// while the trace moves with every redraw.
void ChartForm::refreshPanel(bool now)
{
    // A few milliseconds early is on time: timer ticks come a little early or late.
    if (!now && panelClock.isValid() && panelClock.elapsed() < panelIntervalMs - 10) {
        panelDue = true;
        return;
    }
    panelDue = false;
    panelClock.start();
    panel->refresh();
}

void ChartForm::showEvent(QShowEvent *event)
{
    catchUpDrawing();
    if (panelDue)
        refreshPanel(true);
    QChartView::showEvent(event);
}

void ChartForm::catchUpDrawing()
{
    redrawDue = false;
    QRectF dirty;
    if (shownMin != scrolledMin || shownMax != scrolledMax) {
        dirty = tickLabels->area();
        shownMin = scrolledMin;
        shownMax = scrolledMax;
        tickLabels->show(shownMin, shownMax);
        placeAxisX();
        dirty |= tickLabels->area();
    }
    bool traceMoved = false;
    for (int i = 0; i < seriesCount; ++i)
        traceMoved = refreshDrawnSeries(i) || traceMoved;
    // Only where a trace was or is now, and the changed tick labels: the
    // viewport is asked to repaint their bounds (a painter clipped to a
    // region of many rectangles blits and draws several times slower) and
    // restores the cached layer only within them. A window with a
    // translucent background has the bounds cleared before painting.
    QRegion area;
    if (!dirty.isEmpty())
        area = mapFromScene(dirty).boundingRect().adjusted(-1, -1, 1, 1);
    if (traceMoved) {
        const QRegion now = currentTraceRegion();
        area |= tracesShown | now;
        tracesShown = now;
    }
    if (!area.isEmpty()) {
        const QRegion asked = window()->testAttribute(Qt::WA_TranslucentBackground) ? area : area.boundingRect();
        viewport()->update(asked);
        requested |= asked;
        restore |= area;
    }
    refreshPanel(false);
}

QRectF ChartForm::axesRange() const
{
    return QRectF(axisX->min(), axisY->min(), axisX->max() - axisX->min(), axisY->max() - axisY->min());
}

// Where the traces of the drawn series are painted, in the viewport.
QRegion ChartForm::currentTraceRegion() const
{
    const QRectF plotArea = chart->mapRectToScene(chart->plotArea());
    QRegion region;
    for (int i = 0; i < seriesCount; ++i)
        region |= traceRegion(drawnPoints[i], series[i]->pen(), plotArea, axesRange());
    return viewportTransform().map(region);
}

// The viewport's fill and the scene but the traces and tick labels, as the
// view paints them.
void ChartForm::renderStaticLayer()
{
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize pixels = viewport()->size() * ratio;
    if (staticLayer.size() != pixels)
        staticLayer = QPixmap(pixels);
    staticLayer.setDevicePixelRatio(ratio);
    QPainter painter(&staticLayer);
    painter.fillRect(viewport()->rect(), viewport()->palette().brush(viewport()->backgroundRole()));
    painter.setRenderHints(renderHints());
    render(&painter, viewport()->rect(), viewport()->rect());
}

// The cached layer where the viewport is exposed, then the tick labels and
// the traces over it: a redraw paints no grid, axis or legend.
//
// The scene's items are never painted by the view itself, so the scene does
// not ask it to repaint when they change: whatever changes them (the axes'
// ranges, the series' names, the chart's layout, the palette or style) marks
// the layer outdated. A redraw asks for the bounds of what it changed and
// only that is restored from the layer; a paint of the whole viewport (shown,
// grabbed) restores all of it.
void ChartForm::staticLayerChanged()
{
    layerOutdated = true;
    viewport()->update();
}

void ChartForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange
        || event->type() == QEvent::FontChange)
        staticLayerChanged();
    QChartView::changeEvent(event);
}

void ChartForm::paintEvent(QPaintEvent *event)
{
    // The widgets over the viewport: the view paints nothing beneath the
    // opaque ones, and repaints beneath the others when they change (they
    // paint over what is there).
    QRegion covered;
    for (const QObject *child : children()) {
        const auto *widget = qobject_cast<const QWidget *>(child);
        if (widget && widget != viewport() && widget->isVisible())
            covered |= QRect(viewport()->mapFrom(this, widget->pos()), widget->size());
    }
    const bool whole = (QRegion(viewport()->rect()) - covered - event->region()).isEmpty();
    const qreal ratio = viewport()->devicePixelRatioF();
    QRegion stale = whole ? event->region() : event->region() - (requested - restore - covered);
    requested = restore = QRegion();
    if (layerOutdated || staticLayer.size() != viewport()->size() * ratio) {
        renderStaticLayer();
        ++staticLayerRenders;
        layerOutdated = false;
        stale = event->region();
        // The traces may have moved with the layout: all of it anew.
        if (!whole)
            viewport()->update();
    }
    QPainter painter(viewport());
    for (const QRect &rect : stale)
        painter.drawPixmap(rect, staticLayer, QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
    painter.setRenderHints(renderHints());
    painter.setTransform(viewportTransform());
    tickLabels->paint(painter);
    const QRectF plotArea = chart->mapRectToScene(chart->plotArea());
    for (int i = 0; i < seriesCount; ++i)
        paintTrace(painter, drawnPoints[i], series[i]->pen(), plotArea, axesRange());
    if (whole)
        tracesShown = currentTraceRegion();
}

// axisX runs from a base of as many digits as the widest number shown (the
// last) over the span shown, so its unseen labels take the room of the
// numbers TickLabels draws and the plot area is laid out as for them. The
// axis moves, and lays its labels out again, only when that width or the
// span changes.
void ChartForm::placeAxisX()
{
    const int digits = tickLabels->texts().constLast().size();
    const qreal base = std::pow(10.0, digits - 1);
    if (axisX->min() != base || axisX->max() != base + shownMax - shownMin) {
        axisX->setRange(base, base + shownMax - shownMin);
        staticLayerChanged();
    }
    origin = shownMin - base;
}

bool ChartForm::refreshDrawnSeries(int index)
{
    const int first = qMax(int(std::floor(scrolledMin)) - drawMargin, 0);
    const int last = qMin(int(std::ceil(scrolledMax)) + drawMargin, history[index].size() - 1);
    DrawnRange &range = drawn[index];
    const bool stillEmpty = last < first && range.last < range.first;
    if (stillEmpty || (first == range.first && last == range.last && range.origin == origin))
        return false;
    drawnPoints[index] = history[index].points(first, last, origin);
    seriesBehind[index] = true;
    range = {first, last, origin};
    return true;
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
    if (seriesBehind[seriesIndex]) {
        series[seriesIndex]->replace(drawnPoints[seriesIndex]);
        seriesBehind[seriesIndex] = false;
    }
    return series[seriesIndex];
}

void ChartForm::on_MaxValue_valueChanged(int maxV)
{
    yMax = maxV;
    axisY->setRange(yMin, maxV);
    staticLayerChanged();
}

void ChartForm::on_MinValue_valueChanged(int minV)
{
    yMin = minV;
    axisY->setRange(minV, yMax);
    staticLayerChanged();
}
