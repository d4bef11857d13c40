#include "commands.h"

#include "exitstatus.h"
#include "fixturerun.h"
#include "measurerun.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "records.h"
#include "reportcommand.h"
#include "runkeeper.h"
#include "serial/portlist.h"
#include "moduleline.h"
#include "platform/quitonsignal.h"
#include "summary.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>

namespace {

void print(QIODevice &out, const QString &line)
{
    out.write(line.toUtf8() + '\n');
}

void printLines(QIODevice &out, const QStringList &lines)
{
    for (const QString &line : lines)
        print(out, line);
}

// Records go to --output when given. This is a log that must survive an
// interruption: it is written as it grows, not swapped in at the end as a
// QSaveFile would (which keeps nothing of an interrupted run). `file` stays
// closed when there is no --output.
bool openRecords(const ModuleLine &s, QFile &file)
{
    if (s.options().output.isEmpty())
        return true;
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return true;
    s.report(QStringLiteral("cannot write %1: %2").arg(s.options().output, file.errorString()));
    return false;
}

int ports(QIODevice &out)
{
    for (const PortEntry &p : availablePorts())
        print(out, p.name + QLatin1Char('\t') + p.description);
    return ExitStatus::Done;
}

int version(ModuleLine &s, QIODevice &out)
{
    const std::optional<Answer> hard = s.askCode(s.frame(Command::HardwareVersion), Command::HardwareVersion);
    if (hard)
        printLines(out, hard->lines);
    if (!hard || s.broken())
        return s.fail(QStringLiteral("the module did not answer (hardware version)"));
    const std::optional<Answer> soft = s.askCode(s.frame(Command::FirmwareVersion), Command::FirmwareVersion);
    if (soft)
        printLines(out, soft->lines);
    if (!soft || s.broken())
        return s.fail(QStringLiteral("the module did not answer (firmware version)"));
    return ExitStatus::Done;
}

int info(ModuleLine &s, QIODevice &out)
{
    const struct {
        quint8 code;
        const char *what;
    } queries[] = {{Command::Range, "range"},
                   {Command::ReadIntegration, "integration time"},
                   {Command::Configuration, "configuration"},
                   {Command::Coefficients, "coefficients"}};
    int answered = 0;
    for (const auto &q : queries) {
        const std::optional<Answer> a = s.askCode(s.frame(q.code), q.code);
        if (s.broken())
            return s.fail(QString());
        if (a) {
            ++answered;
            printLines(out, a->lines);
        } else {
            print(out, QStringLiteral("%1: no answer").arg(QLatin1String(q.what)));
        }
    }
    return answered > 0 ? ExitStatus::Done : s.fail(QStringLiteral("the module did not answer"));
}

int single(ModuleLine &s, QIODevice &out)
{
    const quint8 code = s.options().fixed ? Command::SingleFixed : Command::Single;
    const std::optional<Answer> a = s.ask(s.frame(code), [](const Answer &answer) {
        return answer.measurement.has_value();
    });
    if (!a)
        return s.fail(QStringLiteral("the module did not answer (single measurement)"));
    const std::unique_ptr<RecordWriter> writer = makeRecordWriter(s.options().format);
    QByteArray record;
    writer->begin(record);
    writer->setTime(QDateTime::currentMSecsSinceEpoch());
    writer->record(record, *a->measurement);
    QFile file(s.options().output);
    if (!openRecords(s, file))
        return ExitStatus::LinkFailure;
    (file.isOpen() ? static_cast<QIODevice &>(file) : out).write(record);
    return ExitStatus::Done;
}

int threshold(ModuleLine &s, QIODevice &out)
{
    const CliOptions &o = s.options();
    if (o.threshold) {
        s.askCode(s.frame(Command::SetThreshold, thresholdData(*o.threshold)), Command::SetThreshold);
        if (s.broken())
            return s.fail(QString());
    }
    const std::optional<Answer> a = s.ask(s.frame(Command::GetThreshold), [](const Answer &answer) {
        return answer.kind == AnswerKind::Threshold && answer.threshold;
    });
    if (!a)
        return s.fail(QStringLiteral("the module did not answer (threshold)"));
    print(out, QStringLiteral("threshold: %1").arg(*a->threshold));
    if (o.threshold && *a->threshold != *o.threshold) {
        s.report(QStringLiteral("the module holds threshold %1, not %2").arg(*a->threshold).arg(*o.threshold));
        return ExitStatus::Fail;
    }
    return ExitStatus::Done;
}

int simple(ModuleLine &s, quint8 code, const QByteArray &data, const char *what)
{
    if (!s.askCode(s.frame(code, data), code))
        return s.fail(QStringLiteral("the module did not answer (%1)").arg(QLatin1String(what)));
    return ExitStatus::Done;
}

int send(ModuleLine &s, QIODevice &out)
{
    const QByteArray &t = s.options().sendTokens;
    for (const QByteArray &frame : s.collect(s.frame(quint8(t.at(0)), t.mid(1))))
        print(out, QStringLiteral("Received:  ") + hexBytes(frame));
    return s.broken() ? s.fail(QString()) : ExitStatus::Done;
}

int scan(ModuleLine &s, QIODevice &out)
{
    const CliOptions &o = s.options();
    int found = 0;
    for (int id = o.scanFrom; id <= o.scanTo; ++id) {
        const std::optional<Answer> a =
            s.askCode(commandFrame(Command::HardwareVersion, QByteArray(), quint8(id)), Command::HardwareVersion);
        if (s.broken())
            return s.fail(QString());
        if (a && !a->lines.isEmpty()) {
            ++found;
            print(out, QStringLiteral("%1\t%2").arg(id).arg(a->lines.first()));
        }
    }
    return found > 0 ? ExitStatus::Done
                     : s.fail(QStringLiteral("no module answered (IDs %1-%2)").arg(o.scanFrom).arg(o.scanTo));
}

// The hardware and firmware versions, as "A-0.1.2"; the reason when the
// module did not answer, else empty.
QString readVersions(ModuleLine &s, std::optional<quint8> id, QString &hardware, QString &firmware)
{
    const struct {
        quint8 code;
        QString *version;
        const char *what;
    } queries[] = {{Command::HardwareVersion, &hardware, "hardware version"},
                   {Command::FirmwareVersion, &firmware, "firmware version"}};
    for (const auto &q : queries) {
        const std::optional<Answer> a = s.askCode(commandFrame(q.code, QByteArray(), id), q.code);
        if (!a || a->lines.isEmpty() || s.broken())
            return QStringLiteral("the module did not answer (%1)").arg(QLatin1String(q.what));
        *q.version = versionOf(a->lines.first());
    }
    return QString();
}

std::optional<TestLimits> testLimits(const CliOptions &o)
{
    if (o.command != CliCommand::Test)
        return std::nullopt;
    TestLimits l;
    l.referenceMilli = o.referenceMilli;
    l.toleranceMilli = o.toleranceMilli;
    l.maxOutside = o.maxOutside;
    l.maxSigmaMilli = o.maxSigmaMilli;
    l.minAmplitudeMilli = o.minAmplitudeMilli;
    return l;
}

// The verdict on the figures and the versions; `marginal` set for a pass
// within the marginal band.
Verdict fullVerdict(const CliOptions &o, const TestLimits &limits, const DistanceStatistics &distances,
                    quint64 amplitudeSum, quint64 outside, const QString &hardware, const QString &firmware,
                    bool *marginal)
{
    Verdict v = judge(limits, distances, amplitudeSum, outside);
    v.failed = versionFailures(hardware, o.hardwarePattern, firmware, o.firmwarePattern) + v.failed;
    v.pass = v.failed.isEmpty();
    *marginal = o.marginalMilli && isMarginal(limits, distances, v, *o.marginalMilli);
    return v;
}

RunStatus statusOf(MeasureRun::End end)
{
    switch (end) {
    case MeasureRun::End::Done: return RunStatus::Complete;
    case MeasureRun::End::Interrupted: return RunStatus::Aborted;
    case MeasureRun::End::NoAnswer:
    case MeasureRun::End::LinkFailed: break;
    }
    return RunStatus::Error;
}

int measure(ModuleLine &s, QIODevice &out)
{
    const CliOptions &o = s.options();
    RunKeeper keeper(o, s.portName());
    RunSummary summary;
    summary.expected = o.expectedFrames();

    // A test records the versions the module reports, and checks them.
    QString hardware, firmware;
    if (o.command == CliCommand::Test) {
        const QString why = readVersions(s, o.id, hardware, firmware);
        if (!why.isEmpty()) {
            const int status = s.fail(why);
            keeper.keep(summary, 0, RunStatus::Error, status, false, why);
            return status;
        }
        keeper.setVersions(hardware, firmware);
    }

    QFile file(o.output);
    if (!openRecords(s, file))
        return ExitStatus::LinkFailure;
    QIODevice &records = file.isOpen() ? static_cast<QIODevice &>(file) : out;

    std::optional<TestLimits> limits = testLimits(o);

    MeasureRun run(s, records, limits);
    run.setMeasurementSink(keeper.recorder());
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
    const MeasureRun::End end = run.run();
    file.close();

    // Judged against what the line could carry of the frames the module sent.
    const quint64 expected = o.expectedFrames(run.frameBytes());
    if (limits)
        limits->expectedFrames = expected;
    int status = ExitStatus::Done;
    bool marginal = false;
    summary.frames = run.frames();
    summary.expected = expected;
    summary.failedChecks = run.failedChecks();
    summary.rateHz = run.rateHz();
    summary.distances = &run.distances();
    if (limits) {
        summary.limits = limits;
        summary.outside = run.outside();
        summary.verdict = fullVerdict(o, *limits, run.distances(), run.amplitudeSum(), run.outside(), hardware,
                                      firmware, &marginal);
        status = summary.verdict.pass ? ExitStatus::Done : ExitStatus::Fail;
    }
    if (o.stats)
        out.write(renderSummary(summary, o.format));
    if (end == MeasureRun::End::NoAnswer || end == MeasureRun::End::LinkFailed) {
        s.report(run.reason());
        status = ExitStatus::LinkFailure;
    }
    if (o.stats)
        keeper.keep(summary, run.amplitudeSum(), statusOf(end), status, marginal, run.reason());
    return status;
}

// test --ids: every module's versions, then all measured together, each
// with its own summary, verdict and row. 2 when any module did not answer
// (or the port failed), else 1 when any failed, else 0.
int fixture(ModuleLine &s, QIODevice &out)
{
    const CliOptions &o = s.options();
    struct Unit {
        CliOptions options;  // this module's: its ID and serial number
        std::unique_ptr<RunKeeper> keeper;
        QString hardware, firmware, error;
    };
    std::vector<Unit> units(size_t(o.ids.size()));
    QVector<quint8> answering;
    for (int i = 0; i < o.ids.size(); ++i) {
        Unit &u = units[size_t(i)];
        u.options = o;
        u.options.id = o.ids.at(i);
        u.options.serial = o.serials.value(o.ids.at(i));
        u.keeper = std::make_unique<RunKeeper>(u.options, s.portName());
        u.error = readVersions(s, u.options.id, u.hardware, u.firmware);
        if (s.broken())
            return s.fail(QString());
        if (u.error.isEmpty()) {
            u.keeper->setVersions(u.hardware, u.firmware);
            answering << o.ids.at(i);
        }
    }

    QFile file(o.output);
    if (!openRecords(s, file))
        return ExitStatus::LinkFailure;
    QIODevice &records = file.isOpen() ? static_cast<QIODevice &>(file) : out;

    // What the shared line gives each module, polled in turn.
    constexpr int MeasurementBytes = 11;
    const int pollBytes = commandFrame(Command::Single, QByteArray(), quint8(0)).size();
    const int modules = qMax(1, int(answering.size()));
    const int rate = busRateHz(o.rateHz, o.baud, MeasurementBytes, pollBytes, modules);
    std::optional<quint64> rounds;
    if (o.durationMs)
        rounds = deliverableFrames(*o.durationMs, rate, o.baud, MeasurementBytes * modules, pollBytes * modules);
    if (o.count && rounds)
        rounds = std::min(*rounds, *o.count);
    const quint64 expected = rounds ? *rounds : o.count.value_or(100);
    std::optional<TestLimits> limits = testLimits(o);
    limits->expectedFrames = expected;

    FixtureRun run(s, records, answering, rate, limits, rounds, o.durationMs ? std::nullopt : o.count);
    run.setMeasurementSink([&units, &o](quint8 id, qint64 at, const Measurement &m) {
        const auto recorder = units[size_t(o.ids.indexOf(id))].keeper->recorder();
        if (recorder)
            recorder(at, m);
    });
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &FixtureRun::interrupt);
    if (!answering.isEmpty())
        run.run();
    file.close();

