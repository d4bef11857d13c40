#include "options.h"

#include "optiontable.h"
#include "platform/numbers.h"
#include "protocol/commandline.h"
#include "protocol/commands.h"
#include "protocol/pollschedule.h"
#include "results/dbtarget.h"
#include "results/limitsfile.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr qint64 MaxMilli = 65535000;  // the largest distance the module reports
constexpr quint64 MaxFrames = 0xFFFFFFFFULL;

// The given options, read and checked; the first error is kept with the
// option's "wants" text from the option table.
class Reader
{
public:
    explicit Reader(const QCommandLineParser &p) : parser(p) {}

    bool isSet(const char *name) const { return parser.isSet(QLatin1String(name)); }
    QString value(const char *name) const { return parser.value(QLatin1String(name)); }
    QStringList values(const char *name) const { return parser.values(QLatin1String(name)); }

    bool fail(const QString &message)
    {
        if (error.isEmpty())
            error = message;
        return false;
    }
    // "--count wants a whole number of frames from 1, not 'x'"
    bool wrong(const char *name)
    {
        return fail(QStringLiteral("--%1 wants %2, not '%3'")
                        .arg(QLatin1String(name), findOption(QLatin1String(name))->wants, value(name)));
    }
    // A number read by `parse` when given; `target` untouched when not.
    template <typename T, typename Parse>
    bool number(const char *name, Parse parse, T *target)
    {
        if (!isSet(name))
            return true;
        const auto n = parse(value(name));
        if (!n)
            return wrong(name);
        *target = T(*n);
        return true;
    }
    // A whole number within [low, high].
    template <typename T>
    bool whole(const char *name, quint64 low, quint64 high, T *target)
    {
        return number(name, [=](const QString &v) { return parseWhole(v, low, high); }, target);
    }
    // Thousandths within [low, high].
    template <typename T>
    bool milli(const char *name, qint64 low, qint64 high, T *target)
    {
        return number(name, [=](const QString &v) { return parseThousandths(v, low, high); }, target);
    }
    // A text that must not be empty when given.
    bool text(const char *name, QString *target)
    {
        if (!isSet(name))
            return true;
        *target = value(name);
        return !target->isEmpty() || fail(QStringLiteral("--%1 wants %2").arg(QLatin1String(name), findOption(QLatin1String(name))->wants));
    }
    // One of `choices` when given.
    bool oneOf(const char *name, const QStringList &choices, int *target)
    {
        if (!isSet(name))
            return true;
        if (!choices.contains(value(name)))
            return wrong(name);
        *target = value(name).toInt();
        return true;
    }

    QString error;
    bool showUsage = true;

private:
    const QCommandLineParser &parser;
};

// "1,2,5-8": IDs 0-255, each once, in the order given.
std::optional<QVector<quint8>> idList(const QString &text)
{
    QVector<quint8> ids;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return std::nullopt;
        const auto from = parseWhole(ends.first(), 0, 255);
        const auto to = parseWhole(ends.last(), 0, 255);
        if (!from || !to || *from > *to)
            return std::nullopt;
        for (quint64 id = *from; id <= *to; ++id) {
            if (ids.contains(quint8(id)))
                return std::nullopt;
            ids.append(quint8(id));
        }
    }
    return ids;
}

// "2026-12-07", "2026-12-07T13:00", "2026-12-07 13:00:05", with "Z" or an
// offset; without one the time is UTC, as the database keeps it.
std::optional<QDateTime> reportTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "^\\d{4}-\\d{2}-\\d{2}(?:[T ]\\d{2}:\\d{2}(?::\\d{2}(?:\\.\\d{1,3})?)?)?(Z|[+-]\\d{2}:\\d{2})?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    QString iso = text;
    iso.replace(QLatin1Char(' '), QLatin1Char('T'));
    if (m.captured(1).isEmpty())
        iso += QLatin1Char('Z');
    QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!t.isValid() && iso.size() >= 10)
        t = QDateTime(QDate::fromString(iso.left(10), Qt::ISODate), QTime(0, 0), Qt::UTC);
    if (!t.isValid())
        return std::nullopt;
    return t.toUTC();
}

// As a shell would take them back: arguments with blanks or quotes quoted, passwords as ***.
QString commandText(const QStringList &arguments)
{
    QStringList shown;
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@%+,-]+$"));
    for (const QString &argument : arguments) {
        const QString a = redactArgument(argument);
        shown << (plain.match(a).hasMatch()
                      ? a
                      : QLatin1Char('\'') + QString(a).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\''));
    }
    return shown.join(QLatin1Char(' '));
}

