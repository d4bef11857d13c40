#include "optiontable.h"

#include "exitstatus.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// A build without the simulated module (-DKORVANI_SIM=OFF) has no --sim.
#ifdef KORVANI_WITH_SIM
constexpr bool WithSim = true;
#else
constexpr bool WithSim = false;
#endif

QVector<OptionDecl> allOptions()
{
    using S = OptionSection;
    const char *mm = "millimetres from 0 to 65535 (up to three decimals)";
    const char *when = "a date or time (2026-12-07, 2026-12-07T13:00, UTC unless it says otherwise)";
    return {
        {"port", "NAME", "the serial port (/dev/ttyUSB0, COM3, a pseudo-terminal path)", "a port name", S::Line},
        {"sim", "", "use a built-in simulated module instead of a port", "", S::Line, true},
        {"module", "MODULE",
         "with --sim, a simulated bus (repeat for each module):\n"
         "ID[,distance=MM][,noise=MM][,scale=X][,offset=MM][,firmware=B-1.2.5]\n"
         "[,hardware=A-0.1.2][,silent]",
         "", S::Line, true},
        {"baud", "RATE", "115200 (default), 9600 or 921600", "115200, 9600 or 921600", S::Line},
        {"id", "N", "address one module on an RS485 bus (0-255)", "a decimal number from 0 to 255", S::Line},
        {"timeout", "MS", "answer time-out in milliseconds (default 100)", "milliseconds from 1 to 60000", S::Line},
        {"capture", "FILE",
         "keep every read and write on the line in FILE with its time (a capture;\n"
         "written as it comes, at least every 100 ms); if it cannot be written\n"
         "the capture stops with a message and the run goes on",
         "a file name", S::Line},
        {"replay", "FILE",
         "measure or test on a capture instead of a port, as fast as it reads;\n"
         "records keep their recorded times, test the recorded versions. A\n"
         "malformed capture ends with \"FILE:LINE: reason\" and status 64",
         "a capture file", S::Line},
        {"help", "", "this help", "", S::Line},
        {"version", "", "korvani-cli's version", "", S::Line},

        {"format", "FORMAT",
         "text (default), csv or json (JSON Lines); version, info and threshold\n"
         "as field,value rows (csv) or one JSON object (json); report also html",
         "text, csv or json", S::Output},
        {"output", "FILE",
         "write the records (report: the report) to FILE; records as they\n"
         "arrive, an existing FILE replaced only once the first record comes;\n"
         "a report replaces FILE only once it is complete. The summary and the\n"
         "verdict still go to standard output",
         "a file name", S::Output},

        {"count", "N", "frames to measure (default 100)", "a whole number of frames from 1", S::Run},
        {"duration", "S", "seconds to measure, from the first frame (polled: from the start)",
         "seconds above 0 (up to three decimals)", S::Run},
        {"rate", "HZ", "10, 20, 50 or 100 frames a second (default 100)", "10, 20, 50 or 100", S::Run},
        {"fixed", "", "at the fixed exposure time (0x01, 0x03)", "", S::Run},
        {"stats", "", "print the summary after the records", "", S::Run},
        {"reconnect", "S",
         "measure, test: wait up to S seconds for a lost port's device (the\n"
         "same path, or a USB adapter's serial number under any name), reopen\n"
         "it and carry on; the summary counts the reconnects",
         "seconds from 0 (up to three decimals)", S::Run},

        {"reference", "MM", "the target's distance", mm, S::Test},
        {"tolerance", "MM", "the largest |mean - reference| that passes", mm, S::Test},
        {"max-sigma", "MM", "the largest standard deviation that passes", mm, S::Test},
        {"min-amplitude", "A", "the smallest mean amplitude that passes",
         "an amplitude from 0 to 65535 (up to three decimals)", S::Test},
        {"max-outside", "N", "frames outside reference +- tolerance that still pass (default 0)",
         "a whole number", S::Test},
        {"limits", "FILE", "the limits, run length and version patterns from a JSON file;\n"
                           "options given override it", "a limits file", S::Test},
        {"ids", "LIST", "a fixture: every module of LIST (1,2,5-8) on one bus, polled in turn",
         "device IDs from 0 to 255 such as 1,2,5-8, each once", S::Test},
        {"points", "MM,...", "one run across the range instead of --reference: each point measured\n"
                             "and judged like a test at that distance",
         "distinct distances in mm such as 500,1000,2000", S::Test},
        {"move", "CMD", "run CMD through sh -c before each point, with KORVANI_POINT_MM and\n"
                        "KORVANI_POINT_INDEX in its environment; it must exit with 0. Without\n"
                        "it a simulated module moves its own target, else the terminal asks",
         "a command", S::Test},
        {"move-timeout", "S", "seconds the move command may take (default 120)", "seconds from 1 to 86400", S::Test},
        {"settle", "MS", "frames arriving this long after a point's start are dropped (default 300)",
         "milliseconds from 0 to 600000", S::Test},
        {"max-slope", "X", "the largest |slope| of bias against reference that passes (mm per mm)",
         "mm per mm such as 0.001 (up to nine decimals)", S::Test},
        {"min-cg", "X", "study: the smallest Cg and Cgk of a capable module (default 1.33)",
         "a number above 0 such as 1.33", S::Test},

        {"db", "TARGET",
         "keep every run: an SQLite file, or\n"
         "postgresql://[user[:password]@]host[:port]/dbname[?key=value...]\n"
         "(default: KORVANI_DB); a run that cannot reach it waits in the\n"
         "spool and is sent by the next run or by sync",
         "a file or a postgresql:// URL", S::Results},
        {"db-records", "", "keep the measurements too", "", S::Results},
        {"spool", "FILE", "the spool (default $XDG_STATE_HOME/korvani/spool.sqlite)", "a file name", S::Results},
        {"db-timeout", "S", "give the database at most S seconds to connect and for\n"
                            "each step of a write, else spool the run (default 5)",
         "seconds from 2 to 600", S::Results},
        {"station", "NAME", "the station (default: the host name); report: its runs only", "a name", S::Results},
        {"operator", "NAME", "the operator", "a name", S::Results},
        {"serial", "SN", "the module's serial number (with --ids: ID=SN, once per module);\n"
                         "report: that unit's runs in order", "a serial number", S::Results},

        {"since", "T", "runs started at T or later: 2026-12-07 or 2026-12-07T13:00\n"
                       "(UTC unless it says Z or +hh:mm)", when, S::Report},
        {"until", "T", "runs started before T", when, S::Report},
        {"product", "P", "the runs of product P only", "a product name", S::Report},
        {"by", "GROUP", "one group per station, product, firmware, day or hour",
         "station, product, firmware, day or hour", S::Report},

        {"from", "A", "the first ID scanned (default 0)", "a device ID from 0 to 255", S::Scan},
        {"to", "B", "the last ID scanned (default 255)", "a device ID from 0 to 255", S::Scan},
    };
}

