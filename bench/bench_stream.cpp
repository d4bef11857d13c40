// A long run as on a bench: the simulated module streams measurement frames
// into the running program, faster than real time, with every option on
// (text log with time stamps, trigger test, chart shown). Prints frames sent
// and decoded, CPU time per frame early and late in the run, and the memory
// each retained log line costs.

#include "chart/chartform.h"
#include "linkfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTest>
#include <cstdio>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

static double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

static double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int total = argc > 1 ? QByteArray(argv[1]).toInt() : 360000;
    const int phase = total / 10;

    LinkFixture link;
    if (!link.openPort()) {
        std::fprintf(stderr, "cannot open the simulated module's port\n");
        return 1;
    }
    link.window->show();
    link.chart->show();
    link.click("timeLogcheckBox");
    link.click("logOption");
    link.click("chartcheckBox");
    auto *decoded = link.widget<QLabel>("totalValue");
    const auto decodedCount = [&] { return decoded->text().toLongLong(); };

    const double rssStart = residentMiB();
    QVector<double> cpuAt;
    QVector<qint64> wallAt;
    QElapsedTimer wall;
    wall.start();
    cpuAt.append(cpuSeconds());
    wallAt.append(0);

    link.sim.streamFrames(total);
    qint64 nextMark = phase;
    while (decodedCount() < total) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (decodedCount() >= nextMark) {
            cpuAt.append(cpuSeconds());
            wallAt.append(wall.elapsed());
            nextMark += phase;
        }
        if (wall.elapsed() > 30 * 60 * 1000)
            break;
    }
    QTest::qWait(200);

    const int textLines = link.widget<QTextBrowser>("outputBrowser")->document()->blockCount();
    const int hexLines = link.widget<QTextBrowser>("HEXBrowser")->document()->blockCount();
    const double rssEnd = residentMiB();

    std::printf("frames sent        %llu\n", static_cast<unsigned long long>(link.sim.framesWritten()));
    std::printf("frames decoded     %lld\n", decodedCount());
    std::printf("frames charted     %d\n", link.chart->sampleCount(0));
    std::printf("wall time          %.1f s\n", wall.elapsed() / 1000.0);
    for (int i = 1; i < cpuAt.size(); ++i) {
        std::printf("frames %7d-%7d: %6.1f us CPU per frame\n", (i - 1) * phase, i * phase,
                    (cpuAt[i] - cpuAt[i - 1]) * 1e6 / phase);
    }
    if (cpuAt.size() > 2) {
        const double first = (cpuAt[1] - cpuAt[0]) * 1e6 / phase;
        const double last = (cpuAt.last() - cpuAt[cpuAt.size() - 2]) * 1e6 / phase;
        std::printf("CPU per frame, end / start: %.2f\n", last / first);
    }

    // What each retained line costs: clear one view at a time and see what is given back.
    std::printf("resident memory    %.1f MiB at start, %.1f MiB at end\n", rssStart, rssEnd);
    link.click("pushClearHEX");
    malloc_trim(0);
    const double rssNoHex = residentMiB();
    link.click("pButtonClean");
    malloc_trim(0);
    const double rssNoText = residentMiB();
    std::printf("HEX log            %d lines, %.0f bytes resident per line\n", hexLines,
                (rssEnd - rssNoHex) * 1024 * 1024 / qMax(1, hexLines));
    std::printf("text log           %d lines, %.0f bytes resident per line\n", textLines,
                (rssNoHex - rssNoText) * 1024 * 1024 / qMax(1, textLines));
    const bool lost = decodedCount() != total || link.sim.framesWritten() != quint64(total);
    std::printf("%s\n", lost ? "FRAMES LOST" : "no frame lost");
    return lost ? 1 : 0;
}
