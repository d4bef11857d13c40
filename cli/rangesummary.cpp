#include "rangesummary.h"

#include "platform/fields.h"
#include "stats/statistics.h"

namespace {

template <typename T, typename F>
std::optional<QString> printed(const std::optional<T> &v, F text)
{
    return v ? std::optional<QString>(text(*v)) : std::nullopt;
}

QString milli(qint64 v) { return milliText(v); }
QString whole(int v) { return QString::number(v); }
QString capabilityIndex(double v) { return indexText(v); }

QVector<Field> pointFields(const PointRow &p)
{
    return {numberField("reference_mm", "reference mm", milliText(p.referenceMilli)),
            numberField("frames", "frames", QString::number(p.frames)),
            numberField("mean_mm", "mean mm", printed(p.meanMilli, milli)),
            numberField("bias_mm", "bias mm", printed(p.biasMilli, milli)),
            numberField("sigma_mm", "sigma mm", printed(p.sigmaMilli, milli)),
            numberField("min_mm", "min mm", printed(p.minMm, whole)),
            numberField("max_mm", "max mm", printed(p.maxMm, whole)),
            numberField("outside", "outside", QString::number(p.outside)),
            textField("result", "result", p.pass ? (*p.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")) : QString())};
}

QVector<Field> lineFields(const Linearity &l)
{
    return {numberField("slope", "slope", printed(l.slope, slopeText), "mm/mm"),
            numberField("intercept_mm", "intercept", printed(l.interceptMm, mmText), "mm"),
            numberField("r2", "r2", printed(l.r2, r2Text)),
            numberField("max_abs_bias_mm", "max |bias|", mmText(l.maxAbsBiasMm), "mm")};
}

QString shown(const Field &f)
{
    return f.value && !f.value->isEmpty() ? *f.value : QStringLiteral("-");
}

// "PASS", "FAIL: a; b" or "ERROR: why".
QString verdictText(bool pass, const QStringList &failed, const QString &error, const QString &passWord,
                    const QString &failWord)
{
    if (!error.isEmpty())
        return QStringLiteral("ERROR: ") + error;
    return pass ? passWord : failWord + QStringLiteral(": ") + failed.join(QStringLiteral("; "));
}

// The verdict's JSON members: "result", then "error" or "failed".
QStringList verdictJson(const QString &result, const QStringList &failed, const QString &error)
{
    return {QStringLiteral("\"result\":") + jsonString(result),
            error.isEmpty() ? QStringLiteral("\"failed\":") + jsonStrings(failed)
                            : QStringLiteral("\"error\":") + jsonString(error)};
}

} // namespace

QByteArray renderPointsSummary(const PointsSummary &s, OutputFormat format)
{
    QVector<QVector<Field>> rows;
    for (const PointRow &p : s.points)
        rows << pointFields(p);
    const QVector<Field> header = pointFields(PointRow()), line = lineFields(s.line);
    const QString verdict = verdictText(s.pass, s.failed, s.error, QStringLiteral("PASS"), QStringLiteral("FAIL"));
    QString out;
    switch (format) {
    case OutputFormat::Text: {
        QVector<int> widths;
        for (const Field &f : header)
            widths << int(f.label.size());
        for (const QVector<Field> &row : rows)
            for (int c = 0; c < row.size(); ++c)
                widths[c] = qMax(widths[c], int(shown(row[c]).size()));
        QStringList cells;
        for (int c = 0; c < header.size(); ++c)
            cells << header[c].label.rightJustified(widths[c]);
        out += cells.join(QStringLiteral("  ")) + QLatin1Char('\n');
        for (const QVector<Field> &row : rows) {
            cells.clear();
            for (int c = 0; c < row.size(); ++c)
                cells << shown(row[c]).rightJustified(widths[c]);
            out += cells.join(QStringLiteral("  ")) + QLatin1Char('\n');
        }
        QStringList parts;
        for (const Field &f : line)
            parts << f.label + QLatin1Char(' ') + shown(f) + (f.value && !f.unit.isEmpty() ? QLatin1Char(' ') + f.unit : QString());
        out += QStringLiteral("linearity: ") + parts.join(QStringLiteral(", ")) + QLatin1Char('\n') + verdict + QLatin1Char('\n');
        break;
    }
    case OutputFormat::Csv: {
        QStringList keys;
        for (const Field &f : header)
            keys << f.key;
        out += QStringLiteral("# ") + csvRow(keys);
        for (const QVector<Field> &row : rows) {
            QStringList cells;
            for (const Field &f : row)
                cells << shown(f);
            out += QStringLiteral("# ") + csvRow(cells);
        }
        QStringList parts;
        for (const Field &f : line)
            parts << f.key + QLatin1Char('=') + shown(f);
        out += QStringLiteral("# linearity: ") + parts.join(QLatin1Char(',')) + QStringLiteral("\n# verdict: ") + verdict
               + QLatin1Char('\n');
        break;
    }
    case OutputFormat::Json: {
        QStringList points;
        for (const QVector<Field> &row : rows)
            points << jsonObject(row);
        const QString result = !s.error.isEmpty() ? QStringLiteral("ERROR") : s.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
        QVector<Field> id;
        if (s.deviceId)
            id << numberField("id", "id", QString::number(*s.deviceId));
        out = QStringLiteral("{\"summary\":")
              + jsonObject(id, QStringList{QStringLiteral("\"points\":[") + points.join(QLatin1Char(',')) + QLatin1Char(']'),
                                           QStringLiteral("\"linearity\":") + jsonObject(line)}
                                   + verdictJson(result, s.failed, s.error))
              + QStringLiteral("}\n");
        break;
    }
    }
    // A fixture's module: each line says which.
    if (s.deviceId && format != OutputFormat::Json) {
        const QString id = QStringLiteral("id %1: ").arg(*s.deviceId);
        QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString &line : lines)
            line = format == OutputFormat::Csv ? QStringLiteral("# ") + id + line.mid(2) : id + line;
        out = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray renderStudySummary(const StudySummary &s, OutputFormat format)
{
    const DistanceStatistics &d = *s.distances;
    const auto mm = [&d](qint64 v) { return d.isEmpty() ? std::nullopt : std::optional<QString>(milliText(v)); };
    const QVector<Field> fields = {
        numberField("frames", "frames", QString::number(s.frames)),
        numberField("reference_mm", "reference", milliText(s.referenceMilli), "mm"),
        numberField("tolerance_mm", "tolerance", milliText(s.toleranceMilli), "mm"),
        numberField("mean_mm", "mean", mm(d.meanMilli()), "mm"),
        numberField("bias_mm", "bias", mm(d.differenceMilli(s.referenceMilli)), "mm"),
        numberField("sigma_mm", "sigma", mm(d.sigmaMilli()), "mm"),
        numberField("cg", "Cg", printed(s.study.cg, capabilityIndex)),
        numberField("cgk", "Cgk", printed(s.study.cgk, capabilityIndex))};
    QStringList notes;
    if (!s.study.reason.isEmpty())
        notes << QStringLiteral("no Cg/Cgk: ") + s.study.reason;
    if (s.study.resolutionTooCoarse)
        notes << QStringLiteral("the module's resolution (1 mm) is more than 5 % of the tolerance range %1 mm: "
                                "the study cannot resolve this tolerance")
                     .arg(milliText(2 * s.toleranceMilli));
    const QString verdict = verdictText(s.study.capable, s.failed, s.error, QStringLiteral("CAPABLE"),
                                        QStringLiteral("NOT CAPABLE"));
    QString out;
    switch (format) {
    case OutputFormat::Text:
        for (const Field &f : fields)
            out += f.label + QStringLiteral(": ") + shown(f) + (f.value && !f.unit.isEmpty() ? QLatin1Char(' ') + f.unit : QString())
                   + QLatin1Char('\n');
        for (const QString &n : notes)
            out += QStringLiteral("note: ") + n + QLatin1Char('\n');
        out += verdict + QLatin1Char('\n');
        break;
    case OutputFormat::Csv:
        for (const Field &f : fields)
            out += QStringLiteral("# %1: %2\n").arg(f.key, shown(f));
        for (const QString &n : notes)
            out += QStringLiteral("# note: ") + n + QLatin1Char('\n');
        out += QStringLiteral("# verdict: ") + verdict + QLatin1Char('\n');
        break;
    case OutputFormat::Json: {
        const QString result = !s.error.isEmpty() ? QStringLiteral("ERROR")
                               : s.study.capable  ? QStringLiteral("CAPABLE")
                                                  : QStringLiteral("NOT CAPABLE");
        out = QStringLiteral("{\"summary\":")
              + jsonObject(fields, verdictJson(result, s.failed, s.error) << QStringLiteral("\"notes\":") + jsonStrings(notes))
              + QStringLiteral("}\n");
        break;
    }
    }
    return out.toUtf8();
}
