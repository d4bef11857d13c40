#include "reportsql.h"

#include "results/runrecord.h"

#include <QSqlError>
#include <QVariant>

namespace ReportSql {

Where whereOf(const ReportFilter &f, SqlDialect dialect, const QString &kind)
{
    // The kind is the program's own word, written into the statement so the
    // planner sees it as it reads the report's indexes (which lead with it).
    Where w{QStringLiteral("kind = '%1'").arg(kind), {}};
    // SQLite keeps times as ISO text in UTC, which sorts as the times do.
    const QString time = dialect == SqlDialect::Postgres ? QStringLiteral("CAST(? AS timestamptz)")
                                                         : QStringLiteral("?");
    if (f.since) {
        w.sql += QStringLiteral(" AND started_at >= ") + time;
        w.values << utcText(*f.since);
    }
    if (f.until) {
        w.sql += QStringLiteral(" AND started_at < ") + time;
        w.values << utcText(*f.until);
    }
    if (!f.station.isEmpty()) {
        w.sql += QStringLiteral(" AND station = ?");
        w.values << f.station;
    }
    if (!f.product.isEmpty()) {
        w.sql += QStringLiteral(" AND product = ?");
        w.values << f.product;
    }
    return w;
}

bool run(QSqlQuery &q, const QString &sql, const QVariantList &values, QString *error)
{
    if (!q.prepare(sql)) {
        *error = q.lastError().text().trimmed();
        return false;
    }
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        *error = q.lastError().text().trimmed();
        return false;
    }
    return true;
}

std::optional<double> number(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

QString milli(const char *column)
{
    return QStringLiteral("CAST(ROUND(%1 * 1000) AS bigint)").arg(QLatin1String(column));
}

} // namespace ReportSql
