#ifndef OPTIONS_H
#define OPTIONS_H

// The command line's arguments, parsed into a plain struct. Pure: no port is
// opened and nothing is printed; every rule that makes an argument list a
// usage error lives here, so it is checked before anything reaches the line.
//
// The limits of a test may come from a limits file (--limits FILE); the
// command line's options override it. A bad file is a usage error naming the
// file, the key, and the line and column.
//
// Millimetre limits accept up to three decimals and are held in thousandths
// of a millimetre, so the verdict compares them exactly.

#include "report/reportquery.h"
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

struct CliOptions {
    // The line.
    QString port;
    bool sim = false;
#ifdef KORVANI_WITH_SIM
    QVector<BusModuleOptions> simModules;  // --module: a simulated bus of these
#endif
    qint32 baud = 115200;
    std::optional<quint8> id;
    int timeoutMs = 100;
    OutputFormat format = OutputFormat::Text;
    QString output;  // empty: records go to standard output
    QString capture;  // empty: no capture of the line
    QString replay;   // a capture played instead of a port (measure, test)

    CliCommand command = CliCommand::Ports;

    // single, measure, test
    bool fixed = false;
    bool stats = false;
    std::optional<quint64> count;
    std::optional<qint64> durationMs;
    int rateHz = 100;

    // test
    qint64 referenceMilli = 0;
    qint64 toleranceMilli = 0;
    std::optional<qint64> maxSigmaMilli;
    std::optional<qint64> minAmplitudeMilli;
    quint64 maxOutside = 0;

    // test --points: a run across the range, each point with its tolerance
    struct RunPoint {
        qint64 referenceMilli = 0;
        qint64 toleranceMilli = 0;
    };
    QVector<RunPoint> points;
    QString moveCommand;  // --move: run through sh -c before each point
    int moveTimeoutS = 120;
    int settleMs = 300;
    std::optional<double> maxSlope;

    // study (reference and tolerance above)
    double minCg = 1.33;

    // test: from --limits, unless the command line gives them
    std::optional<qint64> marginalMilli;
    std::optional<QString> hardwarePattern, firmwarePattern;
    QString product, limitsVersion, limitsSha256;

    // The results database (test, measure --stats, sync).
    QString db;  // --db, else KORVANI_DB; empty: nothing is stored
    bool dbRecords = false;
    QString spool;  // empty: the default spool
    QString station, operatorName, serial;
    QString commandText;  // the arguments as given, passwords as ***

    // test --ids: a fixture of modules on one bus, polled in turn
    QVector<quint8> ids;
    QMap<int, QString> serials;  // --serial ID=SN

    // report: the runs chosen (station and serial above), the grouping, HTML
    std::optional<QDateTime> since, until;
    GroupBy groupBy = GroupBy::None;
    bool html = false;  // --format html

    // threshold, integration, send, scan
    std::optional<quint16> threshold;
    quint16 integrationUs = 0;
    QByteArray sendTokens;  // code first, then the data bytes
    int scanFrom = 0;
    int scanTo = 255;

    // The frames a measurement run should bring, its measurement frames being
    // `frameBytes` long: the count, or what the duration can deliver at the
    // rate over the line (each frame behind its poll with --id), the smaller
    // of the two when both are given.
    quint64 expectedFrames(int frameBytes = 11) const;
};

struct ParsedArguments {
    CliOptions options;
    bool help = false;
    QString error;  // a usage error when not empty
};

// `arguments` without the program name. KORVANI_DB gives the default --db.
ParsedArguments parseArguments(const QStringList &arguments);

QString usageLine();
QString helpText();

#endif // OPTIONS_H