bool readLine(Reader &r, CliCommand command, LineOptions &l)
{
    l.sim = r.isSet("sim");
    if (l.sim && r.isSet("port"))
        return r.fail(QStringLiteral("--port and --sim exclude each other"));
    if (!r.text("port", &l.port) || !r.text("replay", &l.replay) || !r.text("capture", &l.capture))
        return false;
    const bool measures = command == CliCommand::Measure || command == CliCommand::Test;
    if (!l.replay.isEmpty()) {
        if (!measures)
            return r.fail(QStringLiteral("--replay works with measure and test only"));
        if (l.sim || r.isSet("port") || r.isSet("id") || r.isSet("ids") || r.isSet("capture"))
            return r.fail(QStringLiteral("--replay plays a capture: --port, --sim, --id, --ids and --capture do not apply"));
    }
    const bool needsLine = command != CliCommand::Ports && command != CliCommand::Sync && command != CliCommand::Report;
    if (!l.sim && l.port.isEmpty() && l.replay.isEmpty() && needsLine)
        return r.fail(findOption(QStringLiteral("sim")) ? QStringLiteral("--port NAME or --sim is required")
                                                        : QStringLiteral("--port NAME is required"));
    if (!r.oneOf("baud", {"115200", "9600", "921600"}, &l.baud))
        return false;
#ifdef KORVANI_WITH_SIM
    for (const QString &given : r.values("module")) {
        if (!l.sim)
            return r.fail(QStringLiteral("--module sets a simulated module: it needs --sim"));
        QString why;
        const std::optional<BusModuleOptions> m = parseBusModule(given, &why);
        if (!m)
            return r.fail(why);
        l.simModules.append(*m);
    }
#endif
    if (r.isSet("ids")) {
        if (r.isSet("id"))
            return r.fail(QStringLiteral("--id and --ids exclude each other"));
        const std::optional<QVector<quint8>> ids = idList(r.value("ids"));
        if (!ids)
            return r.wrong("ids");
        l.ids = *ids;
    }
    if (r.isSet("id") && command == CliCommand::Scan)
        return r.fail(QStringLiteral("scan addresses every ID itself: use --from and --to"));
    l.simAddressed = command == CliCommand::Scan;
    return r.whole("id", 0, 255, &l.id) && r.whole("timeout", 1, 60000, &l.timeoutMs)
           && r.milli("reconnect", 0, 86400000LL, &l.reconnectMs);
}

bool readOutput(Reader &r, CliCommand command, OutputOptions &o)
{
    if (r.isSet("format")) {
        const QString format = r.value("format");
        if (format == QLatin1String("csv"))
            o.format = OutputFormat::Csv;
        else if (format == QLatin1String("json"))
            o.format = OutputFormat::Json;
        else if (format == QLatin1String("html") && command == CliCommand::Report)
            o.html = true;
        else if (format != QLatin1String("text"))
            return r.fail(command == CliCommand::Report
                              ? QStringLiteral("--format wants text, csv, json or html, not '%1'").arg(format)
                              : QStringLiteral("--format wants text, csv or json, not '%1'").arg(format));
    }
    return r.text("output", &o.file);
}

bool readRun(Reader &r, CliCommand command, RunOptions &run)
{
    run.fixed = r.isSet("fixed");
    run.stats = r.isSet("stats") || command == CliCommand::Test || command == CliCommand::Study;
    return r.whole("count", 1, MaxFrames, &run.count) && r.milli("duration", 1, 86400000LL * 365, &run.durationMs)
           && r.oneOf("rate", {"10", "20", "50", "100"}, &run.rateHz);
}

bool readPoints(Reader &r, const LimitsFile &file, CliOptions &o);

// "0.001", "1.33": a plain decimal number up to 1000, nine decimals at most.
std::optional<double> decimal(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{1,9})?$"));
    if (!form.match(text).hasMatch() || text.toDouble() > 1000)
        return std::nullopt;
    return text.toDouble();
}