QVector<CommandDecl> allCommands()
{
    const QStringList run = {"count", "duration", "rate", "fixed"};
    const QStringList results = {"db", "db-records", "spool", "db-timeout", "station", "operator", "serial"};
    const QStringList output = {"output", "format"};
    return {
        {"ports", CliCommand::Ports, {}, {}, {}, "", "the serial ports present: name, tab, description"},
        {"version", CliCommand::Version, {}, {}, {"format"}, "", "hardware and firmware versions (HARD: / SOFT:)"},
        {"info", CliCommand::Info, {}, {}, {"format"}, "",
         "range, integration time, configuration, coefficients"},
        {"single", CliCommand::Single, {}, {"fixed"}, output, "", "one single measurement (0x02; 0x01 with --fixed)"},
        {"measure", CliCommand::Measure, {}, run + QStringList{"stats"}, output + results + QStringList{"reconnect"}, "",
         "continuous measurement (default 100 frames at 100 Hz; the duration\n"
         "counts from the first frame). With --id it polls with addressed\n"
         "single measurements instead, timed from the start. Ctrl+C, a\n"
         "hang-up or a closed pipe stops the module and ends the run after\n"
         "its summary. With --stats and --db the run is kept"},
        {"test", CliCommand::Test, {"reference", "tolerance"},
         run + QStringList{"max-sigma", "min-amplitude", "max-outside", "limits", "ids", "serial", "points", "move",
                           "move-timeout", "settle", "max-slope"},
         output + results + QStringList{"reconnect"}, "",
         "reads the versions, then measures like measure, prints the summary\n"
         "and PASS, PASS (marginal) or FAIL: <every failed limit>. PASS needs\n"
         "|mean - reference| <= tolerance, at most --max-outside frames outside\n"
         "reference +- tolerance, sigma <= --max-sigma and mean amplitude >=\n"
         "--min-amplitude when given, at least the expected number of frames,\n"
         "and versions that match the limits file's patterns. With --ids, a\n"
         "fixture: a summary and verdict per module, prefixed \"id N: \"; a\n"
         "module that does not answer is ERROR. Exit 0 all passed, 1 any\n"
         "failed, 2 any did not answer. With --points instead of --reference, one\n"
         "run across the range: the target put at each point (--move, the\n"
         "simulated rail or the terminal), each point's reference_mm, frames,\n"
         "mean_mm, bias_mm, sigma_mm, min_mm, max_mm, outside and result, then\n"
         "the line of bias against reference (slope, intercept_mm, r2,\n"
         "max_abs_bias_mm); PASS when every point passes and |slope| <=\n"
         "--max-slope. A failed move: exit 2, the points measured kept"},
        {"study", CliCommand::Study, {"reference", "tolerance"}, {"count", "rate", "fixed", "min-cg", "limits"},
         output + results, "",
         "a type-1 study: --count frames (default 50), then with T = 2 x\n"
         "tolerance and s the sample sigma, Cg = 0.2 T / 6 s and Cgk = (0.1 T -\n"
         "|mean - reference|) / 3 s; CAPABLE (exit 0) when both reach --min-cg,\n"
         "else NOT CAPABLE (exit 1); no Cg/Cgk when s = 0"},
        {"threshold", CliCommand::Threshold, {}, {}, {"format"}, "[VALUE]",
         "sets the switching threshold (0-65535 mm), then reads it"},
        {"integration", CliCommand::Integration, {}, {}, {}, "US", "sets the integration time (10-5280 us)"},
        {"restart", CliCommand::Restart, {}, {}, {}, "", "restarts the module"},
        {"send", CliCommand::Send, {}, {}, {}, "HEX...",
         "one command line as the window frames it; prints every frame\n"
         "received until the time-out"},
        {"scan", CliCommand::Scan, {}, {"from", "to"}, {}, "",
         "asks the hardware version of every ID from A to B (0-255)"},
        {"sync", CliCommand::Sync, {}, {"db", "spool", "db-timeout"}, {}, "",
         "sends the runs waiting in the spool, each to its own database\n"
         "(--db: only those for TARGET)"},
        {"report", CliCommand::Report, {},
         {"db", "since", "until", "station", "product", "by", "serial", "format", "output"}, {}, "",
         "the test runs' figures per group (or all together): runs, units,\n"
         "PASS, FAIL, marginal, ERROR, first-pass and final yield, retests,\n"
         "accuracy mean and sigma, repeatability, Cp and Cpk, failed limits\n"
         "ranked; the capability per product. --serial: that unit's runs in\n"
         "order. --format html: one page with the tables and plots. Needs no port"},
    };
}

