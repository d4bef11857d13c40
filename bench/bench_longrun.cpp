// Hours on the bench: the real window against the simulated module with every
// view and option on (time stamps, text log, trigger test firing on every
// frame, chart fed), measuring what a shift at 100 frames/s costs.
//
//   realtime   100 frames/s, one frame per read, 60 s: CPU per frame of a bare
//              port reading the stream (what waking for each frame costs here),
//              then of the window with the chart window hidden, then shown
//              with its statistics panel hidden, then shown with the panel;
//              three rounds and their medians; the module runs as a process of
//              its own (korvani-sim), so only the reader's CPU is counted; beside
//              each, the redraws per second of the readouts, both logs and the
//              chart (paint events of each)
//              (realtime SECONDS hidden: the bare port and the window with
//              the chart hidden only, for comparing builds quickly)
//   fast       frames one per read as fast as the window takes them, 10^6:
//              CPU per frame and memory retained per frame
//   shift      2.88 x 10^6 frames (8 hours at 100 frames/s) at the rate a
//              921600-baud line carries them (8,378 frames/s): frames lost, RSS
//              growth, CPU per frame first and last tenth; then saving the text
//              log (time, every line checked) and clearing it
//
//   shot       the window after 300 frames of fixed values (no time stamps),
//              its tabs in turn, saved as PNG files named after the given
//              prefix: to compare how the window looks before and after a change
//
// Usage: bench_longrun [realtime|fast|shift] [frames or seconds] [hidden]; no argument
// runs all three with their full sizes. bench_longrun shot PREFIX.

#include "chart/chartform.h"
#include "linkfixture.h"
#include "decode/measurement.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "sim/pseudoterminal.h"

#include <QApplication>
#include <QHash>
#include <QComboBox>
#include <QProcess>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The stream is measurement frames only.
const int FrameBytes = expectedFrameLength(Response::Measurement, 0);

// CPU seconds of this process: user and system time.
struct Cpu {
    double user = 0, system = 0;
    static Cpu now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
                usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
    }
    double total() const { return user + system; }
    Cpu operator-(const Cpu &o) const { return {user - o.user, system - o.system}; }
};

double cpuSeconds() { return Cpu::now().total(); }

double residentBytes()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toDouble() * double(sysconf(_SC_PAGESIZE));
}

// Paint events of each watched widget.
class PaintCounter : public QObject
{
public:
    QHash<QObject *, quint64> paints;
    void watch(QWidget *widget)
    {
        paints.insert(widget, 0);
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};

// A window with every view and option on, its port open on the simulated module.
struct Bench {
    LinkFixture link;
    quint64 reads = 0;
    QString savedPath;

    // The port of the in-process module, or of a module running elsewhere.
    bool start(bool chartShown, const QString &port = QString())
    {
        if (port.isEmpty()) {
            if (!link.openPort())
                return false;
        } else {
            link.widget<QComboBox>("serialBox")->insertItem(0, port);
            link.widget<QComboBox>("serialBox")->setCurrentIndex(0);
            link.click("pButtonOpen");
            if (link.text("serialMsg") != QStringLiteral("成功"))
                return false;
        }
        link.click("timeLogcheckBox");
        link.click("logOption");
        link.click("chartcheckBox");
        // Reference 0, band 0: every measurement writes a trigger-test line.
        link.widget<QLineEdit>("setValue")->setText(QStringLiteral("0"));
        link.widget<QLineEdit>("thresholdValue")->setText(QStringLiteral("0"));
        if (chartShown)
            link.chart->show();
        QObject::connect(&link.window->serialPort(), &QSerialPort::readyRead,
                         [this] { ++reads; });
        link.window->askSaveFileName = [this](QWidget *, const QString &, const QString &,
                                              const QString &) { return savedPath; };
        return true;
    }
    quint64 counted() const { return link.text("totalValue").toULongLong(); }
};

// Runs the event loop for ms milliseconds, sleeping while there is nothing
// to do (QTest::qWait polls, which would count against the window).
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Distances 1, 2, ... 65535, 1, ...: never 0, so every frame leaves the band.
quint16 distanceOf(quint64 n)
{
    return quint16(n % 65535 + 1);
}

// The simulated module as a process of its own, streaming 100 frames/s from
// the moment its line opens.
struct StreamingModule {
    QProcess process;
    QString port;
    bool start()
    {
        process.start(QStringLiteral(KORVANI_SIM), {"--stream", "--rate", "100", "--distance", "2000"});
        if (!process.waitForReadyRead(10000))
            return false;
        port = QString::fromLocal8Bit(process.readLine()).trimmed();
        return !port.isEmpty();
    }
    ~StreamingModule()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

// CPU per frame of one run, printed.
double printRealtime(const char *what, quint64 frames, int seconds, const Cpu &cpu, quint64 reads)
{
    const double n = double(qMax<quint64>(frames, 1));
    std::printf("realtime, %s: %llu frames in %d s, %.0f us CPU per frame "
                "(user %.0f, system %.0f), %llu reads\n",
                what, (unsigned long long)frames, seconds, cpu.total() * 1e6 / n,
                cpu.user * 1e6 / n, cpu.system * 1e6 / n, (unsigned long long)reads);
    return cpu.total() * 1e6 / n;
}

// What this machine charges for the line alone: a bare port that only reads
// the same stream. Waking for every frame costs system time that no program
// on this machine avoids; the rest of the window's figure is its own work.
double bareLine(int seconds)
{
    StreamingModule module;
    if (!module.start())
        return -1;
    QSerialPort port(module.port);
    if (!port.open(QIODevice::ReadWrite))
        return -1;
    quint64 bytes = 0, reads = 0;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        bytes += quint64(port.readAll().size());
        ++reads;
    });
    runFor(5000);
    const quint64 bytes0 = bytes, reads0 = reads;
    const Cpu cpu0 = Cpu::now();
    runFor(seconds * 1000);
    return printRealtime("bare port   ", (bytes - bytes0) / FrameBytes, seconds, Cpu::now() - cpu0, reads - reads0);
}

