#include "measurerun.h"

#include "decode/answers.h"
#include "protocol/commands.h"
#include "records.h"
#include "moduleline.h"

#include <QEventLoop>
#include <QIODevice>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRun, "korvani.cli.run", QtWarningMsg)

namespace {
quint8 rateCommand(int hz)
{
    switch (hz) {
    case 10: return Command::Rate10Hz;
    case 20: return Command::Rate20Hz;
    case 50: return Command::Rate50Hz;
    default: return Command::Rate100Hz;
    }
}
}

MeasureRun::MeasureRun(ModuleLine &s, QIODevice &records, std::optional<TestLimits> limits)
    : line(s)
    , out(records)
    , band(limits)
    , writer(makeRecordWriter(s.options().format))
{
    pending.reserve(64 * 1024);
    const CliOptions &o = line.options();
    durationTimer.setSingleShot(true);
    durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&durationTimer, &QTimer::timeout, this, [this] { finish(End::Done); });
    watchdog.setSingleShot(true);
    watchdog.setInterval(qMax(1000, 2000 / o.rateHz) + o.timeoutMs);
    connect(&watchdog, &QTimer::timeout, this, [this] {
        finish(End::NoAnswer, stats.isEmpty() ? QStringLiteral("the module did not answer (no measurement)")
                                              : QStringLiteral("the module stopped sending measurements"));
    });
    pollTimer.setSingleShot(true);
    pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer, &QTimer::timeout, this, &MeasureRun::pollOnce);
    connect(&line.link(), &ModuleLink::framesReceived, this, &MeasureRun::framesReceived);
    connect(&line.link(), &ModuleLink::portLost, this, [this](const QString &reason) {
        finish(End::LinkFailed, QStringLiteral("the port went away (%1)").arg(reason));
    });
}

MeasureRun::~MeasureRun() = default;

quint64 MeasureRun::discarded() const
{
    const ResponseFramer &framer = line.link().framer();
    return framer.checkFailures() + framer.skippedBytes();
}

quint64 MeasureRun::failedChecks() const
{
    return (finished ? discardedAtEnd : discarded()) - discardedAtStart;
}

double MeasureRun::rateHz() const
{
    if (stats.count() < 2 || lastFrameNs <= 0)
        return 0.0;
    return double(stats.count() - 1) * 1e9 / double(lastFrameNs);
}

MeasureRun::End MeasureRun::run()
{
    const CliOptions &o = line.options();
    ModuleLink &link = line.link();
    discardedAtStart = discarded();
    writer->begin(pending);
    writeOut();

    polled = o.id.has_value();
    QEventLoop events;
    loop = &events;
    collecting = true;
    watchdog.start();
    if (polled) {
        pollTimer.start(0);
    } else {
        link.send(commandFrame(rateCommand(o.rateHz)), Expect::anyFrame());
        if (!finished) {
            const quint8 start = o.fixed ? Command::ContinuousFixed : Command::Continuous;
            if (link.send(commandFrame(start), Expect::nothing()).result == ModuleLink::SendResult::WriteFailed)
                finish(End::LinkFailed, QStringLiteral("cannot write to the port (%1)").arg(link.errorString()));
        }
    }
    if (!finished)
        events.exec();
    loop = nullptr;
    collecting = false;
    writeOut();

    // Continuous measurement is stopped however the run ended, while the port is there.
    if (!polled && link.isOpen())
        link.send(commandFrame(Command::Stop), Expect::anyFrame());
    return result;
}

void MeasureRun::interrupt()
{
    finish(End::Interrupted);
}

void MeasureRun::finish(End end, const QString &why)
{
    if (finished)
        return;
    finished = true;
    collecting = false;
    discardedAtEnd = discarded();
    result = end;
    endReason = why;
    durationTimer.stop();
    watchdog.stop();
    pollTimer.stop();
    qCDebug(lcRun) << "run ends" << int(end) << why;
    if (loop)
        loop->quit();
}

void MeasureRun::pollOnce()
{
    if (finished)
        return;
    const CliOptions &o = line.options();
    QElapsedTimer tick;
    tick.start();
    const quint8 code = o.fixed ? Command::SingleFixed : Command::Single;
    const ModuleLink::SendResult r = line.link().send(line.frame(code), Expect::anyFrame()).result;
    if (r == ModuleLink::SendResult::WriteFailed)
        finish(End::LinkFailed, QStringLiteral("cannot write to the port (%1)").arg(line.link().errorString()));
    if (!finished)
        pollTimer.start(int(qMax<qint64>(0, 1000 / o.rateHz - tick.elapsed())));
}

void MeasureRun::framesReceived(const QVector<QByteArray> &frames)
{
    if (!collecting)
        return;
    const CliOptions &o = line.options();
    // One time stamp per read: its frames arrived together. The link's read
    // time is the recorded one when a capture is replayed.
    const qint64 readUs = line.link().readTimeUs();
    writer->setTime(readUs / 1000);
    for (const QByteArray &frame : frames) {
        if (!isMeasurementCode(quint8(frame.at(1))))
            continue;
        const Answer a = decodeAnswer(frame);
        if (!a.measurement)
            continue;
        if (stats.isEmpty()) {
            firstReadUs = readUs;
            if (o.durationMs && o.replay.isEmpty())
                durationTimer.start(int(*o.durationMs));
        } else if (o.durationMs && (readUs - firstReadUs) / 1000 >= *o.durationMs) {
            finish(End::Done);
            break;
        }
        const Measurement &m = *a.measurement;
        writer->record(pending, m);
        stats.add(m.distance);
        amplitudes += m.amplitude;
        if (band && isOutside(m.distance, *band))
            ++outsideCount;
        lastFrameNs = (readUs - firstReadUs) * 1000;
        if (o.count && stats.count() >= *o.count) {
            finish(End::Done);
            break;
        }
    }
    writeOut();
    if (collecting)
        watchdog.start();
}

void MeasureRun::writeOut()
{
    if (pending.isEmpty())
        return;
    out.write(pending);
    pending.resize(0);  // keeps the reserved buffer
}
