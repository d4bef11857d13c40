#ifndef RUNKEEPER_H
#define RUNKEEPER_H

// Keeps a finished run (test, measure --stats) in the results database named
// by --db or KORVANI_DB. Runs waiting in the spool are sent first, then this
// one. When the database cannot take it (unreachable, refused, no right, cut
// off during the write) the run goes to the spool, with one line on standard
// error saying why; the run's verdict and exit status stay as they are.
// `sync` sends the spool on demand.

#include "summary.h"
#include "options.h"
#include "decode/measurement.h"
#include "results/runrecord.h"

#include <QDateTime>
#include <QVector>
#include <functional>

class QIODevice;

class RunKeeper
{
public:
    // The run starts now.
    RunKeeper(const KeepOptions &options, const QString &port);

    void setVersions(const QString &hardware, const QString &firmware);
    // With --db-records: the measurements to keep with the run; else empty.
    std::function<void(qint64, const Measurement &)> recorder();

    // The run's figures; `why` says why an ERROR or ABORTED run ended.
    void keep(const RunSummary &summary, quint64 amplitudeSum, RunStatus status, int exitStatus, bool marginal,
              const QString &why = QString());

    // What keep() stores, for a look without a database, or to be completed
    // and kept with keepRecord() (a run across the range, a study).
    RunRecord record(const RunSummary &summary, quint64 amplitudeSum, RunStatus status, int exitStatus,
                     bool marginal, const QString &why) const;
    void keepRecord(const RunRecord &run);

private:
    const KeepOptions &o;
    QString portName;
    QDateTime started;
    QString hardware, firmware;
    QVector<MeasurementRow> rows;
};

// `sync`: sends the spool; prints what was sent. 0 when the spool is empty
// afterwards, 2 when the database could not take every run.
int syncRuns(const KeepOptions &options, QIODevice &out);

// The version in a "HARD: A-0.1.2" or "SOFT:B-1.2.5" line: "A-0.1.2".
QString versionOf(const QString &line);

#endif // RUNKEEPER_H
