#include "runkeeper.h"

#include "exitstatus.h"
#include "message.h"
#include "output.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"
#include "results/spool.h"

#include <QCoreApplication>
#include <QSysInfo>

namespace {

// "1 run waits", "3 runs wait".
QString runsText(int runs, const char *one, const char *more)
{
    return QStringLiteral("%1 %2 %3")
        .arg(QString::number(runs), runs == 1 ? QStringLiteral("run") : QStringLiteral("runs"),
             QLatin1String(runs == 1 ? one : more));
}

QString spoolPath(const KeepOptions &o)
{
    return o.spool.isEmpty() ? Spool::defaultPath() : o.spool;
}

} // namespace

QString versionOf(const QString &line)
{
    return line.section(QLatin1Char(':'), 1).trimmed();
}

RunKeeper::RunKeeper(const KeepOptions &options, const QString &port)
    : o(options)
    , portName(port)
    , started(QDateTime::currentDateTimeUtc())
{
}

void RunKeeper::setVersions(const QString &hw, const QString &fw)
{
    hardware = hw;
    firmware = fw;
}

std::function<void(qint64, const Measurement &)> RunKeeper::recorder()
{
    if (o.db.isEmpty() || !o.dbRecords)
        return {};
    return [this](qint64 timeMs, const Measurement &m) {
        MeasurementRow row;
        row.seq = quint32(rows.size() + 1);
        row.timeMs = timeMs;
        row.code = m.extended ? 0x82 : 0x81;
        row.distance = m.distance;
        row.amplitude = m.amplitude;
        row.ambient = m.ambient;
        row.temperature = m.temperature;
        row.driverCurrent = m.driverCurrent;
        rows.append(row);
    };
}

RunRecord RunKeeper::record(const RunSummary &s, quint64 amplitudeSum, RunStatus status, int exitStatus,
                            bool marginal, const QString &why) const
{
    RunRecord r;
    r.runId = newRunId();
    r.startedAt = started;
    r.endedAt = QDateTime::currentDateTimeUtc();
    r.kind = o.command == CliCommand::Study  ? QStringLiteral("study")
             : o.acrossRange                 ? QStringLiteral("points")
             : o.command == CliCommand::Test ? QStringLiteral("test")
                                             : QStringLiteral("measure");
    r.station = o.station.isEmpty() ? QSysInfo::machineHostName() : o.station;
    r.operatorName = o.operatorName;
    r.serialNumber = o.serial;
    r.product = o.product;
    r.limitsVersion = o.limitsVersion;
    r.limitsSha256 = o.limitsSha256;
    r.port = portName;
    r.baud = o.baud;
    if (o.id)
        r.deviceId = *o.id;
    r.hardwareVersion = hardware;
    r.firmwareVersion = firmware;
    r.toolVersion = QCoreApplication::applicationVersion();
    r.command = o.commandText;
    r.frames = s.frames;
    r.expected = s.expected;
    r.failedChecks = s.failedChecks;
    r.rateHz = s.rateHz;
    const DistanceStatistics *d = s.distances;
    if (d && !d->isEmpty()) {
        r.meanMilli = d->meanMilli();
        r.sigmaMilli = d->sigmaMilli();
        r.minMm = d->minimum();
        r.maxMm = d->maximum();
        r.medianHalves = d->medianHalves();
        const quint64 n = d->count();
        // Rounded half up, as the verdict prints it: (sum * 2000 + n) / 2n,
        // split into whole amplitudes and the rest so nothing overflows.
        r.meanAmplitudeMilli = qint64((amplitudeSum / n) * 1000 + ((amplitudeSum % n) * 2000 + n) / (2 * n));
    }
    if (s.limits) {
        r.referenceMilli = s.limits->referenceMilli;
        r.toleranceMilli = s.limits->toleranceMilli;
        r.marginalMilli = o.marginalMilli;
        r.outside = s.outside;
        if (d && !d->isEmpty())
            r.accuracyMilli = d->differenceMilli(s.limits->referenceMilli);
        if (status == RunStatus::Complete) {
            r.pass = s.verdict.pass;
            r.marginal = marginal;
            r.failed = s.verdict.failed.join(QStringLiteral("; "));
        }
    }
    r.status = status;
    r.exitStatus = exitStatus;
    r.reconnects = s.reconnects.value_or(0);
    if (status != RunStatus::Complete)
        r.errorMessage = why.isEmpty() && status == RunStatus::Aborted ? QStringLiteral("interrupted") : why;
    return r;
}

bool RunKeeper::keep(const RunSummary &s, quint64 amplitudeSum, RunStatus status, int exitStatus, bool marginal,
                     const QString &why)
{
    return keepRecord(record(s, amplitudeSum, status, exitStatus, marginal, why));
}

