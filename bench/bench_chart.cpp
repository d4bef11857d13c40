// The live chart window at 100 samples/s as the program feeds it: its
// redraws per second and what they cost, for the window shown (chart and
// statistics panel), hidden, and shown while no sample comes. The history
// holds a long run already, so the X axis scrolls on every sample.
//
// In real time, one timer tick per sample: medians of three rounds per mode
// of GUI-thread CPU per second and per sample, and per redraw (the shown
// run's CPU beyond the hidden run's, over its redraws) with the viewport's
// painting. Then the redraw alone, one after another: the samples of one
// display period appended, the event loop run until the chart has painted
// them (waiting costs no CPU), without the per-sample wake-ups whose cost
// and noise on a busy machine swamp the real-time difference.
//
// Usage: bench_chart [seconds per round (default 5)] [shown | redraw: that alone, one round]
//        bench_chart shot PREFIX [REFERENCE]: the window (chart and panel) after 50 and 5,000
//        samples, saved as PREFIX50.png and PREFIX5000.png; with REFERENCE, the pixels that differ
//        from REFERENCE50.png and REFERENCE5000.png are counted (where and by how much).
// Profile: perf record -e cpu-clock --call-graph dwarf build/bench/bench_chart 10 redraw

#include "chart/chartform.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr int samplesPerSecond = 100;
constexpr int historyBefore = 20000;

double threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Counts the viewport's paint events and times each one by sending it on
// itself, so the painting alone is measured.
class PaintTimer : public QObject
{
public:
    int paints = 0;
    double paintUs = 0;
    QEventLoop *waiting = nullptr;  // quit after the next paint

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || inside)
            return false;
        inside = true;
        const double start = threadCpuUs();
        QCoreApplication::sendEvent(watched, event);
        paintUs += threadCpuUs() - start;
        ++paints;
        inside = false;
        if (waiting)
            waiting->quit();
        return true;
    }

private:
    bool inside = false;
};

struct Round
{
    double cpuUs = 0;
    double seconds = 0;
    int samples = 0;
    int paints = 0;
    double paintUs = 0;
};

