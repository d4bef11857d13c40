#include "commands.h"

#include "exitstatus.h"
#include "inforecord.h"
#include "measurerun.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "records.h"
#include "replaysource.h"
#include "serial/portlist.h"
#include "moduleline.h"
#include "platform/quitonsignal.h"
#include "output.h"
#include "summary.h"

#include <csignal>
#include <cstdio>

#include <QDateTime>

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

int measure(ModuleLine &s, Output &out, Output &records)
{
    const CliOptions &o = s.options();

    std::optional<TestLimits> limits;
    if (o.command == CliCommand::Test) {
        TestLimits l;
        l.referenceMilli = o.referenceMilli;
        l.toleranceMilli = o.toleranceMilli;
        l.maxOutside = o.maxOutside;
        l.maxSigmaMilli = o.maxSigmaMilli;
        l.minAmplitudeMilli = o.minAmplitudeMilli;
        limits = l;
    }

    MeasureRun run(s, records, limits);
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
    if (o.stats) {
        RunSummary summary;
        summary.frames = run.frames();
        summary.expected = expected;
        summary.failedChecks = run.failedChecks();
        summary.rateHz = run.rateHz();
        summary.distances = &run.distances();
        if (limits) {
            summary.limits = limits;
            summary.outside = run.outside();
            summary.verdict = judge(*limits, run.distances(), run.amplitudeSum(), run.outside());
            status = summary.verdict.pass ? ExitStatus::Done : ExitStatus::Fail;
        }
        out.write(renderSummary(summary, o.format));
    }
    if (records.failed() || out.failed())
        return status;  // the output's status, given by the caller
    if (end == MeasureRun::End::NoAnswer || end == MeasureRun::End::LinkFailed) {
        s.report(run.reason());
        return ExitStatus::LinkFailure;
    }
    // A measure run cut short says so; a test cut short has its verdict (too few frames).
    if (end == MeasureRun::End::Interrupted && !limits && run.interruptedBy() != 0)
        return ExitStatus::interrupted(run.interruptedBy());
    return status;
}

int dispatch(ModuleLine &s, Output &out, Output &records)
{
    const CliOptions &o = s.options();
    switch (o.command) {
    case CliCommand::Version: return version(s, out);
    case CliCommand::Info: return info(s, out);
    case CliCommand::Single: return single(s, records);
    case CliCommand::Measure:
    case CliCommand::Test: return measure(s, out, records);
    case CliCommand::Threshold: return threshold(s, out);
    case CliCommand::Integration:
        return simple(s, Command::SetIntegration, integrationTimeData(o.integrationUs), "integration time");
    case CliCommand::Restart: return simple(s, Command::Restart, QByteArray(), "restart");
    case CliCommand::Send: return send(s, out);
    case CliCommand::Scan: return scan(s, out);
    case CliCommand::Ports: break;
    }
    return ExitStatus::Done;
}

} // namespace

int runCommand(const CliOptions &o)
{
    Output out;
    if (o.command == CliCommand::Ports)
        return outputStatus(out, ports(out));

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