// A limits file gives what the command line leaves out; a run length on the
// command line (count or duration) replaces the file's.
bool readTest(Reader &r, CliOptions &o)
{
    TestOptions &t = o.test;
    LimitsFile file;
    if (r.isSet("limits")) {
        LimitsError error;
        const std::optional<LimitsFile> read = readLimitsFile(r.value("limits"), &error);
        if (!read) {
            r.showUsage = false;  // the file is at fault, not the arguments
            return r.fail(error.text());
        }
        file = *read;
        if (!r.isSet("count") && !r.isSet("duration")) {
            o.run.count = file.count;
            o.run.durationMs = file.durationMs;
        }
        if (!r.isSet("rate") && file.rateHz)
            o.run.rateHz = *file.rateHz;
        t.marginalMilli = file.marginalMilli;
        t.hardwarePattern = file.hardwarePattern;
        t.firmwarePattern = file.firmwarePattern;
        o.keep.product = file.product;
        o.keep.limitsVersion = file.version;
        o.keep.limitsSha256 = file.sha256;
        o.keep.marginalMilli = file.marginalMilli;
    }
    if (o.command != CliCommand::Test && o.command != CliCommand::Study)
        return true;
    // A run across the range: --points, or the limits file's points unless
    // the command line gives one --reference.
    const bool acrossRange = o.command == CliCommand::Test && (r.isSet("points") || (file.points && !r.isSet("reference")));
    if (r.isSet("points") && r.isSet("reference"))
        return r.fail(QStringLiteral("--points replaces --reference: give one of them"));
    for (const char *name : {"move", "move-timeout", "settle", "max-slope"}) {
        if (r.isSet(name) && !acrossRange)
            return r.fail(QStringLiteral("--%1 goes with --points").arg(QLatin1String(name)));
    }
    const bool pointsTolerances = !r.isSet("points") && file.points
                                  && std::all_of(file.points->cbegin(), file.points->cend(),
                                                 [](const LimitPoint &p) { return p.toleranceMilli.has_value(); });
    if (acrossRange && !(r.isSet("tolerance") || file.toleranceMilli || pointsTolerances))
        return r.fail(QStringLiteral("test --points needs --tolerance MM (or tolerances in the limits file)"));
    if (!acrossRange && (!(r.isSet("reference") || file.referenceMilli) || !(r.isSet("tolerance") || file.toleranceMilli)))
        return r.fail(QStringLiteral("%1 needs --reference MM and --tolerance MM (or both in the limits file)")
                          .arg(o.command == CliCommand::Study ? QStringLiteral("study") : QStringLiteral("test")));
    TestLimits &l = t.limits;
    l.referenceMilli = file.referenceMilli.value_or(0);
    l.toleranceMilli = file.toleranceMilli.value_or(0);
    l.maxSigmaMilli = file.maxSigmaMilli;
    l.minAmplitudeMilli = file.minAmplitudeMilli;
    l.maxOutside = file.maxOutside.value_or(0);
    if (!(r.milli("reference", 0, MaxMilli, &l.referenceMilli) && r.milli("tolerance", 0, MaxMilli, &l.toleranceMilli)
          && r.milli("max-sigma", 0, MaxMilli, &l.maxSigmaMilli)
          && r.milli("min-amplitude", 0, MaxMilli, &l.minAmplitudeMilli)
          && r.whole("max-outside", 0, MaxFrames, &l.maxOutside)))
        return false;
    if (r.isSet("min-cg")) {
        const std::optional<double> minimum = decimal(r.value("min-cg"));
        if (!minimum || *minimum <= 0)
            return r.wrong("min-cg");
        o.study.minCg = *minimum;
    }
    if (o.command == CliCommand::Study && l.toleranceMilli == 0)
        return r.fail(QStringLiteral("study needs a tolerance above 0"));
    return !acrossRange || readPoints(r, file, o);
}

// The points of a run across the range and how the target gets there.
bool readPoints(Reader &r, const LimitsFile &file, CliOptions &o)
{
    PointsOptions &p = o.points;
    const qint64 tolerance = o.test.limits.toleranceMilli;
    if (r.isSet("points")) {
        for (const QString &given : r.value("points").split(QLatin1Char(','))) {
            const std::optional<qint64> mm = parseThousandths(given.trimmed(), 0, MaxMilli);
            if (!mm || std::any_of(p.points.cbegin(), p.points.cend(),
                                   [&mm](const PointsOptions::Point &q) { return q.referenceMilli == *mm; }))
                return r.wrong("points");
            p.points.append({*mm, tolerance});
        }
    } else {
        // The command line's --tolerance outweighs the file's, the points' own included.
        for (const LimitPoint &q : *file.points)
            p.points.append({q.referenceMilli, r.isSet("tolerance") ? tolerance : q.toleranceMilli.value_or(tolerance)});
    }
    o.keep.acrossRange = true;
    if (!r.text("move", &p.moveCommand) || !r.whole("move-timeout", 1, 86400, &p.moveTimeoutS)
        || !r.whole("settle", 0, 600000, &p.settleMs))
        return false;
    if (r.isSet("max-slope") && !(p.maxSlope = decimal(r.value("max-slope"))))
        return r.wrong("max-slope");
    if (!o.line.replay.isEmpty())
        return r.fail(QStringLiteral("--points moves the target between points: it does not go with --replay"));
    return true;
}