double window(int seconds, bool chartShown, bool panelShown = true)
{
    StreamingModule module;
    Bench b;
    if (!module.start() || !b.start(chartShown, module.port))
        return -1;
    if (!panelShown)
        b.link.chart->findChild<QWidget *>(QStringLiteral("statsPanel"))->hide();
    // A readout repaints only when its value changes (the distance's noise).
    QWidget *views[] = {b.link.widget<QWidget>("label_DIST"),
                        b.link.widget<QAbstractScrollArea>("outputBrowser")->viewport(),
                        b.link.widget<QAbstractScrollArea>("HEXBrowser")->viewport(), b.link.chart->viewport()};
    PaintCounter counter;
    // The fixture's message-box closer filters every event of the program;
    // no box opens here, and the figures are the window's own.
    qApp->removeEventFilter(&b.link.closer);
    runFor(5000);  // warm-up
    for (QWidget *view : views)
        counter.watch(view);
    const quint64 counted0 = b.counted(), reads0 = b.reads;
    const Cpu cpu0 = Cpu::now();
    runFor(seconds * 1000);
    const double perFrame = printRealtime(!chartShown ? "chart hidden" : panelShown ? "chart shown " : "chart, no panel",
                                          b.counted() - counted0, seconds, Cpu::now() - cpu0, b.reads - reads0);
    const auto rate = [&](QWidget *view) { return double(counter.paints.value(view)) / seconds; };
    std::printf("  redraws per second: readouts %.1f, text log %.1f, HEX log %.1f, chart %.1f\n", rate(views[0]),
                rate(views[1]), rate(views[2]), rate(views[3]));
    return perFrame;
}

// This machine is a virtual one: time its host takes from it now and then
// counts as the program's CPU time, up to a fifth more in one run. Three
// rounds, each figure's median printed last.
int realtime(int seconds, bool chartPhases)
{
    constexpr int rounds = 3;
    QVector<double> bare, hidden, chartAlone, shown;
    for (int round = 0; round < rounds; ++round) {
        bare << bareLine(seconds);
        hidden << window(seconds, false);
        chartAlone << (chartPhases ? window(seconds, true, false) : 0);
        shown << (chartPhases ? window(seconds, true) : 0);
    }
    for (QVector<double> *figures : {&bare, &hidden, &chartAlone, &shown}) {
        std::sort(figures->begin(), figures->end());
        if (figures->first() < 0)
            return 1;
    }
    std::printf("realtime, median of %d rounds of %d s: bare port %.0f us, chart hidden %.0f us",
                rounds, seconds, bare[rounds / 2], hidden[rounds / 2]);
    if (chartPhases)
        std::printf(", chart shown without its statistics panel %.0f us, with it %.0f us", chartAlone[rounds / 2],
                    shown[rounds / 2]);
    std::printf(" CPU per frame\n");
    return 0;
}

