#include "options.h"

#include "protocol/commandline.h"
#include "results/dbtarget.h"
#include "results/limitsfile.h"
#include "protocol/commands.h"
#include "protocol/pollschedule.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {

// A build without the simulated module (-DKORVANI_SIM=OFF) has no --sim.
#ifdef KORVANI_WITH_SIM
constexpr bool WithSim = true;
#else
constexpr bool WithSim = false;
#endif

struct CommandEntry {
    const char *name;
    CliCommand command;
    QStringList options;  // the command's own options, besides the line's
};

const QList<CommandEntry> &commands()
{
    static const QList<CommandEntry> list = {
        {"ports", CliCommand::Ports, {}},
        {"version", CliCommand::Version, {"format"}},
        {"info", CliCommand::Info, {"format"}},
        {"single", CliCommand::Single, {"fixed", "output", "format"}},
        {"measure", CliCommand::Measure,
         {"count", "duration", "rate", "fixed", "stats", "output", "format", "db", "db-records", "spool",
          "station", "operator", "serial"}},
        {"test", CliCommand::Test,
         {"reference", "tolerance", "count", "duration", "rate", "fixed", "max-sigma",
          "min-amplitude", "max-outside", "output", "format", "limits", "db", "db-records", "spool",
          "station", "operator", "serial", "ids", "points", "move", "move-timeout", "settle", "max-slope"}},
        {"study", CliCommand::Study,
         {"reference", "tolerance", "count", "rate", "fixed", "min-cg", "output", "format", "limits", "db",
          "db-records", "spool", "station", "operator", "serial"}},
        {"threshold", CliCommand::Threshold, {"format"}},
        {"integration", CliCommand::Integration, {}},
        {"restart", CliCommand::Restart, {}},
        {"send", CliCommand::Send, {}},
        {"scan", CliCommand::Scan, {"from", "to"}},
        {"sync", CliCommand::Sync, {"db", "spool"}},
        {"report", CliCommand::Report,
         {"db", "since", "until", "station", "product", "by", "serial", "output", "format"}},
    };
    return list;
}

const QStringList lineOptions = {"port", "sim", "module", "baud", "id", "timeout", "help", "capture", "replay"};

std::optional<quint64> wholeNumber(const QString &text, quint64 low, quint64 high)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const quint64 value = text.toULongLong();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

// "12", "12.5", "0.125": thousandths, at most `high` of them.
std::optional<qint64> thousandths(const QString &text, qint64 high)
{
    static const QRegularExpression decimal(QStringLiteral("^([0-9]{1,9})(?:\\.([0-9]{1,3}))?$"));
    const QRegularExpressionMatch m = decimal.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString fraction = m.captured(2).leftJustified(3, QLatin1Char('0'));
    const qint64 value = m.captured(1).toLongLong() * 1000 + fraction.toLongLong();
    if (value > high)
        return std::nullopt;
    return value;
}

constexpr qint64 MaxMilli = 65535000;  // the largest distance the module reports

// "0.001", "1.33": a plain decimal number, at most 1000.
std::optional<double> positiveDecimal(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{1,9})?$"));
    if (!decimal.match(text).hasMatch() || text.toDouble() > 1000)
        return std::nullopt;
    return text.toDouble();
}

// "1,2,5-8": IDs 0-255, each once, in the order given.
std::optional<QVector<quint8>> idList(const QString &text)
{
    QVector<quint8> ids;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return std::nullopt;
        const auto from = wholeNumber(ends.first(), 0, 255);
        const auto to = wholeNumber(ends.last(), 0, 255);
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

} // namespace

