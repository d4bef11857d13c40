// Microseconds per appended sample as the history grows, for a hidden and a
// shown chart window, events processed after every append as in the program.

#include "chart/chartform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLoggingCategory>
#include <QVector>
#include <cstdio>

namespace {

constexpr int totalSamples = 1000000;
constexpr int windowLength = 1000;
const QVector<int> marks = {1000, 10000, 100000, 1000000};

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct RunFigures
{
    QVector<double> usAtMarks;
    double usOverall = 0;
    int paints = 0;
    double usPerRepaintingAppend = 0;
};

// A triangle wave over the sensor's range, so the line really moves.
quint16 distanceFor(int i)
{
    const int phase = i % 2000;
    return quint16(phase < 1000 ? 500 + phase * 10 : 500 + (2000 - phase) * 10);
}

RunFigures run(bool shown)
{
    ChartForm chart;
    PaintCounter counter;
    chart.viewport()->installEventFilter(&counter);
    if (shown) {
        chart.show();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
    }
    counter.paints = 0;

    RunFigures figures;
    QElapsedTimer overall;
    QElapsedTimer window;
    QElapsedTimer single;
    qint64 repaintingNs = 0;
    overall.start();
    int markIndex = 0;
    for (int i = 1; i <= totalSamples; ++i) {
        if (i == marks.at(markIndex) - windowLength + 1)
            window.start();
        const int paintsBefore = counter.paints;
        single.start();
        chart.appendSample(0, distanceFor(i), QStringLiteral("Distance"));
        QCoreApplication::processEvents();
        if (counter.paints != paintsBefore)
            repaintingNs += single.nsecsElapsed();
        if (i == marks.at(markIndex)) {
            figures.usAtMarks.append(window.nsecsElapsed() / 1000.0 / windowLength);
            ++markIndex;
        }
    }
    figures.usOverall = overall.nsecsElapsed() / 1000.0 / totalSamples;
    figures.paints = counter.paints;
    if (figures.paints > 0)
        figures.usPerRepaintingAppend = repaintingNs / 1000.0 / figures.paints;
    return figures;
}

void print(const char *label, const RunFigures &figures)
{
    std::printf("%s\n", label);
    for (int m = 0; m < marks.size(); ++m)
        std::printf("  around %8d samples: %8.1f us/append\n", marks.at(m), figures.usAtMarks.at(m));
    std::printf("  overall average:        %8.1f us/append\n", figures.usOverall);
    std::printf("  repaints:               %8d (%.1f us for an append that repainted)\n",
                figures.paints, figures.usPerRepaintingAppend);
    std::printf("  ratio 10^6 / 10^3:      %8.2f\n", figures.usAtMarks.last() / figures.usAtMarks.first());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Two million diagnostic lines would measure the terminal, not the chart.
    QLoggingCategory::setFilterRules(QStringLiteral("korvani.chart.debug=false"));

    std::printf("ChartForm::appendSample + processEvents, %d samples\n", totalSamples);
    print("hidden:", run(false));
    print("shown:", run(true));
    return 0;
}