bool readKeep(Reader &r, CliOptions &o, const QStringList &arguments)
{
    KeepOptions &k = o.keep;
    const CliCommand c = o.command;
    const bool keepsRuns = c == CliCommand::Test || c == CliCommand::Study || c == CliCommand::Sync || c == CliCommand::Report
                           || (c == CliCommand::Measure && o.run.stats);
    if (r.isSet("db") && !keepsRuns)
        return r.fail(QStringLiteral("--db keeps the summary of a run: measure needs --stats"));
    // sync sends every run to its own database; --db picks one of them.
    const bool fromEnvironment = keepsRuns && c != CliCommand::Sync;
    k.db = r.isSet("db") ? r.value("db") : fromEnvironment ? qEnvironmentVariable("KORVANI_DB") : QString();
    if (!k.db.isEmpty()) {
        QString error;
        if (!parseDbTarget(k.db, &error))
            return r.fail(QStringLiteral("--db: %1").arg(error));
    } else if (r.isSet("db")) {
        return r.wrong("db");
    }
    if (c == CliCommand::Report && k.db.isEmpty())
        return r.fail(QStringLiteral("report needs --db TARGET (or KORVANI_DB)"));
    k.command = c;
    k.dbRecords = r.isSet("db-records");
    if (k.dbRecords && k.db.isEmpty())
        return r.fail(QStringLiteral("--db-records needs --db TARGET (or KORVANI_DB)"));
    if (!r.text("spool", &k.spool))
        return false;
    int timeoutS = 5;
    if (!r.whole("db-timeout", 2, 600, &timeoutS))
        return false;
    k.dbTimeoutMs = timeoutS * 1000;
    k.station = r.value("station");
    k.operatorName = r.value("operator");
    k.baud = o.line.baud;
    k.id = o.line.id;
    k.commandText = commandText(arguments);
    if (o.line.ids.isEmpty()) {
        k.serial = r.value("serial");
        return true;
    }
    // One serial number per module: --serial ID=SN.
    static const QRegularExpression pair(QStringLiteral("^([0-9]{1,3})=(.+)$"));
    for (const QString &given : r.values("serial")) {
        const QRegularExpressionMatch m = pair.match(given);
        const std::optional<quint64> id = m.hasMatch() ? parseWhole(m.captured(1), 0, 255) : std::nullopt;
        if (!id || !o.line.ids.contains(quint8(*id)))
            return r.fail(QStringLiteral("with --ids, --serial wants ID=SN for a listed ID, not '%1'").arg(given));
        if (o.test.serials.contains(int(*id)))
            return r.fail(QStringLiteral("--serial: ID %1 given twice").arg(*id));
        o.test.serials.insert(int(*id), m.captured(2));
    }
    return true;
}

bool readReport(Reader &r, const KeepOptions &keep, ReportOptions &rep)
{
    rep.db = keep.db;
    rep.station = keep.station;
    rep.serial = keep.serial;
    rep.product = r.value("product");
    for (const auto &[name, target] :
         {std::pair<const char *, std::optional<QDateTime> *>{"since", &rep.since}, {"until", &rep.until}}) {
        if (r.isSet(name) && !(*target = reportTime(r.value(name))))
            return r.wrong(name);
    }
    if (r.isSet("by")) {
        const std::optional<GroupBy> by = groupByFromName(r.value("by"));
        if (!by)
            return r.wrong("by");
        rep.groupBy = *by;
    }
    if (r.isSet("serial") && (r.isSet("by") || r.isSet("since") || r.isSet("until") || r.isSet("station") || r.isSet("product")))
        return r.fail(QStringLiteral("--serial shows one unit's whole history: it takes no other selection"));
    return true;
}

