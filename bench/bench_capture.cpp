// Capturing the line while it runs, through a real serial port on a
// pseudo-terminal:
//   rate       100 frames/s from korvani-sim (a process of its own), 20 s
//              without and 20 s with the capture: CPU per frame of the reading
//              side, and every frame in the file
//   line       frames as fast as the pseudo-terminal carries them (more than a
//              921,600-baud line's 8,378 frames/s): frames per second through
//              the link with the capture on, and none lost from the file
//
// Usage: bench_capture [rate|line] [seconds or frames]

#include "protocol/capturefile.h"
#include "protocol/commands.h"
#include "serial/modulelink.h"
#include "sim/simulatedmodule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include <sys/resource.h>

namespace {

constexpr int FrameBytes = 11;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The bytes the capture holds as read.
qint64 capturedRx(const QString &path)
{
    CaptureReader reader;
    if (!reader.open(path))
        return -1;
    qint64 bytes = 0;
    CaptureEvent e;
    while (reader.next(e) == CaptureReader::Result::Event) {
        if (e.direction == CaptureDirection::Rx)
            bytes += e.bytes.size();
    }
    return bytes;
}

int rate(int seconds)
{
    QProcess sim;
    sim.start(QStringLiteral(KORVANI_SIM), {"--stream", "--rate", "100"});
    if (!sim.waitForReadyRead(10000))
        return 1;
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rate.txt"));
    ModuleLink link;
    if (!link.open(port, 115200))
        return 1;
    quint64 frames = 0;
    QObject::connect(&link, &ModuleLink::framesReceived, [&frames](const QVector<QByteArray> &f) { frames += quint64(f.size()); });
    runFor(3000);
    double perFrame[2] = {0, 0};
    quint64 capturedFrames = 0;
    for (int capturing = 0; capturing < 2; ++capturing) {
        if (capturing && !link.capture().start(path, port, 115200))
            return 1;
        const quint64 frames0 = frames;
        const double cpu0 = cpuSeconds();
        runFor(seconds * 1000);
        perFrame[capturing] = (cpuSeconds() - cpu0) * 1e6 / double(qMax<quint64>(frames - frames0, 1));
        if (capturing) {
            link.capture().stop();
            capturedFrames = frames - frames0;
        }
    }
    sim.terminate();
    sim.waitForFinished(5000);
    const qint64 rx = capturedRx(path);
    // The capture may hold a frame or two read around its start and stop.
    const bool complete = rx >= qint64(capturedFrames) * FrameBytes && rx <= qint64(capturedFrames + 2) * FrameBytes;
    std::printf("rate, 100 frames/s for %d s: %.1f us CPU per frame without the capture, %.1f with it "
                "(%+.1f); %llu frames read, %lld bytes captured: %s\n",
                seconds, perFrame[0], perFrame[1], perFrame[1] - perFrame[0],
                (unsigned long long)capturedFrames, (long long)rx, complete ? "no frame lost" : "FRAMES LOST");
    return complete ? 0 : 1;
}

int line(int count)
{
    SimulatedModule sim;
    if (!sim.open())
        return 1;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.txt"));
    ModuleLink link;
    if (!link.open(sim.portName(), 921600) || !link.capture().start(path, sim.portName(), 921600))
        return 1;
    quint64 frames = 0;
    QObject::connect(&link, &ModuleLink::framesReceived, [&frames](const QVector<QByteArray> &f) { frames += quint64(f.size()); });
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    sim.streamFrames(count);
    while (frames < quint64(count) && wall.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpu0;
    link.capture().stop();
    const qint64 rx = capturedRx(path);
    const bool complete = frames == quint64(count) && rx == qint64(count) * FrameBytes;
    std::printf("line, %d frames as fast as the line carries them: %.0f frames/s (a 921,600-baud line "
                "carries 8,378), %.1f us CPU per frame (module included), %lld bytes captured: %s\n",
                count, count / seconds, cpu * 1e6 / count, (long long)rx, complete ? "no frame lost" : "FRAMES LOST");
    return complete ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QByteArray what = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const int size = argc > 2 ? QByteArray(argv[2]).toInt() : 0;
    int failed = 0;
    if (what.isEmpty() || what == "rate")
        failed |= rate(size > 0 ? size : 20);
    if (what.isEmpty() || what == "line")
        failed |= line(size > 0 ? size : 200000);
    return failed;
}
