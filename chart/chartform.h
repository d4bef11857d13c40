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
// Every sample is kept in a compact history; the drawn line series holds only
// the samples the X axis can show, because Qt Charts recomputes a whole series
// on every change and a run at 100 samples/s would otherwise grind to a halt.
// The chart is redrawn on a display timer (every redrawIntervalMs) that runs
// only while samples come and the window is shown; each redraw hands the
// series its window in one replace. The X axis itself stands still (it
// moves only when the span shown or the numbers' width changes) and the
// series' points are placed relative to the first sample shown: moving a
// QValueAxis relayouts all its labels as rich text, which cost more than the
// rest of the redraw. The sample numbers under the ticks are drawn by
// TickLabels.
//
// Beside the chart, a statistics panel and histogram over the latest charted
// samples (StatsPanel), refreshed with the redraw: nothing is worked out
// while the window is hidden.
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
    // Ten redraws per second while samples come, with the window's display:
    // a redraw with the panel still costs about 1.2 ms, and at 28 a second the
    // chart cost more CPU per sample than all the rest of the window
    // (bench_chart, bench_longrun realtime).
    static constexpr int redrawIntervalMs = 100;
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
