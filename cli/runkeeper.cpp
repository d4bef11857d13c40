#include "runkeeper.h"

#include "exitstatus.h"
#include "message.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"
#include "results/spool.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QSysInfo>

namespace {

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
    if (status != RunStatus::Complete)
        r.errorMessage = why.isEmpty() && status == RunStatus::Aborted ? QStringLiteral("interrupted") : why;
    return r;
}

void RunKeeper::keep(const RunSummary &s, quint64 amplitudeSum, RunStatus status, int exitStatus, bool marginal,
                     const QString &why)
{
    if (!o.db.isEmpty())
        keepRecord(record(s, amplitudeSum, status, exitStatus, marginal, why));
}

void RunKeeper::keepRecord(const RunRecord &run)
{
    if (o.db.isEmpty())
        return;
    QString error;
    const std::optional<DbTarget> target = parseDbTarget(o.db, &error);  // checked with the options
    Spool spool(spoolPath(o));
    QString reason;
    if (target) {
        ResultStore store(*target);
        if (store.open()) {
            const Spool::Sent sent = spool.sendTo(store);
            if (store.storeRun(run, rows) != ResultStore::Stored::Failed) {
                if (!sent.error.isEmpty())
                    tell(QStringLiteral("%1: runs in the spool %2 not sent: %3")
                             .arg(target->displayName(), spool.path(), sent.error));
                return;
            }
        }
        reason = QStringLiteral("%1: %2").arg(target->displayName(), store.errorString());
    } else {
        reason = error;
    }
    if (spool.keep(run, rows, &error))
        tell(QStringLiteral("results database %1; the run is kept in %2").arg(reason, spool.path()));
    else
        tell(QStringLiteral("results database %1; the run is LOST: the spool %2 cannot take it either: %3")
                 .arg(reason, spool.path(), error));
}

int syncRuns(const KeepOptions &o, QIODevice &out)
{
    QString error;
    const std::optional<DbTarget> target = parseDbTarget(o.db, &error);
    if (!target) {
        tell(error);
        return ExitStatus::LinkFailure;
    }
    ResultStore store(*target);
    if (!store.open()) {
        tell(QStringLiteral("results database %1: %2").arg(target->displayName(), store.errorString()));
        return ExitStatus::LinkFailure;
    }
    Spool spool(spoolPath(o));
    const Spool::Sent sent = spool.sendTo(store);
    out.write(QStringLiteral("sent: %1\nalready stored: %2\nleft: %3\n")
                  .arg(sent.sent).arg(sent.already).arg(sent.left).toUtf8());
    if (!sent.error.isEmpty()) {
        tell(QStringLiteral("results database %1: %2").arg(target->displayName(), sent.error));
        return ExitStatus::LinkFailure;
    }
    return ExitStatus::Done;
}
