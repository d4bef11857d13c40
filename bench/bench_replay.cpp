// Replaying a one-hour capture offline: 360,000 measurement frames recorded
// at 100 frames/s, one read per line, through
//   korvani-cli --replay FILE measure --duration 3600 --stats
// as fast as it goes (the whole framer, decoder, records and summary path),
// records to /dev/null. Prints the capture's size and the wall and CPU time
// of each of three runs and their median.
//
// Usage: bench_replay [frames]

#include "protocol/capturefile.h"
#include "sim/responseframes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace {

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? QByteArray(argv[1]).toInt() : 360000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray out = CaptureFormat::header(QDateTime::currentDateTime(), QStringLiteral("/dev/ttyUSB0"), 115200);
        CaptureFormat::appendEvent(out, 0, CaptureDirection::Tx, QByteArray::fromHex("56050059"));
        quint32 noise = 1;
        for (int i = 0; i < frames; ++i) {
            noise = noise * 1103515245u + 12345u;
            const SensorReading reading{quint16(1500 + (noise >> 16) % 11 - 5), quint16(3000 + (noise >> 8) % 64), 31, 100, 1};
            CaptureFormat::appendEvent(out, 10000 + qint64(i) * 10000, CaptureDirection::Rx, measurementFrame(reading));
            if (out.size() > (1 << 20)) {
                file.write(out);
                out.clear();
            }
        }
        file.write(out);
        std::printf("capture: %d frames over %.0f s, %.1f MB\n", frames, frames / 100.0, file.size() / 1e6);
    }

    const QStringList args = {"--replay", path, "measure", "--duration", QString::number(frames / 100 + 1), "--stats"};
    QVector<double> walls;
    for (int run = 0; run < 3; ++run) {
        QProcess cli;
        cli.setStandardOutputFile(QProcess::nullDevice());
        const double cpu0 = childCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        cli.start(QStringLiteral(KORVANI_CLI), args);
        if (!cli.waitForFinished(600000) || cli.exitCode() != 0) {
            std::printf("korvani-cli failed: %s\n", cli.readAllStandardError().constData());
            return 1;
        }
        walls << wall.elapsed() / 1000.0;
        std::printf("run %d: %.2f s wall, %.2f s CPU, %.1f us per frame\n", run + 1, walls.last(),
                    childCpuSeconds() - cpu0, walls.last() * 1e6 / frames);
    }
    std::sort(walls.begin(), walls.end());
    std::printf("replay of %d frames through korvani-cli --replay ... measure --stats: median %.2f s "
                "(target 5 s for 360,000)\n", frames, walls[1]);
    return 0;
}
