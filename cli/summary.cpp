#include "summary.h"

#include "platform/fields.h"

#include <QStringList>

namespace {

QVector<Field> fields(const RunSummary &s)
{
    const DistanceStatistics &d = *s.distances;
    const auto mm = [&d](const QString &v) { return d.isEmpty() ? std::nullopt : std::optional<QString>(v); };
    const auto counted = [&s](const QString &v) { return s.measured ? std::optional<QString>(v) : std::nullopt; };
    QVector<Field> f = {
        numberField("frames", "frames", counted(QString::number(s.frames))),
        numberField("expected", "expected", QString::number(s.expected)),
        numberField("failed_checks", "failed checks", counted(QString::number(s.failedChecks))),
        numberField("rate_hz", "rate", counted(QString::number(s.rateHz, 'f', 2)), "Hz"),
        numberField("mean_mm", "mean", mm(milliText(d.meanMilli())), "mm"),
        numberField("sigma_mm", "sigma", mm(milliText(d.sigmaMilli())), "mm"),
        numberField("min_mm", "min", mm(QString::number(d.minimum())), "mm"),
        numberField("max_mm", "max", mm(QString::number(d.maximum())), "mm"),
        numberField("median_mm", "median", mm(halvesText(d.medianHalves())), "mm"),
    };
    if (s.pollRateHz)
        f.insert(4, numberField("poll_rate_hz", "poll rate", QString::number(*s.pollRateHz), "Hz"));
    if (s.limits) {
        f += {
            numberField("reference_mm", "reference", milliText(s.limits->referenceMilli), "mm"),
            numberField("tolerance_mm", "tolerance", milliText(s.limits->toleranceMilli), "mm"),
            numberField("accuracy_mm", "accuracy", mm(milliText(d.differenceMilli(s.limits->referenceMilli))), "mm"),
            numberField("outside", "outside", counted(QString::number(s.outside))),
        };
    }
    return f;
}

QString verdictLine(const RunSummary &s)
{
    if (!s.error.isEmpty())
        return QStringLiteral("ERROR: ") + s.error;
    if (s.verdict.pass)
        return s.marginal ? QStringLiteral("PASS (marginal)") : QStringLiteral("PASS");
    return QStringLiteral("FAIL: ") + s.verdict.failed.join(QStringLiteral("; "));
}

} // namespace

QByteArray renderSummary(const RunSummary &s, OutputFormat format)
{
    QString out;
    const QVector<Field> all = fields(s);
    const QString id = s.deviceId ? QStringLiteral("id %1: ").arg(*s.deviceId) : QString();
    const bool verdict = s.limits || !s.error.isEmpty();
    switch (format) {
    case OutputFormat::Text:
        for (const Field &f : all)
            out += id + f.label + QStringLiteral(": ")
                   + (!f.value ? QStringLiteral("-") : *f.value + (f.unit.isEmpty() ? QString() : QLatin1Char(' ') + f.unit))
                   + QLatin1Char('\n');
        if (verdict)
            out += id + verdictLine(s) + QLatin1Char('\n');
        break;
    case OutputFormat::Csv:
        for (const Field &f : all)
            out += QStringLiteral("# %1%2: %3\n").arg(id, f.key, f.value.value_or(QStringLiteral("-")));
        if (verdict)
            out += QStringLiteral("# %1verdict: %2\n").arg(id, verdictLine(s));
        break;
    case OutputFormat::Json: {
        // Numbers are written as printed, so JSON carries the same digits.
        QVector<Field> members = all;
        if (s.deviceId)
            members.prepend(numberField("id", "id", QString::number(*s.deviceId)));
        QStringList extra;
        if (!s.error.isEmpty()) {
            members << textField("verdict", "verdict", QStringLiteral("ERROR")) << textField("error", "error", s.error);
        } else if (s.limits) {
            members << textField("verdict", "verdict", s.verdict.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
                    << numberField("marginal", "marginal", s.marginal ? QStringLiteral("true") : QStringLiteral("false"));
            extra << QStringLiteral("\"failed\":") + jsonStrings(s.verdict.failed);
        }
        out = QStringLiteral("{\"summary\":") + jsonObject(members, extra) + QStringLiteral("}\n");
        break;
    }
    }
    return out.toUtf8();
}
