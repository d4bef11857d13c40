#include "reportformat.h"

#include "htmlpage.h"
#include "results/runrecord.h"


namespace {

Field count(const char *key, const char *label, qint64 value)
{
    return numberField(key, label, QString::number(value));
}

Field figure(const char *key, const char *label, std::optional<double> value, QString (*format)(double))
{
    return numberField(key, label, value ? std::optional<QString>(format(*value)) : std::nullopt);
}

QString ratioText(double v)
{
    return QString::number(v, 'f', 3);
}

QString limitsText(const QVector<LimitCount> &limits)
{
    QStringList parts;
    for (const LimitCount &l : limits)
        parts << QStringLiteral("%1=%2").arg(l.limit).arg(l.count);
    return parts.join(QStringLiteral("; "));
}

QString limitsJson(const QVector<LimitCount> &limits)
{
    QStringList items;
    for (const LimitCount &l : limits)
        items << QStringLiteral("{\"limit\":%1,\"count\":%2}").arg(jsonString(l.limit)).arg(l.count);
    return QStringLiteral("\"failed_limits\":[") + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

// A text table: columns padded to their widest cell, text to the left and
// figures to the right.
QString textTable(const QVector<Field> &columns, const QVector<QStringList> &rows)
{
    QStringList header;
    for (const Field &f : columns)
        header << f.label;
    QVector<int> width(header.size());
    for (int c = 0; c < header.size(); ++c) {
        width[c] = header[c].size();
        for (const QStringList &row : rows)
            width[c] = qMax(width[c], row.value(c).size());
    }
    const auto line = [&width, &columns](const QStringList &cells) {
        QString s;
        for (int c = 0; c < cells.size(); ++c)
            s += (c == 0 ? QString() : QStringLiteral("  "))
                 + (columns[c].isText ? cells[c].leftJustified(width[c]) : cells[c].rightJustified(width[c]));
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s + QLatin1Char('\n');
    };
    QString out = line(header);
    for (const QStringList &row : rows)
        out += line(row);
    return out;
}

QString filterJson(const ReportFilter &f)
{
    const auto opt = [](const QString &s) { return s.isEmpty() ? QStringLiteral("null") : jsonString(s); };
    return QStringLiteral("\"by\":%1,\"since\":%2,\"until\":%3,\"station\":%4,\"product\":%5")
        .arg(opt(groupByName(f.by)), opt(f.since ? utcText(*f.since) : QString()),
             opt(f.until ? utcText(*f.until) : QString()), opt(f.station), opt(f.product));
}

} // namespace

QString yieldText(double fraction)
{
    return QString::number(fraction, 'f', 4);
}

QString percentText(const QString &fraction)
{
    return QString::number(fraction.toDouble() * 100.0, 'f', 2) + QStringLiteral(" %");
}

QString shown(const Field &f)
{
    if (!f.value)
        return QStringLiteral("-");
    if (f.isText && f.value->isEmpty())
        return QStringLiteral("(none)");
    return f.isYield ? percentText(*f.value) : *f.value;
}

QVector<Field> groupFields(const GroupFigures &g)
{
    Field first = figure("first_pass_yield", "first pass", g.firstPassYield(), yieldText);
    Field final = figure("final_yield", "final", g.finalYield(), yieldText);
    first.isYield = final.isYield = true;
    return {textField("group", "group", g.group),
            count("runs", "runs", g.runs),
            count("units", "units", g.units),
            count("pass", "PASS", g.pass),
            count("fail", "FAIL", g.fail),
            count("marginal", "marginal", g.marginal),
            count("error", "ERROR", g.error),
            count("aborted", "aborted", g.aborted),
            count("reconnects", "reconnects", g.reconnects),
            first,
            final,
            count("retests", "retests", g.retests),
            figure("accuracy_mean_mm", "accuracy mm", g.accuracy.mean(), mmText),
            figure("accuracy_sigma_mm", "sigma mm", g.accuracy.sigma(), mmText),
            figure("repeatability_mm", "repeatability mm", g.repeatability, mmText),
            figure("cp", "Cp", g.cp(), ratioText),
            figure("cpk", "Cpk", g.cpk(), ratioText)};
}

QVector<Field> capabilityFields(const ProductCapability &p)
{
    return {textField("product", "product", p.product),
            figure("tolerance_mm", "tolerance mm", p.tolerance, mmText),
            count("runs", "runs", p.accuracy.n),
            figure("accuracy_mean_mm", "accuracy mm", p.accuracy.mean(), mmText),
            figure("accuracy_sigma_mm", "sigma mm", p.accuracy.sigma(), mmText),
            figure("cp", "Cp", p.accuracy.cp(p.tolerance), ratioText),
            figure("cpk", "Cpk", p.accuracy.cpk(p.tolerance), ratioText)};
}

QVector<Field> historyFields(const HistoryRun &r)
{
    const auto optional = [](const char *key, const char *label, const QString &v) {
        Field f = textField(key, label, v);
        if (v.isEmpty())
            f.value.reset();
        return f;
    };
    Field id = optional("device_id", "ID", r.deviceId);
    id.isText = false;
    return {textField("started_at", "started (UTC)", r.startedAt),
            optional("station", "station", r.station),
            optional("operator", "operator", r.operatorName),
            optional("product", "product", r.product),
            id,
            optional("firmware_version", "firmware", r.firmware),
            textField("status", "status", r.status),
            optional("result", "result", r.result),
            count("marginal", "marginal", r.marginal ? 1 : 0),
            figure("accuracy_mm", "accuracy mm", r.accuracy, mmText),
            figure("sigma_mm", "sigma mm", r.sigma, mmText),
            optional("failed", "failed", r.failed),
            textField("run_id", "run", r.runId)};
}

QVector<Field> linearityFields(const LinearityFigures &l)
{
    return {textField("product", "product", l.product),
            figure("reference_mm", "reference mm", double(l.referenceMilli) / 1000.0, mmText),
            count("units", "units", l.units),
            figure("bias_mean_mm", "bias mm", l.bias.mean(), mmText),
            figure("bias_sigma_mm", "bias sigma mm", l.bias.sigma(), mmText),
            figure("bias_max_abs_mm", "max |bias| mm", double(l.maxAbsBiasMilli) / 1000.0, mmText)};
}

QVector<Field> studyFields(const StudyFigures &s)
{
    Field share = figure("capable_share", "capable", s.capableShare(), yieldText);
    share.isYield = true;
    return {textField("product", "product", s.product),
            count("modules", "modules", s.modules),
            count("capable", "capable modules", s.capable),
            share,
            figure("cg_q1", "Cg Q1", s.cg[0], ratioText),
            figure("cg_median", "Cg median", s.cg[1], ratioText),
            figure("cg_q3", "Cg Q3", s.cg[2], ratioText),
            figure("cgk_q1", "Cgk Q1", s.cgk[0], ratioText),
            figure("cgk_median", "Cgk median", s.cgk[1], ratioText),
            figure("cgk_q3", "Cgk Q3", s.cgk[2], ratioText)};
}

namespace {

QString csvOf(const QVector<Field> &columns, const QVector<QVector<Field>> &rows)
{
    QStringList cells;
    for (const Field &f : columns)
        cells << f.key;
    QString out = csvRow(cells);
    for (const QVector<Field> &row : rows) {
        cells.clear();
        for (const Field &f : row)
            cells << f.value.value_or(QString());
        out += csvRow(cells);
    }
    return out;
}

QString textOf(const QVector<Field> &columns, const QVector<QVector<Field>> &rows)
{
    QVector<QStringList> cells;
    for (const QVector<Field> &row : rows) {
        QStringList shownRow;
        for (const Field &f : row)
            shownRow << shown(f);
        cells << shownRow;
    }
    return textTable(columns, cells);
}

QString jsonArrayOf(const QVector<QVector<Field>> &rows, const QStringList &extras = {})
{
    QStringList items;
    for (int i = 0; i < rows.size(); ++i)
        items << jsonObject(rows[i], extras.value(i).isEmpty() ? QStringList() : QStringList{extras.value(i)});
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace

QByteArray renderReport(const Report &report, ReportFormat format, const QVector<GroupFigures> &stations,
                        const RangeReport &range, const PageSource &source)
{
    if (format == ReportFormat::Html)
        return htmlReport(report, stations, range, source);
    QVector<QVector<Field>> groups, products, lines, studies;
    for (const LinearityFigures &l : range.linearity)
        lines << linearityFields(l);
    for (const StudyFigures &s : range.studies)
        studies << studyFields(s);
    QStringList limits;
    for (const GroupFigures &g : report.groups) {
        groups << groupFields(g);
        limits << limitsJson(g.failedLimits);
    }
    for (const ProductCapability &p : report.products)
        products << capabilityFields(p);
    QString out;
    switch (format) {
    case ReportFormat::Json:
        out = QStringLiteral("{%1,\"groups\":%2,\"capability\":%3,\"linearity\":%4,\"studies\":%5}\n")
                  .arg(filterJson(report.filter), jsonArrayOf(groups, limits), jsonArrayOf(products),
                       jsonArrayOf(lines), jsonArrayOf(studies));
        break;
    case ReportFormat::Csv: {
        // The failed limits as one more column: "accuracy=3; sigma=1".
        Field failed = textField("failed_limits", "failed limits", QString());
        for (int i = 0; i < groups.size(); ++i) {
            failed.value = limitsText(report.groups[i].failedLimits);
            groups[i] << failed;
        }
        out = csvOf(groupFields(GroupFigures()) << failed, groups);
        break;
    }
    case ReportFormat::Text:
        out = textOf(groupFields(GroupFigures()), groups);
        for (const GroupFigures &g : report.groups)
            if (!g.failedLimits.isEmpty())
                out += QStringLiteral("failed limits (%1): %2\n").arg(shown(groupFields(g).first()), limitsText(g.failedLimits));
        if (!products.isEmpty())
            out += QLatin1Char('\n') + textOf(capabilityFields(ProductCapability()), products);
        if (groups.isEmpty())
            out += QStringLiteral("no test runs\n");
        if (!lines.isEmpty())
            out += QStringLiteral("\nlinearity\n") + textOf(linearityFields(LinearityFigures()), lines);
        if (!studies.isEmpty())
            out += QStringLiteral("\nstudies\n") + textOf(studyFields(StudyFigures()), studies);
        break;
    case ReportFormat::Html:
        break;
    }
    return out.toUtf8();
}

QByteArray renderHistory(const QString &serial, const QVector<HistoryRun> &runs, ReportFormat format)
{
    if (format == ReportFormat::Html)
        return htmlHistory(serial, runs);
    QVector<QVector<Field>> rows;
    for (const HistoryRun &r : runs)
        rows << historyFields(r);
    QString out;
    switch (format) {
    case ReportFormat::Json:
        out = QStringLiteral("{\"serial\":%1,\"runs\":%2}\n").arg(jsonString(serial), jsonArrayOf(rows));
        break;
    case ReportFormat::Csv:
        out = csvOf(historyFields(HistoryRun()), rows);
        break;
    case ReportFormat::Text:
        out = QStringLiteral("serial %1: %2\n").arg(serial, countOf(runs.size(), "run", "runs")) + textOf(historyFields(HistoryRun()), rows);
        break;
    case ReportFormat::Html:
        break;
    }
    return out.toUtf8();
}
