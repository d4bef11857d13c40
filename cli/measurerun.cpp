#include "measurerun.h"

#include "decode/answers.h"
#include "protocol/commands.h"
#include "records.h"
#include "moduleline.h"
#include "output.h"

#include <QEventLoop>
#include <QIODevice>
#include <QLoggingCategory>

#include <csignal>

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

MeasureRun::MeasureRun(ModuleLine &s, const RunOptions &options, OutputFormat format, Output &records,
                       std::optional<TestLimits> limits)
    : line(s)
    , opts(options)
    , out(records)
    , band(limits)
    , writer(makeRecordWriter(format))
    , schedule(options.rateHz)
{
    pending.reserve(64 * 1024);
    durationTimer.setSingleShot(true);
    durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&durationTimer, &QTimer::timeout, this, &MeasureRun::armDeadline);
    watchdog.setSingleShot(true);
    watchdog.setInterval(qMax(1000, 2000 / opts.rateHz) + line.options().timeoutMs);
    connect(&watchdog, &QTimer::timeout, this, [this] {
        finish(End::NoAnswer, stats.isEmpty() ? QStringLiteral("the module did not answer (no measurement)")
                                              : QStringLiteral("the module stopped sending measurements"));
    });
    pollTimer.setSingleShot(true);
    pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer, &QTimer::timeout, this, &MeasureRun::pollOnce);
    connect(&line.link(), &ModuleLink::framesReceived, this, &MeasureRun::framesReceived);
    connect(&line.link(), &ModuleLink::portLost, this, &MeasureRun::portLost);
    connect(&line, &ModuleLine::portBack, this, &MeasureRun::portBack);
    connect(&line, &ModuleLine::portGone, this, [this] { finish(End::LinkFailed, line.failureReason()); });
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

void MeasureRun::setPoint(qint64 referenceMilli, bool first)
{
    writer->setWithReference(true);
    writer->setReference(referenceMilli);
    writesHeader = first;
}