constexpr int HelpColumn = 22;
constexpr int HelpWidth = 79;

QString wrapped(const QStringList &words, int width, const QString &indent);

// `text` after `head`, from the help column, its words wrapped to the width
// (a line of `text` starting with a blank starts a new line).
QString helpEntry(const QString &head, const QString &text)
{
    const QString indent(HelpColumn, QLatin1Char(' '));
    QString out = QStringLiteral("  ") + head;
    const int lastLine = int(out.size() - out.lastIndexOf(QLatin1Char('\n')) - 1);
    out += lastLine < HelpColumn - 1 ? QString(HelpColumn - lastLine, QLatin1Char(' ')) : QLatin1Char('\n') + indent;
    QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    words.first().prepend(QString(HelpColumn, QLatin1Char('x')));  // the column the first word starts at
    out += wrapped(words, HelpWidth, indent).mid(HelpColumn);
    return out + QLatin1Char('\n');
}

QString optionHead(const OptionDecl &o)
{
    return (o.name == QLatin1String("help") ? QStringLiteral("-h, --help") : QStringLiteral("--") + o.name)
           + (o.value.isEmpty() ? QString() : QLatin1Char(' ') + o.value);
}

// Words joined into lines of at most `width`, continued lines indented by `indent`.
QString wrapped(const QStringList &words, int width, const QString &indent)
{
    QString out, line;
    for (const QString &w : words) {
        if (!line.isEmpty() && line.size() + 1 + w.size() > width) {
            out += line + QLatin1Char('\n');
            line = indent;
        }
        line += (line.isEmpty() || line == indent ? QString() : QStringLiteral(" ")) + w;
    }
    return out + line;
}

} // namespace

