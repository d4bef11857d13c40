#ifndef STATSPANEL_H
#define STATSPANEL_H

// The chart window's statistics panel: count, mean, sigma, minimum, maximum,
// median, rate, failed checks and mean amplitude over a moving window of the
// latest charted samples (100, 1000, 10000 or everything since the reset),
// and a histogram of the window's distances.
//
// Samples are only recorded as they arrive (the chart keeps the distances;
// the panel the amplitude and time of the newest RecentSamples). The figures
// are worked out when the panel is refreshed - with the chart's redraws, at
// most ten times a second, and so never while the window is hidden - by
// adding the samples that came since and dropping those that left the
// window, each at constant cost. After a long hidden stretch the window is
// built afresh from the history once.
// The rate falls to 0 once no sample has come for StoppedAfterMs.

#include "chart/samplehistory.h"
#include "stats/movingstatistics.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <vector>

namespace Ui {
class ChartForm;
}

class StatsPanel : public QObject
{
    Q_OBJECT

public:
    // Newest samples whose amplitude and time are kept: the largest finite
    // window and what may arrive between two refreshes.
    static constexpr int RecentSamples = 16384;
    // The histogram has at most this many bins.
    static constexpr int MaxBins = 40;
    // No sample for this long: the rate shown is 0.
    static constexpr int StoppedAfterMs = 1000;

    StatsPanel(Ui::ChartForm &form, const SampleHistory &distances, QObject *parent = nullptr);

    // The distance just appended to the history came with this amplitude.
    void recordSample(quint16 amplitude);
    // Failed checks counted on the line so far.
    void setFailedChecks(quint64 total) { failedTotal = total; }

    // Brings the figures up to the history and writes them to the widgets
    // (only while the panel is visible).
    void refresh();

    // 0: everything since the reset.
    int windowSize() const { return window; }
    const MovingStatistics &statistics() const { return stats; }

private:
    void windowChosen(int index);
    void reset();
    void follow();
    void rebuild(qint64 start);
    void show();
    void showHistogram();
    quint16 amplitudeAt(qint64 index) const { return recent[size_t(index % RecentSamples)].amplitude; }
    qint64 timeAt(qint64 index) const { return recent[size_t(index % RecentSamples)].timeMs; }

    struct Recent {
        quint16 amplitude = 0;
        qint64 timeMs = 0;
    };

    Ui::ChartForm &ui;
    const SampleHistory &history;
    QElapsedTimer clock;
    QTimer stoppedTimer;  // shows the rate falling to 0 when samples stop
    std::vector<Recent> recent;
    qint64 recorded = 0;              // samples recorded (= the history's size)
    qint64 resetAt = 0;               // history index of the first sample after the reset
    quint64 amplitudeSinceReset = 0;
    qint64 firstTimeSinceReset = 0;
    quint64 failedTotal = 0;
    quint64 failedAtReset = 0;

    int window = 100;
    MovingStatistics stats;
    qint64 windowFirst = 0;           // history index of the oldest sample in `stats`
    qint64 followed = -1;             // samples up to here are in `stats`; -1: rebuild
    quint64 windowAmplitude = 0;
};

#endif // STATSPANEL_H
