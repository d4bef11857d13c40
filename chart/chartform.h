#ifndef CHARTFORM_H
#define CHARTFORM_H

#include <QElapsedTimer>
#include <QPixmap>
#include <QRegion>
#include <QTimer>
#include <memory>
#include <QtCharts/QChartView>

#include "chart/samplehistory.h"
#include "chart/statspanel.h"
#include "chart/ticklabels.h"
#include "platform/qtcompat.h"

namespace Ui {
class ChartForm;
}

// The live distance chart: distance against sample number, scrolling along
// once the X axis is full.
//
// Every sample is kept in a compact history; the chart draws only the samples
// the X axis can show. It is redrawn on a display timer (every
// redrawIntervalMs, 25 times a second) that runs only while samples come and
// the window is shown. Beside it, a statistics panel and histogram over the
// latest charted samples (StatsPanel), refreshed with the redraws at most
// every panelIntervalMs (figures changing faster cannot be read); nothing is
// worked out while the window is hidden.
//
// What keeps a redraw cheap:
// - The chart's scene (background, grid, axes, titles, legend) is rendered
//   once into a cached picture, and again only when something in it changes
//   (axis ranges, series names, the layout, size, palette). A redraw asks the
//   viewport to repaint the bounds of what it changed, restores the picture
//   only where the traces were and now are, and paints the traces
//   (paintTrace, as the chart's own line item does) and the X tick numbers
//   (TickLabels) over it. The viewport is opaque: no fill beneath.
// - The line series stay in the chart for their axes and legend entries but
//   are hidden from the scene, and given their points only when asked for
//   (drawnSeries()): a series handed points lays its whole line out again.
// - The X axis stands still (it moves only when the span shown or the
//   numbers' width changes) and the points are placed relative to the first
//   sample shown: moving a QValueAxis lays out all its labels as rich text.
//
// Measured at 100 samples/s in the 1582x838 window, medians of 3 rounds:
// bench_chart 3 (chart and panel shown minus hidden, per redraw) 0.28-0.35 ms
// at 25 redraws/s, 0.39 ms at 10; before, with the scene painting everything,
// 1.0-1.1 ms. bench_longrun realtime 15 (CPU per frame of the window, bare
// port 72 us): chart hidden 199 us, chart and panel shown 291 us at 25
// redraws/s; at 10 redraws/s 206 and 263 us (before: about 195 and 340 us).
class ChartForm : public QtCharts::QChartView
{
    Q_OBJECT

public:
    explicit ChartForm(QWidget *parent = nullptr);
    ~ChartForm() override;

    // seriesIndex 0 or 1; other indices are ignored.
    void appendSample(quint16 seriesIndex, quint16 value, const QString &name);
    // A measurement's distance to series 0 ("Distance"), its amplitude to the panel.
    void appendMeasurement(quint16 distance, quint16 amplitude);
    // Failed checks counted on the line so far, for the panel.
    void setFailedChecks(quint64 total);
    StatsPanel &statsPanel() { return *panel; }

    int sampleCount(int seriesIndex) const;
    quint16 sample(int seriesIndex, int index) const;
    // The series of the points drawn (its axes, legend entry and name), its
    // points brought up to date when asked for: the chart paints its traces
    // itself, and a series handed new points lays its whole line out again.
    // Its point x is the sample number less seriesOrigin().
    QtCharts::QLineSeries *drawnSeries(int seriesIndex) const;
    qreal seriesOrigin() const { return origin; }
    // Where the X scale stands after the latest sample; the chart follows on redraw.
    qreal xRangeMin() const { return scrolledMin; }
    qreal xRangeMax() const { return scrolledMax; }
    // The sample numbers the chart shows since its latest redraw, and the
    // labels under its X ticks.
    qreal shownXMin() const { return shownMin; }
    qreal shownXMax() const { return shownMax; }
    QStringList xTickLabels() const { return tickLabels->texts(); }
    QtCharts::QValueAxis *yAxis() const { return axisY; }
    // How often the cached picture of all but the traces was drawn anew.
    int staticLayerRenderCount() const { return staticLayerRenders; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void on_MaxValue_valueChanged(int maxV);
    void on_MinValue_valueChanged(int minV);

private:
    static constexpr int seriesCount = 2;
    // Samples kept beyond each edge of the X axis so the line runs to the border.
    static constexpr int drawMargin = 2;
    // 25 redraws a second while samples come: the trace moves smoothly for
    // about 0.4 ms of CPU each (see above).
    static constexpr int redrawIntervalMs = 40;
    static constexpr int panelIntervalMs = 100;

    void setUpAxisX();
    void setUpAxisY();
    void scrollAxisXFor(int x);
    void scheduleRedraw();
    void redrawTick();
    void refreshPanel(bool now);
    void catchUpDrawing();
    bool refreshDrawnSeries(int index);  // true: its points changed
    void placeAxisX();
    void renderStaticLayer();
    QRectF axesRange() const;
    void staticLayerChanged();
    QRegion currentTraceRegion() const;

    int yMax = 14000;
    int yMin = 0;
    int sampleWindow = 200;
    Ui::ChartForm *ui;
    QtCharts::QChart *chart = nullptr;
    QtCharts::QValueAxis *axisX = nullptr;
    QtCharts::QValueAxis *axisY = nullptr;
    QtCharts::QLineSeries *series[seriesCount] = {nullptr, nullptr};

    qreal scrolledMin = 0;
    qreal scrolledMax = 100;
    // The sample numbers the chart shows; a sample x is drawn at x - origin.
    qreal shownMin = 0;
    qreal shownMax = 100;
    qreal origin = 0;
    std::unique_ptr<TickLabels> tickLabels;
    SampleHistory history[seriesCount];
    // Index range of the samples the drawn series holds now (empty: last < first).
    struct DrawnRange
    {
        int first = 0;
        int last = -1;
        qreal origin = 0;  // x of the points = sample number - origin
    };
    DrawnRange drawn[seriesCount];
    QVector<QPointF> drawnPoints[seriesCount];  // the traces painted
    mutable bool seriesBehind[seriesCount] = {false, false};  // its series not yet given them
    // Everything the viewport shows but the traces and the X tick labels.
    QPixmap staticLayer;
    bool layerOutdated = true;
    QRegion requested;    // by the redraws since the latest paint
    QRegion restore;      // where the redraws since the latest paint changed pixels
    QRegion tracesShown;  // where the traces on screen are
    int staticLayerRenders = 0;
    QTimer redrawTimer;
    bool redrawDue = false;  // something came since the latest redraw
    StatsPanel *panel = nullptr;
    QElapsedTimer panelClock;  // since the panel's latest refresh
    bool panelDue = false;     // it has not shown the latest samples yet
    quint16 nextAmplitude = 0;  // of the distance appendSample() takes next
};

#endif // CHARTFORM_H