const QVector<OptionDecl> &optionTable()
{
    static const QVector<OptionDecl> table = [] {
        QVector<OptionDecl> all = allOptions();
        all.erase(std::remove_if(all.begin(), all.end(), [](const OptionDecl &o) { return o.simOnly && !WithSim; }),
                  all.end());
        return all;
    }();
    return table;
}

const QVector<CommandDecl> &commandTable()
{
    static const QVector<CommandDecl> table = allCommands();
    return table;
}

const OptionDecl *findOption(const QString &name)
{
    const QVector<OptionDecl> &all = optionTable();
    const auto it = std::find_if(all.cbegin(), all.cend(), [&name](const OptionDecl &o) { return o.name == name; });
    return it == all.cend() ? nullptr : &*it;
}

const CommandDecl *findCommand(const QString &name)
{
    const QVector<CommandDecl> &all = commandTable();
    const auto it = std::find_if(all.cbegin(), all.cend(), [&name](const CommandDecl &c) { return c.name == name; });
    return it == all.cend() ? nullptr : &*it;
}

bool isLineOption(const OptionDecl &option)
{
    return option.section == OptionSection::Line;
}

namespace {
QStringList syntaxWords(const CommandDecl &c)
{
    QStringList words{c.name};
    for (const QString &name : c.required)
        words << QStringLiteral("--%1 %2").arg(name, findOption(name)->value);
    for (const QString &name : c.own) {
        const OptionDecl *o = findOption(name);
        words << QStringLiteral("[--%1%2]").arg(name, o->value.isEmpty() ? QString() : QLatin1Char(' ') + o->value);
    }
    if (!c.arguments.isEmpty())
        words << c.arguments;
    return words;
}
} // namespace

QString commandSyntax(const CommandDecl &c)
{
    return syntaxWords(c).join(QLatin1Char(' '));
}

QString usageLine()
{
    QStringList words{QStringLiteral("usage: korvani-cli")};
    words << (WithSim ? QStringLiteral("[--port NAME | --sim]") : QStringLiteral("--port NAME"));
    for (const OptionDecl &o : optionTable()) {
        const bool general = isLineOption(o) || o.section == OptionSection::Output;
        if (general && o.name != QLatin1String("port") && !o.simOnly && !o.value.isEmpty())
            words << QStringLiteral("[--%1 %2]").arg(o.name, o.value);
    }
    words << QStringLiteral("COMMAND [ARGS]");
    return wrapped(words, 78, QString(19, QLatin1Char(' ')));
}

QString helpText()
{
    QString text = usageLine() + QStringLiteral("\n\nChecks and measures a laser distance module on a serial line "
                                                "(test stations).\n");
    const struct {
        OptionSection section;
        const char *title;
    } sections[] = {{OptionSection::Line, "The line (every command):"},
                    {OptionSection::Output, "Output:"},
                    {OptionSection::Run, "Measurement runs (single, measure, test, study):"},
                    {OptionSection::Test, "Test limits (test, study):"},
                    {OptionSection::Results, "The results database (test, study, measure --stats, sync, report):"},
                    {OptionSection::Report, "The report's selection (report):"},
                    {OptionSection::Scan, "scan:"}};
    for (const auto &s : sections) {
        text += QStringLiteral("\n%1\n").arg(QLatin1String(s.title));
        for (const OptionDecl &o : optionTable())
            if (o.section == s.section)
                text += helpEntry(optionHead(o), o.help);
    }
    text += QStringLiteral("\nCommands:\n");
    for (const CommandDecl &c : commandTable()) {
        const QString syntax = wrapped(syntaxWords(c), HelpWidth - 2, QString(5, QLatin1Char(' ')));
        text += helpEntry(syntax, c.help);
    }
    text += QStringLiteral("\nExit status:\n");
    for (const ExitStatus::Meaning &m : ExitStatus::table)
        text += QStringLiteral("  %1").arg(QLatin1String(m.status), -7)
                + QString::fromLatin1(m.text).replace(QLatin1Char('\n'), QStringLiteral("\n         ")) + QLatin1Char('\n');
    text += QStringLiteral("\nDebug output is off; QT_LOGGING_RULES=\"korvani.*.debug=true\" turns it on.\n");
    return text;
}