quint64 CliOptions::expectedFrames(int frameBytes) const
{
    const int pollBytes = id ? commandFrame(Command::Single, QByteArray(), id).size() : 0;
    const quint64 byDuration = durationMs ? deliverableFrames(*durationMs, rateHz, baud, frameBytes, pollBytes) : 0;
    if (count && durationMs)
        return std::min(*count, byDuration);
    if (durationMs)
        return byDuration;
    return count.value_or(100);
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
    const auto valued = [&parser](const char *name) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("v")));
    };
    const auto flag = [&parser](const char *name) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    };
    for (const char *name : {"port", "baud", "id", "timeout", "format", "output", "count", "duration",
                             "rate", "reference", "tolerance", "max-sigma", "min-amplitude",
                             "max-outside", "from", "to", "limits", "db", "spool", "station", "operator",
                             "serial", "since", "until", "product", "by", "ids", "capture", "replay", "points",
                             "move", "move-timeout", "settle", "max-slope", "min-cg"})
        valued(name);
    for (const char *name : {"fixed", "stats", "db-records"})
        flag(name);
    if (WithSim) {
        flag("sim");
        valued("module");
    }
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));

    if (!parser.parse(QStringList{QStringLiteral("korvani-cli")} + arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        result.help = true;
        return result;
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral("no command given"));
    const QString name = positional.takeFirst();
    const auto command = std::find_if(commands().cbegin(), commands().cend(),
                                      [&name](const CommandEntry &c) { return name == QLatin1String(c.name); });
    if (command == commands().cend())
        return fail(QStringLiteral("unknown command '%1'").arg(name));
    o.command = command->command;

    // Every option given must belong to the line or to this command.
    for (const QString &option : parser.optionNames()) {
        const QString longName = option == QLatin1String("h") ? QStringLiteral("help") : option;
        if (!lineOptions.contains(longName) && !command->options.contains(longName)
            && longName != QLatin1String("format") && longName != QLatin1String("output"))
            return fail(QStringLiteral("%1 takes no --%2").arg(name, longName));
    }
    if (parser.isSet(QStringLiteral("output")) && !command->options.contains(QStringLiteral("output")))
        return fail(QStringLiteral("%1 writes no records: --output does not apply").arg(name));
    if (parser.isSet(QStringLiteral("format")) && !command->options.contains(QStringLiteral("format")))
        return fail(QStringLiteral("%1 prints no records or values: --format does not apply").arg(name));
    // --module, and --serial with --ids (ID=SN, one per module), may be repeated.
    for (const QString &option : parser.optionNames()) {
        const bool repeatable = option == QLatin1String("module")
                                || (option == QLatin1String("serial") && parser.isSet(QStringLiteral("ids")));
        if (parser.values(option).size() > 1 && !repeatable)
            return fail(QStringLiteral("--%1 given more than once").arg(option));
    }

    const auto value = [&parser](const char *option) { return parser.value(QString::fromLatin1(option)); };
    const auto isSet = [&parser](const char *option) { return parser.isSet(QString::fromLatin1(option)); };

    // The line.
    o.sim = WithSim && isSet("sim");
    o.port = value("port");
    if (o.sim && isSet("port"))
        return fail(QStringLiteral("--port and --sim exclude each other"));
    if (isSet("port") && o.port.isEmpty())
        return fail(QStringLiteral("--port wants a port name"));
    if (isSet("replay")) {
        o.replay = value("replay");
        if (o.replay.isEmpty())
            return fail(QStringLiteral("--replay wants a capture file"));
        if (o.command != CliCommand::Measure && o.command != CliCommand::Test)
            return fail(QStringLiteral("--replay works with measure and test only"));
        if (o.sim || isSet("port") || isSet("id") || isSet("ids") || isSet("capture"))
            return fail(QStringLiteral("--replay plays a capture: --port, --sim, --id, --ids and --capture do not apply"));
    }
    if (isSet("capture")) {
        o.capture = value("capture");
        if (o.capture.isEmpty())
            return fail(QStringLiteral("--capture wants a file name"));
    }
    if (!o.sim && !isSet("port") && o.replay.isEmpty() && o.command != CliCommand::Ports
        && o.command != CliCommand::Sync && o.command != CliCommand::Report)
        return fail(WithSim ? QStringLiteral("--port NAME or --sim is required")
                            : QStringLiteral("--port NAME is required"));
    if (isSet("baud")) {
        const QString baud = value("baud");
        if (baud != QLatin1String("115200") && baud != QLatin1String("9600")
            && baud != QLatin1String("921600"))
            return fail(QStringLiteral("--baud wants 115200, 9600 or 921600, not '%1'").arg(baud));
        o.baud = baud.toInt();
    }
#ifdef KORVANI_WITH_SIM
    for (const QString &given : parser.values(QStringLiteral("module"))) {
        if (!o.sim)
            return fail(QStringLiteral("--module sets a simulated module: it needs --sim"));
        QString why;
        const std::optional<BusModuleOptions> m = parseBusModule(given, &why);
        if (!m)
            return fail(why);
        o.simModules.append(*m);
    }
#endif
    if (isSet("ids")) {
        if (isSet("id"))
            return fail(QStringLiteral("--id and --ids exclude each other"));
        const std::optional<QVector<quint8>> ids = idList(value("ids"));
        if (!ids)
            return fail(QStringLiteral("--ids wants device IDs from 0 to 255 such as 1,2,5-8, each once, not '%1'")
                            .arg(value("ids")));
        o.ids = *ids;
    }
    if (isSet("id")) {
        if (o.command == CliCommand::Scan)
            return fail(QStringLiteral("scan addresses every ID itself: use --from and --to"));
        const auto id = wholeNumber(value("id"), 0, 255);
        if (!id)
            return fail(QStringLiteral("--id wants a decimal number from 0 to 255, not '%1'").arg(value("id")));
        o.id = quint8(*id);
    }
    if (isSet("timeout")) {
        const auto ms = wholeNumber(value("timeout"), 1, 60000);
        if (!ms)
            return fail(QStringLiteral("--timeout wants milliseconds from 1 to 60000, not '%1'").arg(value("timeout")));
        o.timeoutMs = int(*ms);
    }
    if (isSet("format")) {
        const QString format = value("format");
        if (format == QLatin1String("text"))
            o.format = OutputFormat::Text;
        else if (format == QLatin1String("csv"))
            o.format = OutputFormat::Csv;
        else if (format == QLatin1String("json"))
            o.format = OutputFormat::Json;
        else if (format == QLatin1String("html") && o.command == CliCommand::Report)
            o.html = true;
        else
            return fail(QStringLiteral("--format wants text, csv or json, not '%1'").arg(format));
    }
    if (isSet("output")) {
        o.output = value("output");
        if (o.output.isEmpty())
            return fail(QStringLiteral("--output wants a file name"));
    }

    // Measurement runs.
    o.fixed = isSet("fixed");
    o.stats = isSet("stats") || o.command == CliCommand::Test;
    if (isSet("count")) {
        o.count = wholeNumber(value("count"), 1, 0xFFFFFFFFULL);
        if (!o.count)
            return fail(QStringLiteral("--count wants a whole number of frames from 1, not '%1'").arg(value("count")));
    }
    if (isSet("duration")) {
        const auto ms = thousandths(value("duration"), 86400000LL * 365);
        if (!ms || *ms == 0)
            return fail(QStringLiteral("--duration wants seconds above 0, not '%1'").arg(value("duration")));
        o.durationMs = *ms;
    }
    if (isSet("rate")) {
        const QString rate = value("rate");
        if (!QStringList{"10", "20", "50", "100"}.contains(rate))
            return fail(QStringLiteral("--rate wants 10, 20, 50 or 100, not '%1'").arg(rate));
        o.rateHz = rate.toInt();
    }

    // A limits file gives what the command line leaves out; a run length on
    // the command line (count or duration) replaces the file's.
    std::optional<LimitsFile> file;
    if (isSet("limits")) {
        LimitsError error;
        file = readLimitsFile(value("limits"), &error);
        if (!file)
            return fail(error.text());
        if (!isSet("count") && !isSet("duration")) {
            o.count = file->count;
            o.durationMs = file->durationMs;
        }
        if (!isSet("rate") && file->rateHz)
            o.rateHz = *file->rateHz;
        o.marginalMilli = file->marginalMilli;
        o.hardwarePattern = file->hardwarePattern;
        o.firmwarePattern = file->firmwarePattern;
        o.product = file->product;
        o.limitsVersion = file->version;
        o.limitsSha256 = file->sha256;
    }

    // A run with neither a count nor a duration takes 100 frames; a study 50.
    if ((o.command == CliCommand::Measure || o.command == CliCommand::Test) && !o.count && !o.durationMs)
        o.count = 100;
    if (o.command == CliCommand::Study && !o.count && !o.durationMs)
        o.count = 50;

    // Test limits.
    const auto millimetres = [&](const char *option, qint64 *target) {
        const auto milli = thousandths(value(option), MaxMilli);
        if (!milli) {
            result.error = QStringLiteral("--%1 wants millimetres from 0 to 65535 (up to three decimals), not '%2'")
                               .arg(QLatin1String(option), value(option));
            return false;
        }
        *target = *milli;
        return true;
    };
    const LimitsFile inFile = file.value_or(LimitsFile());
    const auto fromFile = [&](const char *option, const std::optional<qint64> &inFile, qint64 *target) {
        if (isSet(option))
            return millimetres(option, target);
        if (inFile)
            *target = *inFile;
        return true;
    };
    // A run across the range: --points, or the limits file's points unless
    // the command line gives one --reference.
    const bool acrossRange =
        o.command == CliCommand::Test && (isSet("points") || (inFile.points && !isSet("reference")));
    if (isSet("points") && isSet("reference"))
        return fail(QStringLiteral("--points replaces --reference: give one of them"));
    for (const char *option : {"move", "move-timeout", "settle", "max-slope"}) {
        if (isSet(option) && !acrossRange)
            return fail(QStringLiteral("--%1 goes with --points").arg(QLatin1String(option)));
    }
    if (acrossRange) {
        if (!o.replay.isEmpty() || !o.ids.isEmpty())
            return fail(QStringLiteral("--points moves the target between points: it does not go with %1")
                            .arg(o.replay.isEmpty() ? QStringLiteral("--ids") : QStringLiteral("--replay")));
        const bool eachHasOwn = !isSet("points") && inFile.points
                                && std::all_of(inFile.points->cbegin(), inFile.points->cend(),
                                               [](const LimitPoint &p) { return p.toleranceMilli.has_value(); });
        if (!(isSet("tolerance") || inFile.toleranceMilli || eachHasOwn))
            return fail(QStringLiteral("test --points needs --tolerance MM (or tolerances in the limits file)"));
        if (!fromFile("tolerance", inFile.toleranceMilli, &o.toleranceMilli))
            return result;
        if (isSet("points")) {
            for (const QString &given : value("points").split(QLatin1Char(','))) {
                const auto milli = thousandths(given.trimmed(), MaxMilli);
                if (!milli || std::any_of(o.points.cbegin(), o.points.cend(),
                                          [&](const CliOptions::RunPoint &p) { return p.referenceMilli == *milli; }))
                    return fail(QStringLiteral("--points wants distinct distances in mm such as 500,1000,2000, not '%1'")
                                    .arg(value("points")));
                o.points.append({*milli, o.toleranceMilli});
            }
        } else {
            // The command line's --tolerance outweighs the file's, the point's own included.
            for (const LimitPoint &p : *inFile.points)
                o.points.append({p.referenceMilli, isSet("tolerance") ? o.toleranceMilli
                                                                      : p.toleranceMilli.value_or(o.toleranceMilli)});
        }
        if (isSet("move")) {
            o.moveCommand = value("move");
            if (o.moveCommand.trimmed().isEmpty())
                return fail(QStringLiteral("--move wants a command"));
        }
        if (isSet("move-timeout")) {
            const auto s = wholeNumber(value("move-timeout"), 1, 86400);
            if (!s)
                return fail(QStringLiteral("--move-timeout wants seconds from 1 to 86400, not '%1'").arg(value("move-timeout")));
            o.moveTimeoutS = int(*s);
        }
        if (isSet("settle")) {
            const auto ms = wholeNumber(value("settle"), 0, 600000);
            if (!ms)
                return fail(QStringLiteral("--settle wants milliseconds from 0 to 600000, not '%1'").arg(value("settle")));
            o.settleMs = int(*ms);
        }
        if (isSet("max-slope")) {
            o.maxSlope = positiveDecimal(value("max-slope"));
            if (!o.maxSlope)
                return fail(QStringLiteral("--max-slope wants mm per mm such as 0.001, not '%1'").arg(value("max-slope")));
        }
    } else if (o.command == CliCommand::Test || o.command == CliCommand::Study) {
        if (!(isSet("reference") || inFile.referenceMilli) || !(isSet("tolerance") || inFile.toleranceMilli))
            return fail(QStringLiteral("%1 needs --reference MM and --tolerance MM (or both in the limits file)").arg(name));
        if (!fromFile("reference", inFile.referenceMilli, &o.referenceMilli)
            || !fromFile("tolerance", inFile.toleranceMilli, &o.toleranceMilli))
            return result;
    }
    if (isSet("min-cg")) {
        const std::optional<double> minimum = positiveDecimal(value("min-cg"));
        if (!minimum || *minimum <= 0)
            return fail(QStringLiteral("--min-cg wants a number above 0 such as 1.33, not '%1'").arg(value("min-cg")));
        o.minCg = *minimum;
    }
    if (o.command == CliCommand::Study && o.toleranceMilli == 0)
        return fail(QStringLiteral("study needs a tolerance above 0"));
    if (o.command == CliCommand::Test) {
        if (isSet("max-sigma") || inFile.maxSigmaMilli) {
            qint64 v = 0;
            if (!fromFile("max-sigma", inFile.maxSigmaMilli, &v))
                return result;
            o.maxSigmaMilli = v;
        }
        if (isSet("min-amplitude") || inFile.minAmplitudeMilli) {
            qint64 v = 0;
            if (!fromFile("min-amplitude", inFile.minAmplitudeMilli, &v))
                return result;
            o.minAmplitudeMilli = v;
        }
        if (isSet("max-outside")) {
            const auto n = wholeNumber(value("max-outside"), 0, 0xFFFFFFFFULL);
            if (!n)
                return fail(QStringLiteral("--max-outside wants a whole number, not '%1'").arg(value("max-outside")));
            o.maxOutside = *n;
        } else if (inFile.maxOutside) {
            o.maxOutside = *inFile.maxOutside;
        }
    }

    // The results database.
    const bool keepsRuns = o.command == CliCommand::Test || o.command == CliCommand::Study
                           || o.command == CliCommand::Sync || o.command == CliCommand::Report
                           || (o.command == CliCommand::Measure && o.stats);
    if (isSet("db") && !keepsRuns)
        return fail(QStringLiteral("--db keeps the summary of a run: measure needs --stats"));
    o.db = isSet("db") ? value("db") : keepsRuns ? qEnvironmentVariable("KORVANI_DB") : QString();
    if (!o.db.isEmpty()) {
        QString error;
        if (!parseDbTarget(o.db, &error))
            return fail(QStringLiteral("--db: %1").arg(error));
    } else if (isSet("db")) {
        return fail(QStringLiteral("--db wants a file or a postgresql:// URL"));
    }
    if ((o.command == CliCommand::Sync || o.command == CliCommand::Report) && o.db.isEmpty())
        return fail(QStringLiteral("%1 needs --db TARGET (or KORVANI_DB)").arg(name));
    o.dbRecords = isSet("db-records");
    if (o.dbRecords && o.db.isEmpty())
        return fail(QStringLiteral("--db-records needs --db TARGET (or KORVANI_DB)"));
    o.spool = value("spool");
    if (isSet("spool") && o.spool.isEmpty())
        return fail(QStringLiteral("--spool wants a file name"));
    o.station = value("station");
    o.operatorName = value("operator");
    if (o.ids.isEmpty()) {
        o.serial = value("serial");
    } else {
        // One serial number per module: --serial ID=SN.
        static const QRegularExpression pair(QStringLiteral("^([0-9]{1,3})=(.+)$"));
        for (const QString &given : parser.values(QStringLiteral("serial"))) {
            const QRegularExpressionMatch m = pair.match(given);
            const int id = m.hasMatch() ? m.captured(1).toInt() : -1;
            if (id < 0 || !o.ids.contains(quint8(id)) || id > 255)
                return fail(QStringLiteral("with --ids, --serial wants ID=SN for a listed ID, not '%1'").arg(given));
            if (o.serials.contains(id))
                return fail(QStringLiteral("--serial: ID %1 given twice").arg(id));
            o.serials.insert(id, m.captured(2));
        }
    }

    // The report's selection.
    if (o.command == CliCommand::Report) {
        for (const auto &[option, target] : {std::pair<const char *, std::optional<QDateTime> *>{"since", &o.since},
                                             {"until", &o.until}}) {
            if (!isSet(option))
                continue;
            *target = reportTime(value(option));
            if (!*target)
                return fail(QStringLiteral("--%1 wants a date or time (2026-12-07, 2026-12-07T13:00, UTC unless it says "
                                           "otherwise), not '%2'").arg(QLatin1String(option), value(option)));
        }
        o.product = value("product");
        if (isSet("by")) {
            const std::optional<GroupBy> by = groupByFromName(value("by"));
            if (!by)
                return fail(QStringLiteral("--by wants station, product, firmware, day or hour, not '%1'").arg(value("by")));
            o.groupBy = *by;
        }
        if (isSet("serial") && (isSet("by") || isSet("since") || isSet("until") || isSet("station") || isSet("product")))
            return fail(QStringLiteral("--serial shows one unit's whole history: it takes no other selection"));
    }
    // As a shell would take them back: arguments with blanks or quotes quoted.
    QStringList shown;
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@%+,-]+$"));
    for (const QString &argument : arguments) {
        const QString a = redactArgument(argument);
        shown << (plain.match(a).hasMatch() ? a
                                            : QLatin1Char('\'') + QString(a).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
                                                  + QLatin1Char('\''));
    }
    o.commandText = shown.join(QLatin1Char(' '));

    // Scan range.
    for (const auto &[option, target] : {std::pair<const char *, int *>{"from", &o.scanFrom}, {"to", &o.scanTo}}) {
        if (!isSet(option))
            continue;
        const auto id = wholeNumber(value(option), 0, 255);
        if (!id)
            return fail(QStringLiteral("--%1 wants a device ID from 0 to 255, not '%2'")
                            .arg(QLatin1String(option), value(option)));
        *target = int(*id);
    }
    if (o.scanFrom > o.scanTo)
        return fail(QStringLiteral("--from %1 is above --to %2").arg(o.scanFrom).arg(o.scanTo));

    // Command arguments.
    switch (o.command) {
    case CliCommand::Threshold:
        if (positional.size() > 1)
            return fail(QStringLiteral("threshold takes at most one value"));
        if (!positional.isEmpty()) {
            o.threshold = parseThreshold(positional.first());
            if (!o.threshold || !wholeNumber(positional.first(), 0, 65535))
                return fail(QStringLiteral("threshold wants a decimal number from 0 to 65535, not '%1'")
                                .arg(positional.first()));
        }
        break;
    case CliCommand::Integration: {
        if (positional.size() != 1)
            return fail(QStringLiteral("integration wants one time in microseconds"));
        const auto us = wholeNumber(positional.first(), 10, 5280);
        if (!us)
            return fail(QStringLiteral("integration wants microseconds from 10 to 5280, not '%1'")
                            .arg(positional.first()));
        o.integrationUs = quint16(*us);
        break;
    }
    case CliCommand::Send: {
        const std::optional<QByteArray> tokens = parseCommandLine(positional.join(QLatin1Char(' ')));
        if (!tokens)
            return fail(QStringLiteral("send wants 1 to %1 hexadecimal bytes, the command code first")
                            .arg(MaxCommandLineTokens));
        o.sendTokens = *tokens;
        break;
    }
    default:
        if (!positional.isEmpty())
            return fail(QStringLiteral("%1 takes no argument '%2'").arg(name, positional.first()));
        break;
    }
    return result;
}

