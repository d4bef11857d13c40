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

QString verdictLine(const Verdict &v)
{
    return v.pass ? QStringLiteral("PASS")
                  : QStringLiteral("FAIL: ") + v.failed.join(QStringLiteral("; "));
}

} // namespace

QByteArray renderSummary(const RunSummary &s, OutputFormat format)
{
    QString out;
    const QVector<Field> all = fields(s);
    switch (format) {
    case OutputFormat::Text:
        for (const Field &f : all) {
            out += f.label + QStringLiteral(": ")
                 + (f.value.isEmpty() ? QStringLiteral("-") : f.value + (f.unit.isEmpty() ? QString() : QLatin1Char(' ') + f.unit))
                 + QLatin1Char('\n');
        }
        if (s.limits)
            out += verdictLine(s.verdict) + QLatin1Char('\n');
        break;
    case OutputFormat::Csv:
        for (const Field &f : all)
            out += QStringLiteral("# %1: %2\n").arg(f.key, f.value.isEmpty() ? QStringLiteral("-") : f.value);
        if (s.limits)
            out += QStringLiteral("# verdict: %1\n").arg(verdictLine(s.verdict));
        break;
    case OutputFormat::Json: {
        // Numbers are written as printed, so JSON carries the same digits.
        QStringList members;
        for (const Field &f : all)
            members << QStringLiteral("\"%1\":%2").arg(f.key, f.value.isEmpty() ? QStringLiteral("null") : f.value);
        if (s.limits) {
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
