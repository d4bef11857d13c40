#include "htmlpage.h"

#include "reportformat.h"
#include "results/runrecord.h"
#include "svgplot.h"

#include <QHash>

#include <algorithm>

namespace {

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

QString page(const QString &title, const QString &body)
{
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
               "<meta name=\"viewport\" content=\"width=device-width\">"
               "<title>%1</title><style>"
               "body{font-family:sans-serif;margin:1.5em;color:#222}"
               "table{border-collapse:collapse;margin:0.5em 0 1.5em}"
               "th,td{border:1px solid #bbb;padding:3px 8px}td{text-align:right;white-space:nowrap}"
               "td.text{text-align:left;white-space:normal;overflow-wrap:anywhere;max-width:24em}th{background:#eef}"
               "tr.total td{font-weight:bold;border-top:2px solid #333}svg{max-width:100%;height:auto}"
               "figure{display:inline-block;margin:0.5em}"
               "</style></head><body><h1>%1</h1>\n%2</body></html>\n")
        .arg(esc(title), body);
}

QString table(const QString &id, const QVector<QVector<Field>> &rows, const QVector<Field> &header,
              const QVector<Field> &total = {})
{
    QString s = QStringLiteral("<table id=\"%1\"><thead><tr>").arg(id);
    for (const Field &f : header)
        s += QStringLiteral("<th>%1</th>").arg(esc(f.label));
    s += QStringLiteral("</tr></thead><tbody>\n");
    for (const QVector<Field> &row : rows) {
        s += QStringLiteral("<tr>");
        for (const Field &f : row)
            s += QStringLiteral("<td data-key=\"%1\"%2>%3</td>")
                     .arg(f.key, f.isText ? QStringLiteral(" class=\"text\"") : QString(), esc(shown(f)));
        s += QStringLiteral("</tr>\n");
    }
    if (!total.isEmpty()) {
        s += QStringLiteral("<tr class=\"total\">");
        for (const Field &f : total)
            s += QStringLiteral("<td data-key=\"%1\"%2>%3</td>")
                     .arg(f.key, f.isText ? QStringLiteral(" class=\"text\"") : QString(),
                          esc(f.key == QLatin1String("group") ? QStringLiteral("total") : shown(f)));
        s += QStringLiteral("</tr>\n");
    }
    return s + QStringLiteral("</tbody></table>\n");
}

QString filterText(const ReportFilter &f, const PageSource &source)
{
    QStringList parts;
    if (f.by != GroupBy::None)
        parts << QStringLiteral("by %1").arg(groupByName(f.by));
    if (f.since)
        parts << QStringLiteral("since %1").arg(utcText(*f.since));
    if (f.until)
        parts << QStringLiteral("until %1").arg(utcText(*f.until));
    if (!f.station.isEmpty())
        parts << QStringLiteral("station %1").arg(f.station);
    if (!f.product.isEmpty())
        parts << QStringLiteral("product %1").arg(f.product);
    const QString period = f.since || f.until
                               ? QStringLiteral("from %1 until %2")
                                     .arg(f.since ? utcText(*f.since) : QStringLiteral("the first run"),
                                          f.until ? utcText(*f.until) : QStringLiteral("the last run"))
                               : QStringLiteral("over every run it holds");
    QString made;
    if (source.made.isValid())
        made = QStringLiteral("Made %1 from %2, %3. ").arg(utcText(source.made), source.database, period);
    return made + (parts.isEmpty() ? QStringLiteral("All test runs.")
                                   : QStringLiteral("Test runs ") + parts.join(QStringLiteral(", ")) + QLatin1Char('.'));
}

QString figure(const QString &svg)
{
    return QStringLiteral("<figure>") + svg + QStringLiteral("</figure>\n");
}

} // namespace

