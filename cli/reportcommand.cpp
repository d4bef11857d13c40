#include "reportcommand.h"

#include "exitstatus.h"
#include "message.h"
#include "output.h"
#include "report/reportformat.h"
#include "report/reportquery.h"
#include "results/dbtarget.h"
#include "results/resultstore.h"

#include <QFileInfo>


namespace {

int failed(const QString &what)
{
    tell(what);
    return ExitStatus::LinkFailure;
}

ReportFormat formatOf(OutputFormat format, bool html)
{
    if (html)
        return ReportFormat::Html;
    switch (format) {
    case OutputFormat::Csv: return ReportFormat::Csv;
    case OutputFormat::Json: return ReportFormat::Json;
    case OutputFormat::Text: break;
    }
    return ReportFormat::Text;
}

} // namespace

int reportRuns(const ReportOptions &o, OutputFormat outputFormat, bool html, Output &out)
{
    QString error;
    const std::optional<DbTarget> target = parseDbTarget(o.db, &error);
    if (!target)
        return failed(error);
    // A report never makes a database: a mistyped path is said, not created.
    if (target->kind == DbTarget::Kind::Sqlite && !QFileInfo::exists(target->path))
        return failed(QStringLiteral("%1: no results database there").arg(target->path));
    ResultStore store(*target);
    if (!store.open())
        return failed(QStringLiteral("%1: %2").arg(target->displayName(), store.errorString()));
    QSqlDatabase db = store.database();

    QByteArray text;
    const ReportFormat format = formatOf(outputFormat, html);
    if (!o.serial.isEmpty()) {
        QVector<HistoryRun> runs;
        if (!unitHistory(db, o.serial, runs, &error))
            return failed(QStringLiteral("%1: %2").arg(target->displayName(), error));
        text = renderHistory(o.serial, runs, format);
    } else {
        ReportFilter filter;
        filter.since = o.since;
        filter.until = o.until;
        filter.station = o.station;
        filter.product = o.product;
        filter.by = o.groupBy;
        Report report;
        if (!buildReport(db, filter, report, &error))
            return failed(QStringLiteral("%1: %2").arg(target->displayName(), error));
        // The page plots the repeatability per station whatever the grouping.
        QVector<GroupFigures> stations;
        if (format == ReportFormat::Html) {
            if (filter.by == GroupBy::Station) {
                stations = report.groups;
            } else {
                Report byStation;
                ReportFilter byStationFilter = filter;
                byStationFilter.by = GroupBy::Station;
                if (!buildReport(db, byStationFilter, byStation, &error))
                    return failed(QStringLiteral("%1: %2").arg(target->displayName(), error));
                stations = byStation.groups;
            }
        }
        RangeReport range;
        if (!buildRangeReport(db, filter, format == ReportFormat::Html, range, &error))
            return failed(QStringLiteral("%1: %2").arg(target->displayName(), error));
        // The page says where its figures come from, and totals its groups.
        PageSource source{target->displayName(), QDateTime::currentDateTimeUtc(), std::nullopt};
        if (format == ReportFormat::Html && filter.by != GroupBy::None) {
            Report all;
            ReportFilter together = filter;
            together.by = GroupBy::None;
            if (!buildReport(db, together, all, &error))
                return failed(QStringLiteral("%1: %2").arg(target->displayName(), error));
            if (!all.groups.isEmpty())
                source.total = all.groups.first();
        }
        text = renderReport(report, format, stations, range, source);
    }

    out.write(text);
    return ExitStatus::Done;
}
