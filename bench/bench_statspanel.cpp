// What the chart window's statistics panel costs per frame at 100 frames/s:
// ten samples per display period, then the panel's refresh and the layout and
// painting of what it changed (labels and histogram), over ten minutes of
// stream, for each window size; the same with the panel hidden (nothing is
// worked out). The chart's own redraw is left out of both, so the difference
// is the panel's.
//
// Usage: bench_statspanel [periods]

#include "chart/chartform.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <cstdio>

#include <ctime>

namespace {

double threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

constexpr int SamplesPerPeriod = 10;  // 100 frames/s, redrawn every 100 ms

double run(int windowChoice, bool panelShown, int periods)
{
    ChartForm form;
    form.resize(1200, 700);
    form.show();
    QWidget *panel = form.findChild<QWidget *>(QStringLiteral("statsPanel"));
    form.findChild<QComboBox *>(QStringLiteral("statsWindow"))->setCurrentIndex(windowChoice);
    if (!panelShown)
        panel->hide();
    quint32 noise = 1;
    const auto feed = [&](int count) {
        for (int i = 0; i < count; ++i) {
            noise = noise * 1103515245u + 12345u;
            form.appendMeasurement(quint16(2000 + (noise >> 16) % 21 - 10), quint16(3000 + (noise >> 8) % 64));
        }
    };
    feed(20000);  // a full window of every size, the history settled
    form.statsPanel().refresh();
    QCoreApplication::processEvents();
    const double cpu0 = threadCpuUs();
    for (int p = 0; p < periods; ++p) {
        feed(SamplesPerPeriod);
        form.statsPanel().refresh();
        // What the refresh changed is laid out and painted, as the event loop would.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    return (threadCpuUs() - cpu0) / double(periods * SamplesPerPeriod);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int periods = argc > 1 ? QByteArray(argv[1]).toInt() : 6000;
    const char *names[] = {"100", "1000", "10000", "all"};
    double worst = 0;
    for (int choice = 0; choice < 4; ++choice) {
        const double hidden = run(choice, false, periods);
        const double shown = run(choice, true, periods);
        worst = qMax(worst, shown - hidden);
        std::printf("window %-5s: %.2f us CPU per frame with the panel shown, %.2f hidden: panel %.2f us per frame\n",
                    names[choice], shown, hidden, shown - hidden);
    }
    std::printf("statistics panel at 100 frames/s: at most %.2f us CPU per frame (target 20)\n", worst);
    return 0;
}
