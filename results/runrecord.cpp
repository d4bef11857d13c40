#include "runrecord.h"

#include "stats/linearity.h"
#include "stats/statistics.h"
#include "stats/typeonestudy.h"

#include <QUuid>

namespace {

template <typename T>
QVariant orNull(const std::optional<T> &value, QVariant (*convert)(T))
{
    return value ? convert(*value) : QVariant();
}

// Decimal figures go to the database as the text the summary prints, so a
// PostgreSQL numeric holds exactly those digits.
QVariant milli(qint64 v) { return milliText(v); }
QVariant halves(quint32 v) { return halvesText(v); }
QVariant whole(int v) { return v; }
QVariant count(quint64 v) { return qint64(v); }
QVariant index(double v) { return indexText(v); }
QVariant slope(double v) { return slopeText(v); }
QVariant mm(double v) { return mmText(v); }
QVariant r2(double v) { return r2Text(v); }
QVariant verdict(bool pass) { return pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"); }

} // namespace

QString newRunId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

QString statusText(RunStatus status)
{
    switch (status) {
    case RunStatus::Complete: return QStringLiteral("COMPLETE");
    case RunStatus::Error: return QStringLiteral("ERROR");
    case RunStatus::Aborted: return QStringLiteral("ABORTED");
    }
    return QString();
}

QVariantList runValues(const RunRecord &r)
{
    const auto text = [](const QString &s) { return s.isEmpty() ? QVariant() : QVariant(s); };
    return {
        r.runId, utcText(r.startedAt), utcText(r.endedAt), r.kind, r.station, text(r.operatorName),
        text(r.serialNumber), text(r.product), text(r.limitsVersion), text(r.limitsSha256), r.port, r.baud,
        orNull(r.deviceId, whole), text(r.hardwareVersion), text(r.firmwareVersion), r.toolVersion, r.command,
        orNull(r.referenceMilli, milli), orNull(r.toleranceMilli, milli), orNull(r.marginalMilli, milli),
        qint64(r.frames), qint64(r.expected), qint64(r.failedChecks),
        QString::number(r.rateHz, 'f', 2),
        orNull(r.meanMilli, milli), orNull(r.sigmaMilli, milli), orNull(r.minMm, whole), orNull(r.maxMm, whole),
        orNull(r.medianHalves, halves), orNull(r.accuracyMilli, milli), orNull(r.outside, count),
        orNull(r.meanAmplitudeMilli, milli), statusText(r.status),
        orNull(r.pass, verdict), r.marginal ? 1 : 0, text(r.failed), r.exitStatus, text(r.errorMessage), r.reconnects,
        orNull(r.cg, index), orNull(r.cgk, index), orNull(r.linearitySlope, slope),
        orNull(r.linearityInterceptMm, mm), orNull(r.linearityR2, r2),
    };
}

QVariantList measurementValues(const QString &runId, const MeasurementRow &m)
{
    return {runId, m.seq, utcText(QDateTime::fromMSecsSinceEpoch(m.timeMs, Qt::UTC)), m.code,
            m.distance, m.amplitude, m.ambient, m.temperature, m.driverCurrent};
}

QVariantList pointValues(const QString &runId, const PointRow &p)
{
    return {runId, p.index, milliText(p.referenceMilli), qint64(p.frames), orNull(p.meanMilli, milli),
            orNull(p.biasMilli, milli), orNull(p.sigmaMilli, milli), orNull(p.minMm, whole), orNull(p.maxMm, whole),
            qint64(p.outside), orNull(p.pass, verdict)};
}
