// korvani-cli at the line's full rate: one million measurement frames into
// `measure --stats --format csv --output FILE`, the module streaming as fast
// as the line takes them. Two set-ups:
//   --sim   the exact command, simulated module inside the CLI process (its
//           CPU is counted with the CLI's);
//   --port  the simulated module in this process, so the CLI's CPU is its own;
//           the distances count 0, 1, 2 ... so a lost or reordered frame shows.
//   paced   as --port, but the module writes 8 or 9 frames every millisecond,
//           8,378 frames/s, what 921600 baud carries: reads as small as a
//           real adapter delivers them.
// Prints rows written, lost frames, CPU per frame (the child's rusage from
// wait4) and resident memory early and late in the run (from /proc).
// Usage: bench_cli [frames]

#include "sim/simulatedmodule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long residentKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

struct Result {
    int status = -1;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    long rssEarly = -1, rssLate = -1, rssMax = 0;
};

// Runs the CLI, sampling its memory by the size of the file it writes.
Result runCli(const QStringList &args, const QString &file, qint64 expectedBytes)
{
    QVector<QByteArray> raw;
    raw << QByteArray(KORVANI_CLI);
    for (const QString &a : args)
        raw << a.toLocal8Bit();
    QVector<char *> argv;
    for (QByteArray &a : raw)
        argv << a.data();
    argv << nullptr;

    QFile::remove(file);  // its size tells how far the run is
    Result r;
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = fork();
    if (pid == 0) {
        ::setenv("KORVANI_SIM_LINE_RATE", "1", 1);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    rusage usage{};
    int status = 0;
    for (;;) {
        // The module of the --port set-up runs on this event loop.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        const qint64 size = QFileInfo(file).size();
        const long rss = residentKiB(pid);
        r.rssMax = std::max(r.rssMax, rss);
        if (r.rssEarly < 0 && size > expectedBytes / 10)
            r.rssEarly = rss;
        if (size < expectedBytes * 95 / 100)
            r.rssLate = rss;
        if (wall.elapsed() > 20 * 60 * 1000)
            ::kill(pid, SIGKILL);
    }
    r.wallSeconds = wall.elapsed() / 1000.0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
                 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return r;
}

struct Rows {
    qint64 count = 0;
    qint64 outOfSequence = 0;
};

Rows countRows(const QString &file, bool counting)
{
    Rows rows;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    f.readLine();  // the header
    quint16 next = 0;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (counting) {
            const quint16 distance = quint16(line.split(',').value(2).toUInt());
            if (distance != next)
                ++rows.outOfSequence;
            next = quint16(distance + 1);
        }
        ++rows.count;
    }
    return rows;
}

void report(const char *title, const Result &r, const Rows &rows, qint64 frames, qint64 sent)
{
    std::printf("%s\n", title);
    std::printf("  exit status          %d\n", r.status);
    std::printf("  rows written         %lld of %lld%s\n", static_cast<long long>(rows.count),
                static_cast<long long>(frames), rows.count == frames ? "  (no frame lost)" : "  FRAMES LOST");
    if (sent >= 0)
        std::printf("  frames sent          %lld, out of sequence %lld\n", static_cast<long long>(sent),
                    static_cast<long long>(rows.outOfSequence));
    std::printf("  wall time            %.1f s (%.0f frames/s)\n", r.wallSeconds, frames / r.wallSeconds);
    std::printf("  CPU                  %.2f s, %.2f us per frame\n", r.cpuSeconds, r.cpuSeconds * 1e6 / frames);
    std::printf("  resident memory      %ld KiB at 10 %%, %ld KiB at 95 %%, growth %ld KiB (max %ld KiB)\n",
                r.rssEarly, r.rssLate, r.rssLate - r.rssEarly, r.rssMax);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 frames = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const qint64 rowBytes = 46;  // an 0x81 CSV row, roughly
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.csv"));
    const QStringList tail = {"measure", "--count", QString::number(frames), "--rate", "100", "--stats",
                              "--format", "csv", "--output", file};
    bool ok = true;

    {
        const Result r = runCli(QStringList{"--sim", "--baud", "921600"} + tail, file, frames * rowBytes);
        const Rows rows = countRows(file, false);
        report("korvani-cli --sim --baud 921600 measure ... (module inside the CLI process)", r, rows, frames, -1);
        ok = ok && r.status == 0 && rows.count == frames;
    }
    {
        SimulatedModule sim;
        sim.setLineRateStreaming(true);
        sim.setCountingDistance(true);
        if (!sim.open()) {
            std::fprintf(stderr, "cannot open the simulated module\n");
            return 1;
        }
        const Result r = runCli(QStringList{"--port", sim.portName(), "--baud", "921600"} + tail, file,
                                frames * rowBytes);
        const Rows rows = countRows(file, true);
        report("korvani-cli --port PTY --baud 921600 measure ... (module in the benchmark process)", r, rows,
               frames, qint64(sim.framesWritten()));
        ok = ok && r.status == 0 && rows.count == frames && rows.outOfSequence == 0;
    }
    {
        // Silent: the module takes the commands but only the frames pushed here go out.
        SimulatedModule sim;
        sim.setCountingDistance(true);
        sim.setSilent(true);
        if (!sim.open())
            return 1;
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        QElapsedTimer since;
        qint64 pushed = 0;
        QObject::connect(&pace, &QTimer::timeout, [&] {
            const qint64 due = since.nsecsElapsed() * 8378 / 1000000000;
            sim.streamFrames(int(due - pushed));
            pushed = due;
        });
        QObject::connect(&sim, &SimulatedModule::commandReceived, [&](const QByteArray &f) {
            if (quint8(f.at(1)) == 0x50) {
                since.start();
                pace.start(1);
            } else if (quint8(f.at(1)) == 0x06) {
                pace.stop();
            }
        });
        const Result r = runCli(QStringList{"--port", sim.portName(), "--baud", "921600"} + tail, file,
                                frames * rowBytes);
        const Rows rows = countRows(file, true);
        report("korvani-cli --port PTY --baud 921600 measure ... (8,378 frames/s, 1 ms apart)", r, rows,
               frames, qint64(sim.framesWritten()));
        ok = ok && r.status == 0 && rows.count == frames && rows.outOfSequence == 0;
    }
    return ok ? 0 : 1;
}