int fast(quint64 total)
{
    // The line's far end written directly, one whole frame at a time, so the
    // CPU counted is the window's (and one write call per frame).
    PseudoTerminal line;
    if (!line.open())
        return 1;
    Bench b;
    if (!b.start(true, line.devicePath()))
        return 1;
    quint64 n = 0;
    const auto feed = [&](quint64 count) {
        for (quint64 end = n + count; n < end; ++n) {
            const quint64 before = b.reads;
            const QByteArray frame = measurementFrame(distanceOf(n));
            if (::write(line.masterFd(), frame.constData(), size_t(frame.size())) != frame.size())
                return false;
            while (b.reads == before)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    };
    // Warm-up: views filled to their bound, allocator settled.
    if (!feed(20000))
        return 1;
    const double rss0 = residentBytes();
    const double cpu0 = cpuSeconds();
    if (!feed(total))
        return 1;
    const double cpu = cpuSeconds() - cpu0;
    runFor(300);
    const double rss = residentBytes();
    std::printf("fast, one frame per read: %llu frames, %.1f us CPU per frame, "
                "%.1f bytes retained per frame, %llu reads, %s\n",
                (unsigned long long)total, cpu * 1e6 / double(total),
                (rss - rss0) / double(total), (unsigned long long)b.reads,
                b.counted() == n ? "no frame lost" : "FRAMES LOST");
    return b.counted() == n ? 0 : 1;
}

int shift(quint64 total)
{
    Bench b;
    if (!b.start(true))
        return 1;
    // 921600 baud, 10 bits a byte.
    const double framesPerMs = 921600.0 / 10 / FrameBytes / 1000;
    const quint64 tenth = total / 10;
    const double rss0 = residentBytes();
    QVector<double> cpuAt{cpuSeconds()};
    QElapsedTimer wall;
    wall.start();
    quint64 sent = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        const quint64 due = qMin(total, quint64(double(wall.elapsed()) * framesPerMs));
        QByteArray bytes;
        for (; sent < due; ++sent)
            bytes += measurementFrame(quint16(sent % 65536));
        if (!bytes.isEmpty())
            b.link.sim.writeRaw(bytes);
    });
    pace.start(1);
    quint64 next = tenth;
    while (b.counted() < total && wall.elapsed() < 60 * 60 * 1000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (b.counted() >= next) {
            cpuAt.append(cpuSeconds());
            next += tenth;
        }
    }
    pace.stop();
    runFor(300);
    const double rss = residentBytes();
    const bool lost = b.counted() != total;
    std::printf("shift: %llu frames sent, %llu counted in %.0f s, %s\n",
                (unsigned long long)sent, (unsigned long long)b.counted(),
                wall.elapsed() / 1000.0, lost ? "FRAMES LOST" : "no frame lost");
    std::printf("shift: RSS growth %.0f MB (%.1f bytes per frame)\n", (rss - rss0) / 1e6,
                (rss - rss0) / double(total));
    if (cpuAt.size() >= 11) {
        const double first = (cpuAt[1] - cpuAt[0]) * 1e6 / double(tenth);
        const double last = (cpuAt[10] - cpuAt[9]) * 1e6 / double(tenth);
        std::printf("shift: CPU per frame first tenth %.1f us, last tenth %.1f us, "
                    "last/first %.2f\n", first, last, last / first);
    }
    std::fflush(stdout);

    QTemporaryDir dir;
    b.savedPath = dir.filePath(QStringLiteral("shift.csv"));
    QElapsedTimer clock;
    clock.start();
    b.link.click("saveLog");
    const qint64 saveMs = clock.elapsed();
    QFile file(b.savedPath);
    quint64 lines = 0, wrong = 0;
    if (file.open(QIODevice::ReadOnly)) {
        // Every line: a time stamp "hh:mm:ss.zzz,", then the line of frame n.
        while (!file.atEnd()) {
            QByteArray line = file.readLine();
            if (line.endsWith('\n'))
                line.chop(1);
            const QString expected =
                measurementLine(*decodeMeasurement(measurementFrame(quint16(lines % 65536))));
            if (line.size() < 13 || line[2] != ':' || line[8] != '.' || line[12] != ','
                || line.mid(13) != expected.toLatin1())
                ++wrong;
            ++lines;
        }
    }
    std::printf("shift: save %lld ms, %.0f MB, %llu lines, %llu out of order or missing\n",
                saveMs, file.size() / 1e6, (unsigned long long)lines,
                (unsigned long long)(wrong + (lines > total ? lines - total : total - lines)));
    clock.restart();
    b.link.click("pButtonClean");
    std::printf("shift: clear %lld ms\n", clock.elapsed());
    std::fflush(stdout);
    return lost ? 1 : 0;
}

int shot(const QString &prefix)
{
    Bench b;
    if (!b.start(false))
        return 1;
    b.link.click("timeLogcheckBox");  // off: every shot the same
    b.link.sim.setFixedReading(SensorReading{1234, 3243, 47, 103, 1});
    b.link.sim.streamFrames(300);
    for (int waited = 0; b.counted() < 300 && waited < 30000; waited += 50)
        runFor(50);
    auto *tabs = b.link.widget<QTabWidget>("tabWidget");
    bool saved = true;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        runFor(300);
        saved = b.link.window->grab().save(prefix + QString::number(i) + QStringLiteral(".png")) && saved;
    }
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures show as they come
    const QByteArray what = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const qint64 size = argc > 2 ? QByteArray(argv[2]).toLongLong() : 0;
    int failed = 0;
    if (what == "shot")
        return shot(QString::fromLocal8Bit(argv[argc - 1]));
    if (what.isEmpty() || what == "realtime")
        failed |= realtime(size > 0 ? int(size) : 60, argc <= 3 || QByteArray(argv[3]) != "hidden");
    if (what.isEmpty() || what == "fast")
        failed |= fast(size > 0 ? quint64(size) : 1000000);
    if (what.isEmpty() || what == "shift")
        failed |= shift(size > 0 ? quint64(size) : 2880000);
    return failed;
}
