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
#include "message.h"
#include "output.h"
#include "summary.h"

#include <csignal>

#include <QDateTime>

#include <tuple>

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

// The status once `output` is counted: a failed output outweighs what the
// command found, since what it wrote is incomplete. A pipe whose reader went
// away is the reader's choice (`... | head -1`), not a fault. Says nothing,
// so a run can be kept with the status the process will end with.
int statusAfter(const Output &output, int status)
{
    if (!output.failed())
        return status;
    if (output.readerGone())
        return status == ExitStatus::Fail ? status : ExitStatus::interrupted(SIGPIPE);
    return ExitStatus::WriteFailed;
}

// statusAfter(), saying which output failed and why.
int outputStatus(const Output &output, int status)
{
    if (output.failed() && !output.readerGone())
        tell(QStringLiteral("cannot write %1: %2").arg(output.name(), output.reason()));
    return statusAfter(output, status);
}

// A run kept with the status the process ends with; one that neither its
// database nor the spool took is not saved, which a station must learn.
int keepRun(RunKeeper &keeper, const Output &out, const Output &records, const RunSummary &summary,
            quint64 amplitudes, RunStatus status, int exitStatus, bool marginal, const QString &why)
{
    const int ending = statusAfter(records, statusAfter(out, exitStatus));
    return keeper.keep(summary, amplitudes, status, ending, marginal, why) ? exitStatus : ExitStatus::WriteFailed;
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

int version(ModuleLine &s, OutputFormat format, Output &out)
{
    const Versions v = readVersions(s, s.options().id);
    InfoRecord record;
    for (const std::optional<Answer> &a : {v.hardware, v.firmware})
        if (a)
            show(out, format, record, *a);
    if (!v.error.isEmpty())
        return s.fail(v.error);
    if (format != OutputFormat::Text)
        out.write(record.render(format));
    return ExitStatus::Done;
}

int info(ModuleLine &s, OutputFormat format, Output &out)
{
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

int single(ModuleLine &s, bool fixed, OutputFormat format, Output &records)
{
    const quint8 code = fixed ? Command::SingleFixed : Command::Single;
    const std::optional<Answer> a =
        s.ask(s.frame(code), Expect::codes({Response::Measurement, Response::ExtendedMeasurement}));
    if (!a || !a->measurement)
        return s.fail(QStringLiteral("the module did not answer (single measurement)"));
    const std::unique_ptr<RecordWriter> writer = makeRecordWriter(format);
    QByteArray record;
    writer->begin(record);
    writer->setTime(QDateTime::currentMSecsSinceEpoch());
    writer->record(record, *a->measurement);
    records.write(record);
    return ExitStatus::Done;
}

int threshold(ModuleLine &s, const std::optional<quint16> &wanted, OutputFormat format, Output &out)
{
    if (wanted) {
        s.askCode(s.frame(Command::SetThreshold, thresholdData(*wanted)), Command::SetThreshold);
        if (s.broken())
            return s.fail(QString());
    }
    const std::optional<Answer> a = s.askCode(s.frame(Command::GetThreshold), Command::GetThreshold);
    if (!a || !a->threshold)
        return s.fail(QStringLiteral("the module did not answer (threshold)"));
    if (format == OutputFormat::Text) {
        print(out, QStringLiteral("threshold: %1").arg(*a->threshold));
    } else {
        InfoRecord record;
        record.add(*a);
        out.write(record.render(format));
    }
    if (wanted && *a->threshold != *wanted) {
        s.report(QStringLiteral("the module holds threshold %1, not %2").arg(*a->threshold).arg(*wanted));
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

int send(ModuleLine &s, const QByteArray &t, Output &out)
{
    for (const QByteArray &frame : s.collect(s.frame(quint8(t.at(0)), t.mid(1))))
        print(out, QStringLiteral("Received:  ") + hexBytes(frame));
    return s.broken() ? s.fail(QString()) : ExitStatus::Done;
}

int scan(ModuleLine &s, const ModuleCommandOptions &o, Output &out)
{
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

// The verdict on the figures and the versions; `marginal` set for a pass
// within the marginal band.
Verdict fullVerdict(const TestOptions &o, const TestLimits &limits, const DistanceStatistics &distances,
                    quint64 amplitudeSum, quint64 outside, const QString &hardware, const QString &firmware,
                    bool *marginal)
{
    Verdict v = judge(limits, distances, amplitudeSum, outside);
    v.failed = versionFailures(hardware, o.hardwarePattern, firmware, o.firmwarePattern) + v.failed;
    v.pass = v.failed.isEmpty();
    *marginal = o.marginalMilli && isMarginal(limits, distances, v, *o.marginalMilli);
    return v;
}

int measure(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    RunKeeper keeper(o.keep, s.portName());
    RunSummary summary;
    summary.expected = expectedFrames(o.run, o.line);

    // A test records the versions the module reports, and checks them; a
    // replayed capture has no module to ask, but holds its answers.
    QString hardware, firmware;
    QMetaObject::Connection recordedVersions;
    if (o.command == CliCommand::Test && s.replay()) {
        recordedVersions = QObject::connect(&s.link(), &ModuleLink::framesReceived, [&](const QVector<QByteArray> &frames) {
            for (const QByteArray &f : frames) {
                const quint8 code = quint8(f.at(1));
                if (code != Command::HardwareVersion && code != Command::FirmwareVersion)
                    continue;
                const Answer a = decodeAnswer(f);
                if (!a.lines.isEmpty())
                    (code == Command::HardwareVersion ? hardware : firmware) = versionOf(a.lines.first());
            }
        });
    } else if (o.command == CliCommand::Test) {
        const Versions v = readVersions(s, o.line.id);
        if (!v.error.isEmpty()) {
            return keepRun(keeper, out, records, summary, 0, RunStatus::Error, s.fail(v.error), false, v.error);
        }
        hardware = v.hardwareText();
        firmware = v.firmwareText();
        keeper.setVersions(hardware, firmware);
    }

    std::optional<TestLimits> limits;
    if (o.command == CliCommand::Test)
        limits = o.test.limits;
    MeasureRun run(s, o.run, o.output.format, records, limits);
    run.setMeasurementSink(keeper.recorder());
    // Hang-ups and closed pipes too: the module must not be left streaming.
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
    // A replayed run ends with its capture.
    if (s.replay())
        QObject::connect(s.replay(), &ReplaySource::finished, &run, [&run] { run.interrupt(0); });
    const MeasureRun::End end = run.run();
    if (recordedVersions) {
        QObject::disconnect(recordedVersions);
        keeper.setVersions(hardware, firmware);
    }

    // Judged against what the line could carry of the frames the module sent,
    // while the port was there.
    const quint64 expected = expectedFrames(o.run, o.line, run.frameBytes(), s.absentMs());
    if (limits)
        limits->expectedFrames = expected;
    int status = ExitStatus::Done;
    bool marginal = false;
    summary.frames = run.frames();
    summary.expected = expected;
    summary.failedChecks = run.failedChecks();
    if (o.line.reconnectMs)
        summary.reconnects = s.reconnects();
    summary.rateHz = run.rateHz();
    summary.distances = &run.distances();
    if (limits) {
        summary.limits = limits;
        summary.outside = run.outside();
        summary.verdict = fullVerdict(o.test, *limits, run.distances(), run.amplitudeSum(), run.outside(), hardware,
                                      firmware, &marginal);
        summary.marginal = marginal;
        status = summary.verdict.pass ? ExitStatus::Done : ExitStatus::Fail;
    }
    if (o.run.stats)
        out.write(renderSummary(summary, o.output.format));
    if (end == MeasureRun::End::NoAnswer || end == MeasureRun::End::LinkFailed) {
        s.report(run.reason());
        status = ExitStatus::LinkFailure;
    } else if (end == MeasureRun::End::Interrupted && !limits && run.interruptedBy() != 0) {
        // A measure run cut short says so; a test cut short has its verdict (too few frames).
        // (The end of a replayed capture is no signal.)
        status = ExitStatus::interrupted(run.interruptedBy());
    }
    if (o.run.stats && keepRun(keeper, out, records, summary, run.amplitudeSum(), statusOf(end), status, marginal,
                               run.reason()) == ExitStatus::WriteFailed)
        return ExitStatus::WriteFailed;
    return status;
}

// test --ids: every module's versions, then all measured together, each
// with its own summary, verdict and row. 2 when any module did not answer
// (or the port failed), else 1 when any failed, else 0.
int fixture(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    const QVector<quint8> &ids = o.line.ids;
    struct Unit {
        KeepOptions keep;  // this module's: its ID and serial number
        std::unique_ptr<RunKeeper> keeper;
        QString hardware, firmware, error;
    };
    std::vector<Unit> units(size_t(ids.size()));
    QVector<quint8> answering;
    for (int i = 0; i < ids.size(); ++i) {
        Unit &u = units[size_t(i)];
        u.keep = o.keep;
        u.keep.id = ids.at(i);
        u.keep.serial = o.test.serials.value(ids.at(i));
        u.keeper = std::make_unique<RunKeeper>(u.keep, s.portName());
        const Versions v = readVersions(s, ids.at(i));
        if (s.broken())
            return s.fail(QString());
        u.error = v.error;
        if (u.error.isEmpty()) {
            u.hardware = v.hardwareText();
            u.firmware = v.firmwareText();
            u.keeper->setVersions(u.hardware, u.firmware);
            answering << ids.at(i);
        }
    }

    const BusPlan plan = busPlan(o.run, o.line.baud, int(answering.size()));
    const int rate = plan.rateHz;
    quint64 expected = plan.expected;
    TestLimits limits = o.test.limits;
    limits.expectedFrames = expected;

    FixtureRun run(s, o.run.fixed, o.output.format, records, answering, rate, limits, plan.rounds,
                   o.run.durationMs ? std::nullopt : o.run.count);
    run.setDuration(o.run.durationMs);
    run.setMeasurementSink([&units, &ids](quint8 id, qint64 at, const Measurement &m) {
        const auto recorder = units[size_t(ids.indexOf(id))].keeper->recorder();
        if (recorder)
            recorder(at, m);
    });
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &FixtureRun::interrupt);
    if (!answering.isEmpty())
        run.run();
    // A gap in a duration leaves fewer rounds.
    if (plan.rounds) {
        expected = *run.roundLimit();
        limits.expectedFrames = expected;
    }

    bool anyError = false, anyFail = false;
    const DistanceStatistics none;
    // Every summary first: each run is kept with the status the process ends with.
    struct Kept {
        RunSummary summary;
        quint64 amplitudes = 0;
        RunStatus status = RunStatus::Error;
        int exitStatus = ExitStatus::Done;
        bool marginal = false;
    };
    std::vector<Kept> kept(units.size());
    for (int i = 0; i < ids.size(); ++i) {
        Unit &u = units[size_t(i)];
        const quint8 id = ids.at(i);
        const auto m = std::find_if(run.modules().cbegin(), run.modules().cend(),
                                    [id](const FixtureRun::Module &fm) { return fm.id == id; });
        const bool measured = m != run.modules().cend();
        RunSummary summary;
        summary.deviceId = id;
        summary.pollRateHz = rate;
        summary.expected = expected;
        if (o.line.reconnectMs)
            summary.reconnects = s.reconnects();
        summary.limits = limits;
        summary.distances = measured ? &m->stats : &none;
        summary.measured = measured;
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
        if (u.error.isEmpty())
            summary.verdict = fullVerdict(o.test, limits, m->stats, m->amplitudes, m->outside, u.hardware,
                                          u.firmware, &marginal);
        summary.marginal = marginal;
        summary.error = u.error;
        int exitStatus = summary.verdict.pass ? ExitStatus::Done : ExitStatus::Fail;
        if (status == RunStatus::Error) {
            anyError = true;
            exitStatus = ExitStatus::LinkFailure;
            s.report(QStringLiteral("id %1: %2").arg(id).arg(u.error));
        }
        anyFail = anyFail || !summary.verdict.pass;
        out.write(renderSummary(summary, o.output.format));
        kept[size_t(i)] = {summary, measured ? m->amplitudes : 0, status, exitStatus, marginal};
    }
    bool lost = false;
    for (size_t i = 0; i < units.size(); ++i) {
        const Kept &k = kept[i];
        lost = keepRun(*units[i].keeper, out, records, k.summary, k.amplitudes, k.status, k.exitStatus, k.marginal,
                       units[i].error) == ExitStatus::WriteFailed
               || lost;
    }
    if (lost)
        return ExitStatus::WriteFailed;
    return anyError ? ExitStatus::LinkFailure : anyFail ? ExitStatus::Fail : ExitStatus::Done;
}

int dispatch(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    const OutputFormat format = o.output.format;
    switch (o.command) {
    case CliCommand::Version: return version(s, format, out);
    case CliCommand::Info: return info(s, format, out);
    case CliCommand::Single: return single(s, o.run.fixed, format, records);
    case CliCommand::Measure:
    case CliCommand::Test:
        if (!o.points.points.isEmpty())
            return pointsTest(s, o, out, records);
        return o.line.ids.isEmpty() ? measure(s, o, out, records) : fixture(s, o, out, records);
    case CliCommand::Study: return study(s, o, out, records);
    case CliCommand::Threshold: return threshold(s, o.module.threshold, format, out);
    case CliCommand::Integration:
        return simple(s, Command::SetIntegration, integrationTimeData(o.module.integrationUs), "integration time");
    case CliCommand::Restart: return simple(s, Command::Restart, QByteArray(), "restart");
    case CliCommand::Send: return send(s, o.module.sendTokens, out);
    case CliCommand::Scan: return scan(s, o.module, out);
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
    // An output that cannot be created ends the command before the module
    // or the database is asked anything. A report is put in place whole.
    Output file(o.output.file, o.command == CliCommand::Report ? Output::Mode::WhenComplete : Output::Mode::AsWritten);
    if (file.isFile() && !file.open()) {
        tell(QStringLiteral("cannot write %1: %2").arg(file.name(), file.reason()));
        return ExitStatus::CannotCreate;
    }
    Output &records = file.isFile() ? file : out;

    int status = ExitStatus::Done;
    if (o.command == CliCommand::Ports) {
        status = ports(out);
    } else if (o.command == CliCommand::Sync) {
        status = syncRuns(o.keep, out);
    } else if (o.command == CliCommand::Report) {
        status = reportRuns(o.report, o.output.format, o.output.html, records);
    } else {
        ModuleLine s(o.line);
        if (!s.open())
            return s.badReplay() ? ExitStatus::Usage : ExitStatus::LinkFailure;
        status = dispatch(s, o, out, records);
    }
    // A command that failed leaves an earlier report where it was.
    if (status == ExitStatus::Done)
        file.finish();
    status = outputStatus(out, status);
    return file.isFile() ? outputStatus(file, status) : status;
}