MeasureRun::End MeasureRun::run()
{
    const RunOptions &o = opts;
    ModuleLink &link = line.link();
    discardedAtStart = discarded();
    if (writesHeader)
        writer->begin(pending);

    polled = line.options().id.has_value();
    QEventLoop events;
    loop = &events;
    if (polled && settleMs > 0) {
        // Polls are timed from the start: they begin once the target has
        // settled, so every poll the run sends is counted.
        QTimer::singleShot(settleMs, &events, &QEventLoop::quit);
        events.exec();
        settleMs = 0;
    }
    collecting = true;
    watchdog.start();
    sinceStart.start();
    if (polled) {
        // The polls a duration can carry; with a count alone, polls go on until it is reached.
        if (o.durationMs)
            pollLimit = expectedFrames(o, line.options());
        pollTimer.start(0);
    } else {
        startStreaming();
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

void MeasureRun::startStreaming()
{
    ModuleLink &link = line.link();
    link.send(commandFrame(rateCommand(opts.rateHz)), Expect::anyFrame());
    if (finished || !link.isOpen())
        return;
    const quint8 start = opts.fixed ? Command::ContinuousFixed : Command::Continuous;
    if (link.send(commandFrame(start), Expect::nothing()).result == ModuleLink::SendResult::WriteFailed)
        finish(End::LinkFailed, QStringLiteral("cannot write to the port (%1)").arg(link.errorString()));
}

void MeasureRun::portLost(const QString &reason)
{
    if (!line.awaitsPort()) {
        finish(End::LinkFailed, QStringLiteral("the port went away (%1)").arg(reason));
        return;
    }
    // Nothing is expected of the module until its port is back.
    gapClock.start();
    watchdog.stop();
    pollTimer.stop();
    writeOut();
}

void MeasureRun::portBack()
{
    if (finished)
        return;
    // The rate is over the time the port was there.
    if (!stats.isEmpty())
        gapsNs += gapClock.nsecsElapsed();
    watchdog.start();
    if (!polled) {
        startStreaming();
        return;
    }
    if (opts.durationMs)
        pollLimit = expectedFrames(opts, line.options(), measurementBytes, line.absentMs());
    pollTimer.start(0);
}

qint64 MeasureRun::presentNs() const
{
    return sinceStart.nsecsElapsed() - line.absentMs() * 1000000;
}

void MeasureRun::interrupt(int signal)
{
    if (!finished)
        signalNumber = signal;
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

// The duration's end, `durationNs` from now; a QTimer holds an int of
// milliseconds, so a long duration is waited for in steps.
void MeasureRun::startDeadline(qint64 durationNs)
{
    deadlineClock.start();
    deadlineNs = durationNs;
    armDeadline();
}

void MeasureRun::armDeadline()
{
    constexpr qint64 StepMs = 3600 * 1000;
    const qint64 leftMs = (deadlineNs - deadlineClock.nsecsElapsed() + 999999) / 1000000;
    if (leftMs <= 0) {
        finish(End::Done);
        return;
    }
    durationTimer.start(int(qMin(leftMs, StepMs)));
}

void MeasureRun::pollOnce()
{
    if (finished || !line.link().isOpen())
        return;
    if (pollLimit && pollsSent >= *pollLimit) {
        finish(End::Done);
        return;
    }
    const quint8 code = opts.fixed ? Command::SingleFixed : Command::Single;
    ++pollsSent;
    // Waits for the answer (or the time-out): one poll in flight at a time.
    const ModuleLink::SendResult r = line.link().send(line.frame(code), Expect::anyFrame()).result;
    if (r == ModuleLink::SendResult::WriteFailed)
        finish(End::LinkFailed, QStringLiteral("cannot write to the port (%1)").arg(line.link().errorString()));
    if (r == ModuleLink::SendResult::PortLost || r == ModuleLink::SendResult::NotOpen) {
        --pollsSent;  // its answer was lost with the port: polled again once it is back
        return;
    }
    // Timed against the time the port was there: a gap brings no burst of polls.
    if (!finished)
        pollTimer.start(int(qMin<qint64>(schedule.waitMs(pollsSent, presentNs()), 1000000)));
}

void MeasureRun::framesReceived(const QVector<QByteArray> &frames)
{
    if (!collecting)
        return;
    const RunOptions &o = opts;
    // One time stamp per read: its frames arrived together. The link's read
    // time is the recorded one when a capture is replayed.
    const qint64 readUs = line.link().readTimeUs();
    const qint64 readAt = readUs / 1000;
    writer->setTime(readAt);
    const bool settling = settleMs > 0 && sinceStart.elapsed() < settleMs;
    for (const QByteArray &frame : frames) {
        if (settling)
            break;
        if (!isMeasurementCode(quint8(frame.at(1))))
            continue;
        const Answer a = decodeAnswer(frame);
        if (!a.measurement)
            continue;
        if (stats.isEmpty()) {
            firstReadUs = readUs;
            measurementBytes = frame.size();
            // A streamed duration counts from the first frame (a replayed one by
            // the recorded read times); a polled one runs from the start.
            if (o.durationMs && !polled && line.options().replay.isEmpty())
                startDeadline(*o.durationMs * 1000000);
        } else if (!polled && o.durationMs && (readUs - firstReadUs) / 1000 >= *o.durationMs) {
            finish(End::Done);
            break;
        }
        const Measurement &m = *a.measurement;
        writer->record(pending, m);
        if (measured)
            measured(readAt, m);
        stats.add(m.distance);
        amplitudes += m.amplitude;
        if (band && isOutside(m.distance, *band))
            ++outsideCount;
        lastFrameNs = (readUs - firstReadUs) * 1000 - gapsNs;
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
    // Nothing is written before the first record (a CSV header alone would
    // empty an --output file for a module that never answers).
    if (pending.isEmpty() || stats.isEmpty())
        return;
    const bool written = out.write(pending);
    pending.resize(0);  // keeps the reserved buffer
    if (written)
        return;
    if (out.readerGone())
        interrupt(SIGPIPE);
    else
        finish(End::OutputFailed, QStringLiteral("cannot write %1: %2").arg(out.name(), out.reason()));
}