    bool anyError = false, anyFail = false;
    const DistanceStatistics none;
    for (int i = 0; i < o.ids.size(); ++i) {
        Unit &u = units[size_t(i)];
        const auto m = std::find_if(run.modules().cbegin(), run.modules().cend(),
                                    [&u](const FixtureRun::Module &fm) { return fm.id == *u.options.id; });
        const bool measured = m != run.modules().cend();
        RunSummary summary;
        summary.deviceId = *u.options.id;
        summary.pollRateHz = rate;
        summary.expected = expected;
        summary.limits = limits;
        summary.distances = measured ? &m->stats : &none;
        RunStatus status = RunStatus::Error;
        bool marginal = false;
        if (measured) {
            summary.frames = m->stats.count();
            summary.failedChecks = run.failedChecks();
            summary.rateHz = m->rateHz();
            summary.outside = m->outside;
            status = statusOf(m->end);
            if (status == RunStatus::Error)
                u.error = m->reason;
        }
        if (u.error.isEmpty() && limits)
            summary.verdict = fullVerdict(u.options, *limits, m->stats, m->amplitudes, m->outside, u.hardware,
                                          u.firmware, &marginal);
        summary.error = u.error;
        int exitStatus = summary.verdict.pass ? ExitStatus::Done : ExitStatus::Fail;
        if (status == RunStatus::Error) {
            anyError = true;
            exitStatus = ExitStatus::LinkFailure;
            s.report(QStringLiteral("id %1: %2").arg(*u.options.id).arg(u.error));
        }
        anyFail = anyFail || !summary.verdict.pass;
        out.write(renderSummary(summary, o.format));
        u.keeper->keep(summary, measured ? m->amplitudes : 0, status, exitStatus, marginal, u.error);
    }
    return anyError ? ExitStatus::LinkFailure : anyFail ? ExitStatus::Fail : ExitStatus::Done;
}

} // namespace

int runCommand(const CliOptions &o, QIODevice &out)
{
    if (o.command == CliCommand::Ports)
        return ports(out);
    if (o.command == CliCommand::Sync)
        return syncRuns(o, out);
    if (o.command == CliCommand::Report)
        return reportRuns(o, out);

    ModuleLine s(o);
    if (!s.open())
        return ExitStatus::LinkFailure;
    switch (o.command) {
    case CliCommand::Version: return version(s, out);
    case CliCommand::Info: return info(s, out);
    case CliCommand::Single: return single(s, out);
    case CliCommand::Measure:
    case CliCommand::Test: return o.ids.isEmpty() ? measure(s, out) : fixture(s, out);
    case CliCommand::Threshold: return threshold(s, out);
    case CliCommand::Integration:
        return simple(s, Command::SetIntegration, integrationTimeData(o.integrationUs), "integration time");
    case CliCommand::Restart: return simple(s, Command::Restart, QByteArray(), "restart");
    case CliCommand::Send: return send(s, out);
    case CliCommand::Scan: return scan(s, out);
    case CliCommand::Ports:
    case CliCommand::Sync:
    case CliCommand::Report: break;
    }
    return ExitStatus::Done;
}