bool readModuleCommand(Reader &r, const CommandDecl &c, QStringList positional, ModuleCommandOptions &m)
{
    if (!r.whole("from", 0, 255, &m.scanFrom) || !r.whole("to", 0, 255, &m.scanTo))
        return false;
    if (m.scanFrom > m.scanTo)
        return r.fail(QStringLiteral("--from %1 is above --to %2").arg(m.scanFrom).arg(m.scanTo));
    switch (c.command) {
    case CliCommand::Threshold:
        if (positional.size() > 1)
            return r.fail(QStringLiteral("threshold takes at most one value"));
        if (!positional.isEmpty()) {
            const std::optional<quint64> mm = parseWhole(positional.first(), 0, 65535);
            if (!mm)
                return r.fail(QStringLiteral("threshold wants a decimal number from 0 to 65535, not '%1'").arg(positional.first()));
            m.threshold = quint16(*mm);
        }
        return true;
    case CliCommand::Integration: {
        if (positional.size() != 1)
            return r.fail(QStringLiteral("integration wants one time in microseconds"));
        const std::optional<quint64> us = parseWhole(positional.first(), 10, 5280);
        if (!us)
            return r.fail(QStringLiteral("integration wants microseconds from 10 to 5280, not '%1'").arg(positional.first()));
        m.integrationUs = quint16(*us);
        return true;
    }
    case CliCommand::Send: {
        const std::optional<QByteArray> tokens = parseCommandLine(positional.join(QLatin1Char(' ')));
        if (!tokens)
            return r.fail(QStringLiteral("send wants 1 to %1 hexadecimal bytes, the command code first").arg(MaxCommandLineTokens));
        m.sendTokens = *tokens;
        return true;
    }
    default:
        if (!positional.isEmpty())
            return r.fail(QStringLiteral("%1 takes no argument '%2'").arg(c.name, positional.first()));
        return true;
    }
}

} // namespace

quint64 expectedFrames(const RunOptions &run, const LineOptions &line, int frameBytes, qint64 absentMs)
{
    const int pollBytes = line.id ? commandFrame(Command::Single, QByteArray(), line.id).size() : 0;
    const quint64 byDuration =
        run.durationMs ? deliverableFrames(qMax<qint64>(0, *run.durationMs - absentMs), run.rateHz, line.baud,
                                           frameBytes, pollBytes)
                       : 0;
    if (run.count && run.durationMs)
        return std::min(*run.count, byDuration);
    if (run.durationMs)
        return byDuration;
    return run.count.value_or(100);
}

ParsedArguments parseArguments(const QStringList &arguments)
{
    ParsedArguments result;
    CliOptions &o = result.options;
    const auto fail = [&result](const QString &message) {
        result.error = message;
        return result;
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionDecl &d : optionTable()) {
        QStringList names{d.name};
        if (d.name == QLatin1String("help"))
            names.prepend(QStringLiteral("h"));
        parser.addOption(QCommandLineOption(names, d.help, d.value));
    }
    if (!parser.parse(QStringList{QStringLiteral("korvani-cli")} + arguments))
        return fail(parser.errorText());
    result.help = parser.isSet(QStringLiteral("help"));
    result.version = parser.isSet(QStringLiteral("version"));
    if (result.help || result.version)
        return result;

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral("no command given"));
    const QString name = positional.takeFirst();
    const CommandDecl *command = findCommand(name);
    if (!command)
        return fail(QStringLiteral("unknown command '%1'").arg(name));
    o.command = command->command;

    // Every option given must belong to the line or to this command.
    for (const QString &option : parser.optionNames()) {
        const OptionDecl *d = findOption(option);
        if (!d || isLineOption(*d))
            continue;
        if (!command->required.contains(option) && !command->own.contains(option) && !command->also.contains(option)) {
            if (d->section == OptionSection::Output)
                return fail(option == QLatin1String("output")
                                ? QStringLiteral("%1 writes no records: --output does not apply").arg(name)
                                : QStringLiteral("%1 prints no records or values: --format does not apply").arg(name));
            return fail(QStringLiteral("%1 takes no --%2").arg(name, option));
        }
    }
    // --module, and --serial with --ids (ID=SN, one per module), may be repeated.
    for (const QString &option : parser.optionNames()) {
        const bool repeatable = option == QLatin1String("module")
                                || (option == QLatin1String("serial") && parser.isSet(QStringLiteral("ids")));
        if (parser.values(option).size() > 1 && !repeatable)
            return fail(QStringLiteral("--%1 given more than once").arg(option));
    }

    Reader r(parser);
    const bool ok = readLine(r, o.command, o.line) && readOutput(r, o.command, o.output)
                    && readRun(r, o.command, o.run) && readTest(r, o) && readKeep(r, o, arguments)
                    && (o.command != CliCommand::Report || readReport(r, o.keep, o.report))
                    && readModuleCommand(r, *command, positional, o.module);
    if (!ok) {
        result.error = r.error;
        result.showUsage = r.showUsage;
        return result;
    }
    // A run with neither a count nor a duration takes 100 frames; a study 50.
    if ((o.command == CliCommand::Measure || o.command == CliCommand::Test) && !o.run.count && !o.run.durationMs)
        o.run.count = 100;
    if (o.command == CliCommand::Study && !o.run.count && !o.run.durationMs)
        o.run.count = 50;
    return result;
}