// A triangle wave over the sensor's range with a little noise, so the line
// and the panel's figures really move.
quint16 distanceFor(int i)
{
    const int phase = i % 2000;
    const int ramp = phase < 1000 ? phase : 2000 - phase;
    return quint16(500 + ramp * 4 + (i * 7919) % 13);
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A chart window with a long run in its history, shown or not, its paints
// counted from here on.
struct Rig
{
    explicit Rig(bool shown)
    {
        chart.viewport()->installEventFilter(&timer);
        while (next < historyBefore)
            append();
        if (shown) {
            chart.show();
            runEventLoopFor(500);
        }
        timer.paints = 0;
        timer.paintUs = 0;
    }
    void append()
    {
        chart.appendMeasurement(distanceFor(next), quint16(3000 + next % 50));
        ++next;
    }

    ChartForm chart;
    PaintTimer timer;
    int next = 0;
};

enum class Mode { Shown, Hidden, Idle };

Round runRound(Mode mode, int seconds)
{
    Rig rig(mode != Mode::Hidden);

    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    feed.setInterval(1000 / samplesPerSecond);
    const int first = rig.next;
    QObject::connect(&feed, &QTimer::timeout, [&] { rig.append(); });
    if (mode != Mode::Idle)
        feed.start();

    Round round;
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuUs();
    runEventLoopFor(seconds * 1000);
    round.cpuUs = threadCpuUs() - cpu0;
    round.seconds = wall.nsecsElapsed() / 1e9;
    round.samples = rig.next - first;
    round.paints = rig.timer.paints;
    round.paintUs = rig.timer.paintUs;
    return round;
}

// The redraw alone, `redraws` times.
struct RedrawCost
{
    double cpuUs = 0;
    double paintUs = 0;
    int layerRenders = 0;  // of the chart's cached layer, over all redraws
};

RedrawCost measureRedraw(int redraws)
{
    Rig rig(true);
    const int layerRendersBefore = rig.chart.staticLayerRenderCount();
    QEventLoop loop;
    rig.timer.waiting = &loop;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    const double cpu0 = threadCpuUs();
    for (int r = 0; r < redraws; ++r) {
        // 3.5 samples a redraw on average: 100 samples/s at ~28 redraws/s.
        for (int k = 0; k < 3 + r % 2; ++k)
            rig.append();
        giveUp.start(2000);
        loop.exec();
    }
    const double cpu = threadCpuUs() - cpu0;
    rig.timer.waiting = nullptr;
    return {cpu / qMax(1, rig.timer.paints), rig.timer.paintUs / qMax(1, rig.timer.paints),
            rig.chart.staticLayerRenderCount() - layerRendersBefore};
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

struct Figures
{
    double redrawsPerSecond = 0;
    double cpuPerSecondUs = 0;
    double cpuPerSampleUs = 0;
    double paintPerRedrawUs = 0;
};

Figures measure(Mode mode, int seconds)
{
    QVector<double> rates, perSecond, perSample, paint;
    for (int r = 0; r < 3; ++r) {
        const Round round = runRound(mode, seconds);
        rates.append(round.paints / round.seconds);
        perSecond.append(round.cpuUs / round.seconds);
        perSample.append(round.samples > 0 ? round.cpuUs / round.samples : 0);
        paint.append(round.paints > 0 ? round.paintUs / round.paints : 0);
    }
    return {median(rates), median(perSecond), median(perSample), median(paint)};
}

// The window's pixels after `samples` samples, the same in every run: the
// panel's rate is the only figure that depends on time, and it stands at 0
// once the samples are StoppedAfterMs old.
QImage shotAfter(int samples)
{
    ChartForm chart;
    chart.resize(900, 560);
    for (int i = 0; i < samples; ++i)
        chart.appendMeasurement(distanceFor(i * 7), quint16(3000 + i % 50));
    chart.show();
    runEventLoopFor(StatsPanel::StoppedAfterMs + 300);
    return chart.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Counts the pixels of `image` unlike `reference`'s, their bounds and the
// largest difference in a colour channel.
void compareShot(const QImage &image, const QString &referenceFile)
{
    const QImage reference = QImage(referenceFile).convertToFormat(QImage::Format_ARGB32);
    if (reference.size() != image.size()) {
        std::printf("  %s: size differs\n", qPrintable(referenceFile));
        return;
    }
    int differing = 0, largest = 0;
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb a = image.pixel(x, y), b = reference.pixel(x, y);
            if (a == b)
                continue;
            ++differing;
            bounds |= QRect(x, y, 1, 1);
            largest = std::max({largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                std::abs(qBlue(a) - qBlue(b))});
        }
    }
    std::printf("  against %s: %d pixels differ (within %d,%d %dx%d), by up to %d in a channel\n",
                qPrintable(referenceFile), differing, bounds.x(), bounds.y(), bounds.width(), bounds.height(),
                largest);
}

// The window as its redraws left it on screen against the window painted
// afresh, after a second of samples streaming in real time.
void compareRedrawnWithFresh()
{
    Rig rig(true);
    QTimer feed;
    feed.setInterval(1000 / samplesPerSecond);
    QObject::connect(&feed, &QTimer::timeout, [&] { rig.append(); });
    feed.start();
    runEventLoopFor(1000);
    feed.stop();
    runEventLoopFor(300);
    const QImage fresh = rig.chart.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage onScreen = rig.chart.screen()->grabWindow(rig.chart.winId()).toImage();
    const QString file = QDir::temp().filePath(QStringLiteral("bench_chart_fresh.png"));
    fresh.save(file);
    std::printf("redrawn on screen after streaming, %d redraws:\n", rig.timer.paints);
    compareShot(onScreen.convertToFormat(QImage::Format_ARGB32), file);
}

int shot(const QString &prefix, const QString &reference)
{
    compareRedrawnWithFresh();
    bool saved = true;
    for (int samples : {50, 5000}) {
        const QImage image = shotAfter(samples);
        const QString name = QString::number(samples) + QStringLiteral(".png");
        saved = image.save(prefix + name) && saved;
        std::printf("%s%s\n", qPrintable(prefix), qPrintable(name));
        if (!reference.isEmpty())
            compareShot(image, reference + name);
    }
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "shot")
        return shot(QString::fromLocal8Bit(argv[2]), argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
    const int seconds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 5;
    if (argc > 2 && QByteArray(argv[2]) == "redraw") {
        const RedrawCost cost = measureRedraw(seconds * 30);
        std::printf("redraw: %.1f us CPU each, %.1f us painting, cached layer drawn %d times in %d redraws\n",
                    cost.cpuUs, cost.paintUs, cost.layerRenders, seconds * 30);
        return 0;
    }
    if (argc > 2 && QByteArray(argv[2]) == "shown") {
        const Round round = runRound(Mode::Shown, seconds);
        std::printf("shown: %.1f redraws/s, %.1f us CPU/s\n", round.paints / round.seconds, round.cpuUs / round.seconds);
        return 0;
    }

    std::printf("chart window at %d samples/s, %d s per round, medians of 3 rounds (GUI thread CPU)\n",
                samplesPerSecond, seconds);
    const Figures hidden = measure(Mode::Hidden, seconds);
    const Figures shown = measure(Mode::Shown, seconds);
    const Figures idle = measure(Mode::Idle, seconds);
    const auto line = [](const char *name, const Figures &f) {
        std::printf("  %-7s %6.1f redraws/s  %8.1f us CPU/s  %7.1f us CPU/sample  %6.1f us painting/redraw\n",
                    name, f.redrawsPerSecond, f.cpuPerSecondUs, f.cpuPerSampleUs, f.paintPerRedrawUs);
    };
    line("shown", shown);
    line("hidden", hidden);
    line("idle", idle);
    const double perRedraw = shown.redrawsPerSecond > 0
        ? (shown.cpuPerSecondUs - hidden.cpuPerSecondUs) / shown.redrawsPerSecond : 0;
    std::printf("chart + panel redraw: %.1f us CPU each (shown minus hidden, per redraw), %.1f us of it painting\n",
                perRedraw, shown.paintPerRedrawUs);
    QVector<double> cpu, paint;
    for (int r = 0; r < 3; ++r) {
        const RedrawCost cost = measureRedraw(200);
        cpu.append(cost.cpuUs);
        paint.append(cost.paintUs);
    }
    std::printf("chart + panel redraw, one after another: %.1f us CPU each, %.1f us of it painting\n",
                median(cpu), median(paint));
    return 0;
}
