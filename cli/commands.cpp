#include "commands.h"

#include "exitstatus.h"
#include "fixturerun.h"
#include "inforecord.h"
#include "measurerun.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "records.h"
#include "replaysource.h"
#include "reportcommand.h"
#include "runkeeper.h"
#include "runsteps.h"
#include "pointsrun.h"
#include "studyrun.h"
#include "serial/portlist.h"
#include "moduleline.h"
#include "platform/quitonsignal.h"
#include "output.h"
#include "summary.h"

#include <csignal>
#include <cstdio>

#include <QDateTime>
#include <QFile>

namespace {

void print(Output &out, const QString &line)
{
    out.write(line.toUtf8() + '\n');
}

void printLines(Output &out, const QStringList &lines)
{
    for (const QString &line : lines)
        print(out, line);
}

void say(const QString &message)
{
    const QByteArray line = (QStringLiteral("korvani-cli: ") + message + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// A failed output outweighs what the command found: what it wrote is incomplete.
// A pipe whose reader went away is the reader's choice (`... | head -1`), not a fault.
int outputStatus(const Output &output, int status)
{
    if (!output.failed())
        return status;
    if (output.readerGone())
        return status == ExitStatus::Fail ? status : ExitStatus::interrupted(SIGPIPE);
    say(QStringLiteral("cannot write %1: %2").arg(output.name(), output.reason()));
    return ExitStatus::WriteFailed;
}

int ports(Output &out)
{
    for (const PortEntry &p : availablePorts())
        print(out, p.name + QLatin1Char('\t') + p.description);
    return ExitStatus::Done;
}

// Text prints the window's log lines as they come; JSON and CSV print one
// record of every answer at the end.
void show(Output &out, OutputFormat format, InfoRecord &record, const Answer &answer)
{
    if (format == OutputFormat::Text)
        printLines(out, answer.lines);
    else
        record.add(answer);
}

int version(ModuleLine &s, Output &out)
{
    const OutputFormat format = s.options().format;
    InfoRecord record;
    for (const auto &[code, what] : {std::pair<quint8, const char *>{Command::HardwareVersion, "hardware version"},
                                     {Command::FirmwareVersion, "firmware version"}}) {
        const std::optional<Answer> a = s.askCode(s.frame(code), code);
        if (a)
            show(out, format, record, *a);
        if (!a || s.broken())
            return s.fail(QStringLiteral("the module did not answer (%1)").arg(QLatin1String(what)));
    }
    if (format != OutputFormat::Text)
        out.write(record.render(format));
    return ExitStatus::Done;
}

int info(ModuleLine &s, Output &out)
{
    const OutputFormat format = s.options().format;
    const struct {
        quint8 code;
        AnswerKind kind;
        const char *what;
    } queries[] = {{Command::Range, AnswerKind::Range, "range"},
                   {Command::ReadIntegration, AnswerKind::IntegrationTime, "integration time"},
                   {Command::Configuration, AnswerKind::Configuration, "configuration"},
                   {Command::Coefficients, AnswerKind::Coefficients, "coefficients"}};
    InfoRecord record;
    int answered = 0;
    for (const auto &q : queries) {
        const std::optional<Answer> a = s.askCode(s.frame(q.code), q.code);
        if (s.broken())
            return s.fail(QString());
        if (a) {
            ++answered;
            show(out, format, record, *a);
        } else if (format == OutputFormat::Text) {
            print(out, QStringLiteral("%1: no answer").arg(QLatin1String(q.what)));
        } else {
            record.addMissing(infoField(q.kind));
        }
    }
    if (format != OutputFormat::Text)
        out.write(record.render(format));
    return answered > 0 ? ExitStatus::Done : s.fail(QStringLiteral("the module did not answer"));
}

int single(ModuleLine &s, Output &records)
{
    const quint8 code = s.options().fixed ? Command::SingleFixed : Command::Single;
    const std::optional<Answer> a =
        s.ask(s.frame(code), Expect::codes({Response::Measurement, Response::ExtendedMeasurement}));
    if (!a || !a->measurement)
        return s.fail(QStringLiteral("the module did not answer (single measurement)"));
    const std::unique_ptr<RecordWriter> writer = makeRecordWriter(s.options().format);
    QByteArray record;
    writer->begin(record);
    writer->setTime(QDateTime::currentMSecsSinceEpoch());
    writer->record(record, *a->measurement);
    records.write(record);
    return ExitStatus::Done;
}

int threshold(ModuleLine &s, Output &out)
{
    const CliOptions &o = s.options();
    if (o.threshold) {
        s.askCode(s.frame(Command::SetThreshold, thresholdData(*o.threshold)), Command::SetThreshold);
        if (s.broken())
            return s.fail(QString());
    }
    const std::optional<Answer> a = s.askCode(s.frame(Command::GetThreshold), Command::GetThreshold);
    if (!a || !a->threshold)
        return s.fail(QStringLiteral("the module did not answer (threshold)"));
    if (o.format == OutputFormat::Text) {
        print(out, QStringLiteral("threshold: %1").arg(*a->threshold));
    } else {
        InfoRecord record;
        record.add(*a);
        out.write(record.render(o.format));
    }
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

int send(ModuleLine &s, Output &out)
{
    const QByteArray &t = s.options().sendTokens;
    for (const QByteArray &frame : s.collect(s.frame(quint8(t.at(0)), t.mid(1))))
        print(out, QStringLiteral("Received:  ") + hexBytes(frame));
    return s.broken() ? s.fail(QString()) : ExitStatus::Done;
}

int scan(ModuleLine &s, Output &out)
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

int measure(ModuleLine &s, Output &out, Output &records)
{
    const CliOptions &o = s.options();
    RunKeeper keeper(o, s.portName());
    RunSummary summary;
    summary.expected = o.expectedFrames();

    // A test records the versions the module reports, and checks them; a
    // replayed capture has no module to ask.
    QString hardware, firmware;
    if (o.command == CliCommand::Test && o.replay.isEmpty()) {
        const QString why = readVersions(s, o.id, hardware, firmware);
        if (!why.isEmpty()) {
            const int status = s.fail(why);
            keeper.keep(summary, 0, RunStatus::Error, status, false, why);
            return status;
        }
        keeper.setVersions(hardware, firmware);
    }

    std::optional<TestLimits> limits = testLimits(o);
    MeasureRun run(s, records, limits);
    run.setMeasurementSink(keeper.recorder());
    // Hang-ups and closed pipes too: the module must not be left streaming.
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
    // A replayed run ends with its capture.
    if (s.replay())
        QObject::connect(s.replay(), &ReplaySource::finished, &run, [&run] { run.interrupt(0); });
    const MeasureRun::End end = run.run();

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
    } else if (end == MeasureRun::End::Interrupted && !limits && run.interruptedBy() != 0) {
        // A measure run cut short says so; a test cut short has its verdict (too few frames).
        status = ExitStatus::interrupted(run.interruptedBy());
    }
    if (o.stats)
        keeper.keep(summary, run.amplitudeSum(), statusOf(end), status, marginal, run.reason());
    if (records.failed() || out.failed())
        return status;  // the output's status, given by the caller
    if (status == ExitStatus::LinkFailure)
        return status;
    // A measure run cut short says so; a test cut short has its verdict (too few frames).
    // (The end of a replayed capture is no signal.)
    if (end == MeasureRun::End::Interrupted && !limits && run.interruptedBy() != 0)
        return ExitStatus::interrupted(run.interruptedBy());
    return status;
}

// test --ids: every module's versions, then all measured together, each
// with its own summary, verdict and row. 2 when any module did not answer
// (or the port failed), else 1 when any failed, else 0.
int fixture(ModuleLine &s, Output &out, Output &records)
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

int dispatch(ModuleLine &s, Output &out, Output &records)
{
    const CliOptions &o = s.options();
    switch (o.command) {
    case CliCommand::Version: return version(s, out);
    case CliCommand::Info: return info(s, out);
    case CliCommand::Single: return single(s, records);
    case CliCommand::Measure:
    case CliCommand::Test:
        if (!o.points.isEmpty())
            return pointsTest(s, out, records);
        return o.ids.isEmpty() ? measure(s, out, records) : fixture(s, out, records);
    case CliCommand::Study: return study(s, out, records);
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

} // namespace

int runCommand(const CliOptions &o)
{
    Output out;
    if (o.command == CliCommand::Ports)
        return outputStatus(out, ports(out));
    if (o.command == CliCommand::Sync || o.command == CliCommand::Report) {
        QFile standardOutput;
        standardOutput.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
        return o.command == CliCommand::Sync ? syncRuns(o, standardOutput) : reportRuns(o, standardOutput);
    }

    // An --output that cannot be written ends the command before the module is asked anything.
    Output file(o.output);
    if (file.isFile() && !file.open()) {
        say(QStringLiteral("cannot write %1: %2").arg(file.name(), file.reason()));
        return ExitStatus::CannotCreate;
    }
    Output &records = file.isFile() ? file : out;

    ModuleLine s(o);
    if (!s.open())
        return s.badReplay() ? ExitStatus::Usage : ExitStatus::LinkFailure;
    const int status = outputStatus(out, dispatch(s, out, records));
    return file.isFile() ? outputStatus(file, status) : status;
}
