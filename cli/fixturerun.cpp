#include "fixturerun.h"

#include "decode/answers.h"
#include "moduleline.h"
#include "protocol/commands.h"
#include "output.h"
#include "records.h"

#include <QDateTime>
#include <QEventLoop>

double FixtureRun::Module::rateHz() const
{
    if (stats.count() < 2 || lastNs <= firstNs)
        return 0.0;
    return double(stats.count() - 1) * 1e9 / double(lastNs - firstNs);
}

FixtureRun::FixtureRun(ModuleLine &s, bool fixedExposure, OutputFormat format, Output &records, const QVector<quint8> &ids, int rateHz,
                       std::optional<TestLimits> limits, std::optional<quint64> pollRounds, std::optional<quint64> frames)
    : line(s)
    , fixed(fixedExposure)
    , out(records)
    , band(limits)
    , rounds(pollRounds)
    , count(frames)
    , roundsAtStart(pollRounds)
    , writer(makeRecordWriter(format))
    , schedule(rateHz)
{
    for (quint8 id : ids) {
        Module m;
        m.id = id;
        all.push_back(std::move(m));
    }
    writer->setWithId(true);
    silenceNs = (qMax(1000, 2000 / qMax(1, rateHz)) + qint64(s.options().timeoutMs)) * 1000000LL;
    roundTimer.setSingleShot(true);
    roundTimer.setTimerType(Qt::PreciseTimer);
    connect(&roundTimer, &QTimer::timeout, this, &FixtureRun::pollRound);
    connect(&line.link(), &ModuleLink::framesReceived, this, &FixtureRun::framesReceived);
    connect(&line.link(), &ModuleLink::portLost, this, [this](const QString &reason) {
        if (line.awaitsPort())
            roundTimer.stop();
        else
            finish(MeasureRun::End::LinkFailed, QStringLiteral("the port went away (%1)").arg(reason));
    });
    connect(&line, &ModuleLine::portBack, this, &FixtureRun::portBack);
    connect(&line, &ModuleLine::portGone, this,
            [this] { finish(MeasureRun::End::LinkFailed, line.failureReason()); });
}

qint64 FixtureRun::presentNs() const
{
    return sinceStart.nsecsElapsed() - line.absentMs() * 1000000;
}

void FixtureRun::portBack()
{
    if (finished)
        return;
    if (roundsAtStart && durationMs && *durationMs > 0) {
        const qint64 present = qMax<qint64>(0, *durationMs - line.absentMs());
        rounds = std::min(*rounds, quint64(double(*roundsAtStart) * double(present) / double(*durationMs)));
    }
    roundTimer.start(0);
}

FixtureRun::~FixtureRun() = default;

quint64 FixtureRun::discarded() const
{
    const ResponseFramer &framer = line.link().framer();
    return framer.checkFailures() + framer.skippedBytes();
}

void FixtureRun::setPoint(qint64 referenceMilli, bool first)
{
    writer->setWithReference(true);
    writer->setReference(referenceMilli);
    writesHeader = first;
}

MeasureRun::End FixtureRun::run()
{
    discardedAtStart = discarded();
    if (writesHeader)
        writer->begin(pending);
    writeOut();
    QEventLoop events;
    loop = &events;
    sinceStart.start();
    roundTimer.start(0);
    events.exec();
    loop = nullptr;
    return result;
}

void FixtureRun::interrupt()
{
    finish(MeasureRun::End::Interrupted);
}

void FixtureRun::finish(MeasureRun::End end, const QString &why)
{
    if (finished)
        return;
    finished = true;
    discardedAtEnd = discarded();
    result = end;
    endReason = why;
    roundTimer.stop();
    // The modules' own runs end with the fixture's, unless they ended before.
    for (Module &m : all) {
        if (m.polled && end != MeasureRun::End::Done) {
            m.end = end;
            m.reason = why;
        }
        m.polled = false;
    }
    if (loop)
        loop->quit();
}

bool FixtureRun::allDone() const
{
    for (const Module &m : all)
        if (m.polled && (!count || m.stats.count() < *count))
            return false;
    return true;
}

void FixtureRun::pollRound()
{
    const quint8 code = fixed ? Command::SingleFixed : Command::Single;
    for (int i = 0; i < int(all.size()) && !finished; ++i) {
        Module &m = all[size_t(i)];
        if (!m.polled || (count && m.stats.count() >= *count))
            continue;
        inFlight = i;
        // Waits for the answer (or the time-out): one poll in flight on the bus.
        const ModuleLink::SendResult r = line.link().send(commandFrame(code, QByteArray(), m.id), Expect::anyFrame()).result;
        inFlight = -1;
        // The port is lost: the round starts again once it is back.
        if (r == ModuleLink::SendResult::PortLost || r == ModuleLink::SendResult::NotOpen)
            return;
        if (r == ModuleLink::SendResult::WriteFailed)
            finish(MeasureRun::End::LinkFailed,
                   QStringLiteral("cannot write to the port (%1)").arg(line.link().errorString()));
        if (r == ModuleLink::SendResult::TimedOut)
            line.letLateAnswerPass();
        if (finished)
            return;
        // A module silent for too long is left alone; the others go on.
        if (presentNs() - m.lastAnswerNs > silenceNs) {
            m.polled = false;
            m.end = MeasureRun::End::NoAnswer;
            m.reason = m.stats.isEmpty() ? QStringLiteral("the module did not answer (no measurement)")
                                         : QStringLiteral("the module stopped sending measurements");
        }
    }
    ++roundsSent;
    if ((rounds && roundsSent >= *rounds) || allDone()) {
        finish(MeasureRun::End::Done);
        return;
    }
    // The rounds are timed from the end of the first: the modules' first
    // answers may take long (the line settling after the version questions),
    // and rounds timed from before them would all fall due at once.
    if (roundsSent == 1) {
        roundClock.start();
        absentAtRoundClockMs = line.absentMs();
    }
    // Only the time the port was there counts: after a gap the rounds go on
    // at their period instead of catching up.
    const qint64 roundsNs = roundClock.nsecsElapsed() - (line.absentMs() - absentAtRoundClockMs) * 1000000;
    roundTimer.start(int(qMin<qint64>(schedule.waitMs(roundsSent, roundsNs), 1000000)));
}

void FixtureRun::framesReceived(const QVector<QByteArray> &frames)
{
    if (finished || inFlight < 0)
        return;
    Module &m = all[size_t(inFlight)];
    const qint64 readAt = QDateTime::currentMSecsSinceEpoch();
    writer->setTime(readAt);
    writer->setDeviceId(m.id);
    for (const QByteArray &frame : frames) {
        if (!isMeasurementCode(quint8(frame.at(1))))
            continue;
        const Answer a = decodeAnswer(frame);
        if (!a.measurement || (count && m.stats.count() >= *count))
            continue;
        const Measurement &v = *a.measurement;
        const qint64 now = presentNs();
        if (m.stats.isEmpty())
            m.firstNs = now;
        m.lastNs = m.lastAnswerNs = now;
        writer->record(pending, v);
        if (measured)
            measured(m.id, readAt, v);
        m.stats.add(v.distance);
        m.amplitudes += v.amplitude;
        if (band && isOutside(v.distance, *band))
            ++m.outside;
    }
    writeOut();
}

void FixtureRun::writeOut()
{
    if (pending.isEmpty())
        return;
    if (!out.write(pending))
        finish(MeasureRun::End::OutputFailed, QStringLiteral("cannot write %1: %2").arg(out.name(), out.reason()));
    pending.resize(0);  // keeps the reserved buffer
}