QString usageLine()
{
    QString line = QStringLiteral(
        "usage: korvani-cli [--port NAME | --sim] [--baud 115200|9600|921600] [--id N] [--timeout MS]\n"
        "                   [--format text|csv|json] [--output FILE] [--capture FILE]\n"
        "                   [--replay FILE] COMMAND [ARGS]");
    return WithSim ? line : line.replace(QStringLiteral("[--port NAME | --sim]"), QStringLiteral("--port NAME"));
}

QString helpText()
{
    QString text = usageLine() + QStringLiteral(R"(

Checks and measures a laser distance module on a serial line, for test stations.

The line:
  --port NAME        the serial port (/dev/ttyUSB0, COM3, a pseudo-terminal path)
  --sim              use a built-in simulated module instead of a port
  --module MODULE    with --sim, a simulated bus (repeat for each module):
                     ID[,distance=MM][,noise=MM][,firmware=B-1.2.5][,hardware=A-0.1.2][,silent]
  --baud RATE        115200 (default), 9600 or 921600
  --id N             address one module on an RS485 bus (0-255)
  --timeout MS       answer time-out in milliseconds (default 100)
  --format FORMAT    records as text (default), csv or json (JSON Lines);
                     version, info and threshold as field,value rows (csv)
                     or one JSON object (json)
  --output FILE      write the records to FILE, as they arrive; the summary
                     and the verdict still go to standard output. An existing
                     FILE is replaced only once the first record comes.
  --capture FILE     keep every read and write on the line in FILE with its time
                     (a capture; written as it comes, at least every 100 ms)
  --replay FILE      measure or test on a capture instead of a port, as fast as
                     it reads; records keep their recorded times. A malformed
                     capture ends with "FILE:LINE: reason" and status 64
  -h, --help         this help

Commands:
  ports                          the serial ports present: name, tab, description
  version                        hardware and firmware versions (HARD: / SOFT:)
  info                           range, integration time, configuration, coefficients
  single [--fixed]               one single measurement (0x02; 0x01 with --fixed)
  measure [--count N] [--duration S] [--rate 10|20|50|100] [--fixed] [--stats]
                                 continuous measurement (default 100 frames at 100 Hz;
                                 the duration counts from the first frame). With --id
                                 it polls with addressed single measurements instead,
                                 timed from the start: every poll the duration holds
                                 is sent. Ctrl+C, a hang-up or a closed pipe stops
                                 the module and ends the run after its summary.
  test --reference MM --tolerance MM [--count N] [--duration S] [--rate HZ] [--fixed]
       [--max-sigma MM] [--min-amplitude A] [--max-outside N] [--limits FILE]
                                 reads the versions, then measures like measure, prints the summary and PASS or
                                 FAIL: <every failed limit>. PASS needs |mean - reference|
                                 <= tolerance, at most --max-outside (default 0) frames
                                 outside reference +- tolerance, sigma <= --max-sigma and
                                 mean amplitude >= --min-amplitude when given, and at
                                 least the expected number of frames, and versions that
                                 match the limits file's patterns.
                                 --limits FILE takes the limits, the run length and the
                                 version patterns from a JSON file; options override it.
  test --points MM[,MM...] --tolerance MM [--move CMD] [--move-timeout S] [--settle MS]
       [--max-slope X] ...
                                 one run across the range: before each point CMD runs
                                 through sh -c (KORVANI_POINT_MM, KORVANI_POINT_INDEX in its
                                 environment; exit 0 within --move-timeout, default 120 s),
                                 frames during --settle MS (default 300) are dropped, then
                                 the point is measured and judged like a test. Without
                                 --move: --sim moves its simulated target, else the
                                 terminal asks. The summary: each point's reference_mm,
                                 frames, mean_mm, bias_mm, sigma_mm, min_mm, max_mm,
                                 outside, result; the line of bias against reference
                                 (slope, intercept_mm, r2, max_abs_bias_mm). PASS when every
                                 point passes and |slope| <= --max-slope when given. A
                                 failed move: exit 2, the points measured are kept.
  study --reference MM --tolerance MM [--count N] [--min-cg X]
                                 a type-1 study: N frames (default 50), then with
                                 T = 2 x tolerance and s the sample sigma,
                                 Cg = 0.2 T / 6 s and Cgk = (0.1 T - |bias|) / 3 s;
                                 CAPABLE (exit 0) when both reach --min-cg (default
                                 1.33), else NOT CAPABLE (exit 1)
  test --ids LIST [--serial ID=SN ...] ...
                                 a fixture: every module of LIST (1,2,5-8) on one bus,
                                 polled in turn at the rate the line gives each (poll
                                 rate); a summary and verdict per module, prefixed
                                 "id N: "; a module that does not answer is ERROR.
                                 Exit 0 all passed, 1 any failed, 2 any did not answer.
  sync [--db TARGET] [--spool FILE]
                                 sends the runs waiting in the spool to the database
  report [--db TARGET] [--since T] [--until T] [--station S] [--product P]
         [--by station|product|firmware|day|hour] [--serial SN]
         [--format text|csv|json|html] [--output FILE]
                                 the test runs' figures per group (or all together):
                                 runs, units, PASS, FAIL, marginal, ERROR, first-pass and
                                 final yield, retests, accuracy mean and sigma,
                                 repeatability, Cp and Cpk, failed limits ranked; the
                                 capability per product. T: 2026-12-07 or
                                 2026-12-07T13:00 (UTC unless it says Z or +hh:mm).
                                 --serial: that unit's runs in order. html: one page with
                                 the tables and plots. Needs no port.
  threshold [VALUE]              sets the switching threshold (0-65535 mm), then reads it
  integration US                 sets the integration time (10-5280 us)
  restart                        restarts the module
  send HEX...                    one command line as the window frames it; prints every
                                 frame received until the time-out
  scan [--from A] [--to B]       asks the hardware version of every ID from A to B (0-255)

The results database (test, study, measure --stats):
  --db TARGET        keep every run: an SQLite file, or
                     postgresql://[user[:password]@]host[:port]/dbname[?key=value...]
                     (default: KORVANI_DB); a run that cannot reach it waits in
                     the spool and is sent by the next run or by sync
  --db-records       keep the measurements too
  --spool FILE       the spool (default $XDG_STATE_HOME/korvani/spool.sqlite)
  --station NAME     the station (default: the host name)
  --operator NAME    the operator
  --serial SN        the module's serial number

The summary (--stats, test): frames, expected, failed_checks (bytes the framer
discarded: failed checks and bytes outside frames), rate_hz, mean_mm,
sigma_mm (sample, n-1), min_mm, max_mm, median_mm (the mean of the two middle
distances for an even count); for test also reference_mm, tolerance_mm,
accuracy_mm (mean - reference), outside, verdict and failed.

Exit status:
  0   done, or the test passed
  1   the test failed (also when cut short), or the module holds another
      threshold than the one set
  2   the port could not be opened or is in use, the module did not answer,
      or the port went away; sync: the database could not take every run;
      report: it could not be read
  64  usage error, or a malformed capture (--replay)
  73  the --output file cannot be opened for writing
  74  a write failed (records, summary or lines lost: a full disk, say)
  128+N  measure cut short by signal N: 130 Ctrl+C, 129 hang-up, 143 SIGTERM,
      141 SIGPIPE or a closed pipe

Debug output is off; QT_LOGGING_RULES="korvani.*.debug=true" turns it on.
)");
    if (!WithSim)
        text.remove(QRegularExpression(QStringLiteral("\n  --sim [^\n]*|\n  --module [^\n]*\n[^\n]*")));
    return text;
}
