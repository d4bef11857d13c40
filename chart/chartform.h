#ifndef CHARTFORM_H
#define CHARTFORM_H

#include <QTimer>
#include <QtCharts/QChartView>

#include "chart/samplehistory.h"
#include "chart/statspanel.h"
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
// The X range is worked out on every append but handed to the axis only when
// the chart redraws (at most 10 times a second, never while hidden): each
// QValueAxis range change relayouts the axis, about 0.3 ms, and a redraw with
// its repaint costs about 2.5 ms, so at 100 samples/s a redraw per 35 ms took
// ~700 us per sample and one per 100 ms takes ~250 (bench_longrun, realtime).
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
    QtCharts::QLineSeries *drawnSeries(int seriesIndex) const;
    // Where the X axis stands after the latest sample; axisX follows on redraw.
    qreal xRangeMin() const { return scrolledMin; }
    qreal xRangeMax() const { return scrolledMax; }
    QtCharts::QValueAxis *xAxis() const { return axisX; }
    QtCharts::QValueAxis *yAxis() const { return axisY; }

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_MaxValue_valueChanged(int maxV);
    void on_MinValue_valueChanged(int minV);

private:
    static constexpr int seriesCount = 2;
    // Samples kept beyond each edge of the X axis so the line runs to the border.
    static constexpr int drawMargin = 2;
    // Ten redraws per second: the line still moves smoothly enough to follow
    // a target by eye, at a third of the cost of a film-like rate.
    static constexpr int redrawIntervalMs = 100;

    void setUpAxisX();
    void setUpAxisY();
    void scrollAxisXFor(int x);
    void scheduleRedraw();
    void catchUpDrawing();
    void refreshDrawnSeries(int index);

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
    SampleHistory history[seriesCount];
    // Index range of the samples the drawn series holds now (empty: last < first).
    struct DrawnRange
    {
        int first = 0;
        int last = -1;
    };
    DrawnRange drawn[seriesCount];
    QTimer redrawTimer;
    StatsPanel *panel = nullptr;
    quint16 nextAmplitude = 0;  // of the distance appendSample() takes next
};

#endif // CHARTFORM_H
