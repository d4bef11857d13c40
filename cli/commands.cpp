#include "commands.h"

#include "exitstatus.h"
#include "measurerun.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "records.h"
#include "replaysource.h"
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
    const std::optional<Answer> a =
        s.ask(s.frame(code), Expect::codes({Response::Measurement, Response::ExtendedMeasurement}));
    if (!a || !a->measurement)
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
    const std::optional<Answer> a = s.askCode(s.frame(Command::GetThreshold), Command::GetThreshold);
    if (!a || !a->threshold)
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

int measure(ModuleLine &s, QIODevice &out)
{
    const CliOptions &o = s.options();
    QFile file(o.output);
    if (!openRecords(s, file))
        return ExitStatus::LinkFailure;
    QIODevice &records = file.isOpen() ? static_cast<QIODevice &>(file) : out;

    std::optional<TestLimits> limits;
    if (o.command == CliCommand::Test) {
        TestLimits l;
        l.referenceMilli = o.referenceMilli;
        l.toleranceMilli = o.toleranceMilli;
        l.maxOutside = o.maxOutside;
        l.maxSigmaMilli = o.maxSigmaMilli;
        l.minAmplitudeMilli = o.minAmplitudeMilli;
        l.expectedFrames = o.expectedFrames();
        limits = l;
    }

    MeasureRun run(s, records, limits);
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
    // A replayed run ends with its capture.
    if (s.replay())
        QObject::connect(s.replay(), &ReplaySource::finished, &run, &MeasureRun::interrupt);
    const MeasureRun::End end = run.run();
    file.close();

    int status = ExitStatus::Done;
    if (o.stats) {
        RunSummary summary;
        summary.frames = run.frames();
        summary.expected = o.expectedFrames();
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
    if (end == MeasureRun::End::NoAnswer || end == MeasureRun::End::LinkFailed) {
        s.report(run.reason());
        return ExitStatus::LinkFailure;
    }
    return status;
}

} // namespace

int runCommand(const CliOptions &o, QIODevice &out)
{
    if (o.command == CliCommand::Ports)
        return ports(out);

    ModuleLine s(o);
    if (!s.open())
        return s.badReplay() ? ExitStatus::Usage : ExitStatus::LinkFailure;
    switch (o.command) {
    case CliCommand::Version: return version(s, out);
    case CliCommand::Info: return info(s, out);
    case CliCommand::Single: return single(s, out);
    case CliCommand::Measure:
    case CliCommand::Test: return measure(s, out);
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
