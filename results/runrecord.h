#ifndef RUNRECORD_H
#define RUNRECORD_H

// One module run as the results database keeps it (a row of `runs`), and
// one measurement of it (a row of `measurements`). Plain values: the front
// end fills them from its summary, the store writes them.
//
// Millimetre figures are held as the summary prints them: thousandths of a
// millimetre (mean, sigma, accuracy, limits), halves (median). Empty optionals are stored as NULL.

#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <QVector>
#include <optional>

enum class RunStatus { Complete, Error, Aborted };

// One reference distance of a points run (a row of `points`).
struct PointRow {
    int index = 1;  // 1, 2, ... in the order measured
    qint64 referenceMilli = 0;
    quint64 frames = 0;
    // Empty when no distance was measured there.
    std::optional<qint64> meanMilli, biasMilli, sigmaMilli;
    std::optional<int> minMm, maxMm;
    quint64 outside = 0;
    std::optional<bool> pass;
};

struct RunRecord {
    QString runId;  // a UUID, without braces
    QDateTime startedAt, endedAt;  // stored as UTC
    QString kind;  // "test", "points", "study" or "measure"
    QString station, operatorName, serialNumber, product;
    QString limitsVersion, limitsSha256;
    QString port;
    int baud = 0;
    std::optional<int> deviceId;
    QString hardwareVersion, firmwareVersion;  // "A-0.1.2", empty when not read
    QString toolVersion;
    QString command;  // the arguments as run, passwords removed
    std::optional<qint64> referenceMilli, toleranceMilli, marginalMilli;
    quint64 frames = 0, expected = 0, failedChecks = 0;
    double rateHz = 0;  // stored with two decimals, as printed
    // Empty when no distance was measured.
    std::optional<qint64> meanMilli, sigmaMilli;
    std::optional<int> minMm, maxMm;
    std::optional<quint32> medianHalves;
    std::optional<qint64> accuracyMilli;  // test only
    std::optional<quint64> outside;       // test only
    std::optional<qint64> meanAmplitudeMilli;
    RunStatus status = RunStatus::Complete;
    std::optional<bool> pass;  // test and COMPLETE only
    bool marginal = false;
    QString failed;  // the failed limits, as after "FAIL: "
    int exitStatus = 0;
    QString errorMessage;  // why an ERROR or ABORTED run ended
    int reconnects = 0;    // the times a lost port was found again
    std::optional<double> cg, cgk;  // a study's, when s > 0
    // A points run's line of bias against reference, when it has one.
    std::optional<double> linearitySlope, linearityInterceptMm, linearityR2;
    QVector<PointRow> points;  // a points run's, in order
};

struct MeasurementRow {
    quint32 seq = 0;  // 1, 2, ... in the order received
    qint64 timeMs = 0;  // milliseconds since the epoch
    quint8 code = 0x81;
    quint16 distance = 0, amplitude = 0, ambient = 0;
    int temperature = 0;
    quint16 driverCurrent = 0;
};

// A fresh run id.
QString newRunId();

// "2026-12-07T13:03:07.250Z": UTC, milliseconds, as SQLite keeps times.
QString utcText(const QDateTime &time);
QString statusText(RunStatus status);

// The values in the column order of the schema's insert statements.
QVariantList runValues(const RunRecord &run);
QVariantList measurementValues(const QString &runId, const MeasurementRow &row);
QVariantList pointValues(const QString &runId, const PointRow &point);

#endif // RUNRECORD_H
