#include "summary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace {

struct Field {
    QString key;      // JSON and CSV name
    QString label;    // text name
    QString value;    // as printed; empty: no value
    QString unit;     // text only
};

QVector<Field> fields(const RunSummary &s)
{
    const DistanceStatistics &d = *s.distances;
    const bool any = !d.isEmpty();
    const auto mm = [any](const QString &v) { return any ? v : QString(); };
    QVector<Field> f = {
        {"frames", "frames", QString::number(s.frames), {}},
        {"expected", "expected", QString::number(s.expected), {}},
        {"failed_checks", "failed checks", QString::number(s.failedChecks), {}},
        {"rate_hz", "rate", QString::number(s.rateHz, 'f', 2), "Hz"},
        {"mean_mm", "mean", mm(milliText(d.meanMilli())), "mm"},
        {"sigma_mm", "sigma", mm(milliText(d.sigmaMilli())), "mm"},
        {"min_mm", "min", mm(QString::number(d.minimum())), "mm"},
        {"max_mm", "max", mm(QString::number(d.maximum())), "mm"},
        {"median_mm", "median", mm(halvesText(d.medianHalves())), "mm"},
    };
    if (s.pollRateHz)
        f.insert(4, {"poll_rate_hz", "poll rate", QString::number(*s.pollRateHz), "Hz"});
    if (s.limits) {
        f += {
            {"reference_mm", "reference", milliText(s.limits->referenceMilli), "mm"},
            {"tolerance_mm", "tolerance", milliText(s.limits->toleranceMilli), "mm"},
            {"accuracy_mm", "accuracy", mm(milliText(d.differenceMilli(s.limits->referenceMilli))), "mm"},
            {"outside", "outside", QString::number(s.outside), {}},
        };
    }
    return f;
}

QString verdictLine(const RunSummary &s)
{
    if (!s.error.isEmpty())
        return QStringLiteral("ERROR: ") + s.error;
    return s.verdict.pass ? QStringLiteral("PASS")
                          : QStringLiteral("FAIL: ") + s.verdict.failed.join(QStringLiteral("; "));
}

QString jsonText(const QString &text)
{
    const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

} // namespace

QByteArray renderSummary(const RunSummary &s, OutputFormat format)
{
    QString out;
    const QVector<Field> all = fields(s);
    const QString id = s.deviceId ? QStringLiteral("id %1: ").arg(*s.deviceId) : QString();
    switch (format) {
    case OutputFormat::Text:
        for (const Field &f : all) {
            out += id + f.label + QStringLiteral(": ")
                 + (f.value.isEmpty() ? QStringLiteral("-") : f.value + (f.unit.isEmpty() ? QString() : QLatin1Char(' ') + f.unit))
                 + QLatin1Char('\n');
        }
        if (s.limits || !s.error.isEmpty())
            out += id + verdictLine(s) + QLatin1Char('\n');
        break;
    case OutputFormat::Csv:
        for (const Field &f : all)
            out += QStringLiteral("# %1%2: %3\n").arg(id, f.key, f.value.isEmpty() ? QStringLiteral("-") : f.value);
        if (s.limits || !s.error.isEmpty())
            out += QStringLiteral("# %1verdict: %2\n").arg(id, verdictLine(s));
        break;
    case OutputFormat::Json: {
        // Numbers are written as printed, so JSON carries the same digits.
        QStringList members;
        if (s.deviceId)
            members << QStringLiteral("\"id\":%1").arg(*s.deviceId);
        for (const Field &f : all)
            members << QStringLiteral("\"%1\":%2").arg(f.key, f.value.isEmpty() ? QStringLiteral("null") : f.value);
        if (!s.error.isEmpty()) {
            members << QStringLiteral("\"verdict\":\"ERROR\",\"error\":") + jsonText(s.error);
        } else if (s.limits) {
            members << QStringLiteral("\"verdict\":\"%1\"").arg(s.verdict.pass ? "PASS" : "FAIL");
            const QByteArray failed = QJsonDocument(QJsonArray::fromStringList(s.verdict.failed)).toJson(QJsonDocument::Compact);
            members << QStringLiteral("\"failed\":") + QString::fromUtf8(failed);
        }
        out = QStringLiteral("{\"summary\":{") + members.join(QLatin1Char(',')) + QStringLiteral("}}\n");
        break;
    }
    }
    return out.toUtf8();
}
