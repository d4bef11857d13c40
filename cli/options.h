#ifndef OPTIONS_H
#define OPTIONS_H

// The command line's arguments, parsed into one small struct per concern:
// the line, the output, a measurement run, a test's limits, the results
// database, the report's selection and the module commands' values. Each
// command takes only the structs it needs. Pure: no port is opened and
// nothing is printed; every rule that makes an argument list a usage error
// lives here, so it is checked before anything reaches the line.
//
// The options themselves (names, values, help) are declared in
// optiontable.h; how to add one is said there.
//
// The limits of a test may come from a limits file (--limits FILE); the
// command line's options override it. A bad file is an error naming the
// file, the key, and the line and column.
//
// Millimetre limits accept up to three decimals and are held in thousandths
// of a millimetre, so the verdict compares them exactly.

#include "report/reportquery.h"
#include "verdict.h"
#ifdef KORVANI_WITH_SIM
#include "sim/simoptions.h"
#endif

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QVector>
#include <QString>
#include <QStringList>
#include <optional>

enum class OutputFormat { Text, Csv, Json };

enum class CliCommand {
    Ports, Version, Info, Single, Measure, Test, Study, Threshold, Integration, Restart, Send, Scan, Sync, Report
};

// The line to the module (every command that speaks to one).
struct LineOptions {
    QString port;
    bool sim = false;
#ifdef KORVANI_WITH_SIM
    QVector<BusModuleOptions> simModules;  // --module: a simulated bus of these
#endif
    qint32 baud = 115200;
    std::optional<quint8> id;
    QVector<quint8> ids;  // test --ids: a fixture of modules on one bus
    bool simAddressed = false;  // scan: the simulated module answers at ID 1
    int timeoutMs = 100;
    QString capture;  // empty: no capture of the line
    QString replay;   // a capture played instead of a port (measure, test)
    // measure, test: how long a lost port is waited for; none: a lost port ends the run.
    std::optional<qint64> reconnectMs;
};

// Where and how records, answers and reports are written.
struct OutputOptions {
    OutputFormat format = OutputFormat::Text;
    bool html = false;  // report --format html
    QString file;       // --output; empty: standard output
};

// A measurement run (single, measure, test).
struct RunOptions {
    bool fixed = false;
    bool stats = false;  // a summary (always for test)
    std::optional<quint64> count;
    std::optional<qint64> durationMs;
    int rateHz = 100;
};

// The frames a run should bring over `line`, its measurement frames being
// `frameBytes` long: the count, or what the duration can deliver at the rate
// over the line (each frame behind its poll with --id), the smaller of the
// two when both are given. `absentMs`, the time the port was lost, is no
// time to deliver frames in.
quint64 expectedFrames(const RunOptions &run, const LineOptions &line, int frameBytes = 11, qint64 absentMs = 0);

// A test's limits, from the command line over the limits file.
struct TestOptions {
    TestLimits limits;
    std::optional<qint64> marginalMilli;
    std::optional<QString> hardwarePattern, firmwarePattern;
    QMap<int, QString> serials;  // test --ids: --serial ID=SN
};

// test --points: one run across the range, the run's limits at each point
// (with the point's own tolerance from a limits file).
struct PointsOptions {
    struct Point {
        qint64 referenceMilli = 0;
        qint64 toleranceMilli = 0;
    };
    QVector<Point> points;  // empty: a test at one reference
    QString moveCommand;    // --move: run through sh -c before each point
    int moveTimeoutS = 120;
    int settleMs = 300;
    std::optional<double> maxSlope;
};

// study: a type-1 study at the test limits' reference and tolerance.
struct StudyOptions {
    double minCg = 1.33;
};

// Keeping runs in the results database (test, study, measure --stats) and sync.
struct KeepOptions {
    CliCommand command = CliCommand::Measure;  // the kind of run kept
    bool acrossRange = false;  // test --points
    QString db;  // --db, else KORVANI_DB (not for sync); empty: nothing is stored
    bool dbRecords = false;
    QString spool;  // empty: the default spool
    int dbTimeoutMs = 5000;  // --db-timeout: connecting, and each step of a write
    QString station, operatorName, serial;
    QString commandText;  // the arguments as given, passwords as ***
    QString product, limitsVersion, limitsSha256;  // from --limits
    std::optional<qint64> marginalMilli;
    qint32 baud = 115200;
    std::optional<quint8> id;  // the module's RS485 ID
};

// report: the runs chosen, the grouping.
struct ReportOptions {
    QString db;
    std::optional<QDateTime> since, until;
    QString station, product, serial;
    GroupBy groupBy = GroupBy::None;
};

// The values of threshold, integration, send and scan.
struct ModuleCommandOptions {
    std::optional<quint16> threshold;
    quint16 integrationUs = 0;
    QByteArray sendTokens;  // code first, then the data bytes
    int scanFrom = 0;
    int scanTo = 255;
};

struct CliOptions {
    CliCommand command = CliCommand::Ports;
    LineOptions line;
    OutputOptions output;
    RunOptions run;
    TestOptions test;
    PointsOptions points;
    StudyOptions study;
    KeepOptions keep;
    ReportOptions report;
    ModuleCommandOptions module;
};

struct ParsedArguments {
    CliOptions options;
    bool help = false;
    bool version = false;
    QString error;  // an error when not empty
    bool showUsage = true;  // false: the error is in a file, not in the arguments
};

// `arguments` without the program name. KORVANI_DB gives the default --db.
ParsedArguments parseArguments(const QStringList &arguments);

#endif // OPTIONS_H