QByteArray htmlReport(const Report &report, const QVector<GroupFigures> &stations, const RangeReport &range,
                      const PageSource &source)
{
    QString body = QStringLiteral("<p id=\"source\">%1</p>\n").arg(esc(filterText(report.filter, source)));
    if (report.groups.isEmpty())
        body += QStringLiteral("<p id=\"empty\">No test runs.</p>\n");

    QVector<QVector<Field>> rows;
    for (const GroupFigures &g : report.groups)
        rows << groupFields(g);
    body += QStringLiteral("<h2>Groups</h2>\n")
            + table(QStringLiteral("groups"), rows, groupFields(GroupFigures()),
                    source.total && report.groups.size() > 1 ? groupFields(*source.total) : QVector<Field>());

    // Failed limits per group, and all together for the Pareto chart.
    QHash<QString, qint64> total;
    QString limits;
    for (const GroupFigures &g : report.groups) {
        for (const LimitCount &l : g.failedLimits) {
            total[l.limit] += l.count;
            limits += QStringLiteral("<tr><td class=\"text\" data-key=\"group\">%1</td><td class=\"text\" data-key=\"limit\">%2</td>"
                                     "<td data-key=\"count\">%3</td></tr>\n")
                          .arg(esc(shown(groupFields(g).first())), esc(l.limit)).arg(l.count);
        }
    }
    if (!limits.isEmpty())
        body += QStringLiteral("<h2>Failed limits</h2>\n<table id=\"failed_limits\"><thead><tr><th>group</th><th>limit</th>"
                               "<th>count</th></tr></thead><tbody>\n")
                + limits + QStringLiteral("</tbody></table>\n");

    QVector<QVector<Field>> capability;
    for (const ProductCapability &p : report.products)
        capability << capabilityFields(p);
    if (!capability.isEmpty())
        body += QStringLiteral("<h2>Capability per product</h2>\n")
                + table(QStringLiteral("capability"), capability, capabilityFields(ProductCapability()));

    QVector<QVector<Field>> lines, studies;
    for (const LinearityFigures &l : range.linearity)
        lines << linearityFields(l);
    for (const StudyFigures &st : range.studies)
        studies << studyFields(st);
    if (!lines.isEmpty())
        body += QStringLiteral("<h2>Linearity per product</h2>\n")
                + table(QStringLiteral("linearity"), lines, linearityFields(LinearityFigures()));
    if (!studies.isEmpty())
        body += QStringLiteral("<h2>Studies per product</h2>\n")
                + table(QStringLiteral("studies"), studies, studyFields(StudyFigures()));

    body += QStringLiteral("<h2>Plots</h2>\n");
    for (const ProductCapability &p : report.products)
        body += figure(histogramSvg(p));
    for (const QString &svg : biasPlotsSvg(range.unitPoints))
        body += figure(svg);
    for (const StudyFigures &st : range.studies)
        body += figure(cgkDistributionSvg(st));

    const auto percent = [](const std::optional<double> &fraction) {
        return fraction ? std::optional<double>(*fraction * 100.0) : std::nullopt;
    };
    const QString grouping = report.filter.by == GroupBy::None ? QStringLiteral("all runs") : groupByName(report.filter.by);
    BarChart yields{QStringLiteral("Yield per group"), QStringLiteral("%"), grouping, {},
                    {{QStringLiteral("first pass"), QStringLiteral("#3b78c2"), {}},
                     {QStringLiteral("final"), QStringLiteral("#27ae60"), {}}}, false, 100.0};
    for (const GroupFigures &g : report.groups) {
        yields.categories << g.group;
        yields.series[0].values << percent(g.firstPassYield());
        yields.series[1].values << percent(g.finalYield());
    }
    body += figure(barChartSvg(yields));

    BarChart repeatability{QStringLiteral("Repeatability per station (mean sigma)"), QStringLiteral("mm"),
                           QStringLiteral("station"), {},
                           {{QStringLiteral("repeatability"), QStringLiteral("#8e44ad"), {}}}, false, std::nullopt};
    for (const GroupFigures &g : stations) {
        repeatability.categories << g.group;
        repeatability.series[0].values << g.repeatability;
    }
    body += figure(barChartSvg(repeatability));

    QVector<LimitCount> ranked;
    for (auto it = total.cbegin(); it != total.cend(); ++it)
        ranked.append({it.key(), it.value()});
    std::sort(ranked.begin(), ranked.end(), [](const LimitCount &a, const LimitCount &b) {
        return a.count != b.count ? a.count > b.count : a.limit < b.limit;
    });
    BarChart pareto{QStringLiteral("Failed limits (Pareto)"), QStringLiteral("runs"), QStringLiteral("failed limit"), {},
                    {{QStringLiteral("failed"), QStringLiteral("#c0392b"), {}}}, true, std::nullopt};
    for (const LimitCount &l : ranked) {
        pareto.categories << l.limit;
        pareto.series[0].values << double(l.count);
    }
    body += figure(barChartSvg(pareto));
    return page(QStringLiteral("Korvani test report"), body).toUtf8();
}

QByteArray htmlHistory(const QString &serial, const QVector<HistoryRun> &runs)
{
    QVector<QVector<Field>> rows;
    for (const HistoryRun &r : runs)
        rows << historyFields(r);
    const QString body = QStringLiteral("<p>%1.</p>\n").arg(countOf(runs.size(), "run", "runs"))
                         + table(QStringLiteral("history"), rows, historyFields(HistoryRun()));
    return page(QStringLiteral("Korvani unit %1").arg(serial), body).toUtf8();
}
