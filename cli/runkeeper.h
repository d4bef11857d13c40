#ifndef RUNKEEPER_H
#define RUNKEEPER_H

// Keeps a finished run (test, measure --stats) in the results database named
// by --db or KORVANI_DB, within --db-timeout for each step; then the runs
// waiting in the spool for that database are sent, for as long again. When the database cannot
// take it (unreachable, refused, no right, cut off during the write, too
// slow) the run goes to the spool with its database, with one line on
// standard error saying why; the run's verdict and exit status stay as they
// are. Only a run that the spool cannot take either is lost: keep() says so
// and the command ends with ExitStatus::WriteFailed. `sync` sends the spool
// on demand.

#include "summary.h"
#include "options.h"
#include "decode/measurement.h"
#include "results/runrecord.h"

#include <QDateTime>
#include <QVector>
#include <functional>

class Output;

class RunKeeper
{
public:
    // The run starts now.
    RunKeeper(const KeepOptions &options, const QString &port);

    void setVersions(const QString &hardware, const QString &firmware);
    // With --db-records: the measurements to keep with the run; else empty.
    std::function<void(qint64, const Measurement &)> recorder();

    // The run's figures; `why` says why an ERROR or ABORTED run ended.
    // False when the run could be neither stored nor spooled.
    bool keep(const RunSummary &summary, quint64 amplitudeSum, RunStatus status, int exitStatus, bool marginal,
              const QString &why = QString());

    // What keep() stores, for a look without a database, or to be completed
    // and kept with keepRecord() (a run across the range, a study).
    RunRecord record(const RunSummary &summary, quint64 amplitudeSum, RunStatus status, int exitStatus,
                     bool marginal, const QString &why) const;
    bool keepRecord(const RunRecord &run);

private:
    const KeepOptions &o;
    QString portName;
    QDateTime started;
    QString hardware, firmware;
    QVector<MeasurementRow> rows;
};

// `sync`: sends each run in the spool to its own database (with --db only
// those for it); prints per database what was sent, already stored and
// left, then the totals. 0 when nothing is left, 2 when a database could
// not take every run, 74 when the spool could not be read or updated.
int syncRuns(const KeepOptions &options, Output &out);

// The version in a "HARD: A-0.1.2" or "SOFT:B-1.2.5" line: "A-0.1.2".
QString versionOf(const QString &line);

#endif // RUNKEEPER_H