bool RunKeeper::keepRecord(const RunRecord &run)
{
    if (o.db.isEmpty())
        return true;
    QString error;
    const std::optional<DbTarget> target = parseDbTarget(o.db, &error);  // checked with the options
    if (!target) {
        tell(QStringLiteral("results database %1; the run is LOST").arg(error));
        return false;
    }
    Spool spool(spoolPath(o));
    spool.setTimeLimit(o.dbTimeoutMs);
    ResultStore store(*target);
    store.setTimeLimit(o.dbTimeoutMs);
    if (store.storeRun(run, rows) != ResultStore::Stored::Failed) {
        // The station's own run first; then what waits for this database, for
        // as long as the time limit: a long backlog is sent over several runs.
        const Spool::Sent sent = spool.sendTo(store, false, QDeadlineTimer(o.dbTimeoutMs));
        const QString problem = sent.spoolError.isEmpty() ? sent.targetError
                                                          : QStringLiteral("the spool: %1").arg(sent.spoolError);
        if (!problem.isEmpty())
            tell(QStringLiteral("%1: runs in the spool %2 not sent: %3")
                     .arg(target->displayName(), spool.path(), problem));
        return true;
    }
    const QString reason = QStringLiteral("%1: %2").arg(target->displayName(), store.errorString());
    if (spool.keep(run, rows, *target, &error)) {
        tell(QStringLiteral("results database %1; the run is kept in %2").arg(reason, spool.path()));
        return true;
    }
    tell(QStringLiteral("results database %1; the run is LOST: the spool %2 cannot take it either: %3")
             .arg(reason, spool.path(), error));
    return false;
}

int syncRuns(const KeepOptions &o, Output &out)
{
    Spool spool(spoolPath(o));
    spool.setTimeLimit(o.dbTimeoutMs);
    QVector<Spool::Waiting> waiting;
    QString error;
    if (!spool.waiting(&waiting, &error)) {
        tell(QStringLiteral("cannot read the spool %1: %2").arg(spool.path(), error));
        return ExitStatus::WriteFailed;
    }
    // With --db only its runs (and those kept before runs carried their
    // database: sent only where a sync names one), with the password it gives.
    std::optional<DbTarget> chosen;
    if (!o.db.isEmpty())
        chosen = parseDbTarget(o.db, &error);  // checked with the options
    struct Job {
        DbTarget target;
        int runs = 0;
    };
    QVector<Job> jobs;
    int unmarked = 0, unreadable = 0;
    for (const Spool::Waiting &w : waiting) {
        if (w.target.isEmpty()) {
            unmarked += w.runs;
        } else if (!chosen) {
            const std::optional<DbTarget> t = parseDbTarget(w.target, &error);
            if (t) {
                jobs.append({*t, w.runs});
            } else {
                unreadable += w.runs;
                tell(QStringLiteral("the spool %1 holds runs for %2: %3").arg(spool.path(), redactArgument(w.target), error));
            }
        } else if (w.target == chosen->identity()) {
            jobs.append({*chosen, w.runs});
        }
    }
    if (chosen) {
        if (jobs.isEmpty())
            jobs.append({*chosen, 0});
        jobs.first().runs += unmarked;
    }

    Spool::Sent total;
    total.left = unreadable;
    QString spoolError;
    QString report;
    for (const Job &job : jobs) {
        ResultStore store(job.target);
        store.setTimeLimit(o.dbTimeoutMs);
        Spool::Sent sent;
        if (!spoolError.isEmpty()) {
            sent.left = job.runs;  // a spool that cannot be updated sends no more
        } else if (store.open()) {
            sent = spool.sendTo(store, chosen.has_value());
        } else {
            sent.left = job.runs;
            sent.targetError = store.errorString();
        }
        const QString name = job.target.displayName();
        report += QStringLiteral("%1: sent: %2, already stored: %3, left: %4\n")
                      .arg(name)
                      .arg(sent.sent)
                      .arg(sent.already)
                      .arg(sent.left);
        if (!sent.targetError.isEmpty())
            tell(QStringLiteral("results database %1: %2; %3 for it in the spool %4")
                     .arg(name, sent.targetError, runsText(sent.left, "waits", "wait"), spool.path()));
        if (!sent.spoolError.isEmpty() && spoolError.isEmpty())
            spoolError = sent.spoolError;
        total.sent += sent.sent;
        total.already += sent.already;
        total.left += sent.left;
    }
    if (!chosen && unmarked > 0) {
        total.left += unmarked;
        tell(QStringLiteral("%1 in the spool %2 without their database: sync --db TARGET sends them there")
                 .arg(runsText(unmarked, "was kept", "were kept"), spool.path()));
    }
    report += QStringLiteral("sent: %1\nalready stored: %2\nleft: %3\n").arg(total.sent).arg(total.already).arg(total.left);
    out.write(report.toUtf8());
    if (!spoolError.isEmpty()) {
        // The runs counted as sent are in their database; those still in the
        // spool are found already stored by the next sync.
        tell(QStringLiteral("cannot update the spool %1: %2").arg(spool.path(), spoolError));
        return ExitStatus::WriteFailed;
    }
    return total.left > 0 ? ExitStatus::LinkFailure : ExitStatus::Done;
}
