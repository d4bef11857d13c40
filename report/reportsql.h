#ifndef REPORTSQL_H
#define REPORTSQL_H

// The SQL the report's queries share: the WHERE clause of the report's
// selection (time, station, product) for the runs of one kind, with its
// values bound in order; running a prepared statement; reading a nullable
// number; a millimetre column in whole thousandths.

#include "reportquery.h"
#include "results/schema.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <optional>

namespace ReportSql {

struct Where {
    QString sql;
    QVariantList values;
};

// `kind`: the runs' kind, "test" for the line's test runs (a constant of the
// program, never a user's text).
Where whereOf(const ReportFilter &filter, SqlDialect dialect, const QString &kind = QStringLiteral("test"));

// Prepares `sql`, binds `values` in order and runs it; false with `error` set.
bool run(QSqlQuery &q, const QString &sql, const QVariantList &values, QString *error);

std::optional<double> number(const QVariant &v);

// "CAST(ROUND(column * 1000) AS bigint)".
QString milli(const char *column);

} // namespace ReportSql

#endif // REPORTSQL_H
