#include "rangereport.h"

#include "reportsql.h"

#include <QHash>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>

using namespace ReportSql;

Quartiles quartiles(QVector<double> values)
{
    Quartiles q;
    if (values.isEmpty())
        return q;
    std::sort(values.begin(), values.end());
    for (int i = 0; i < 3; ++i) {
        const double rank = (i + 1) * 0.25 * double(values.size() - 1);
        const int below = int(std::floor(rank));
        const int above = qMin(below + 1, int(values.size()) - 1);
        q[size_t(i)] = values.at(below) + (rank - below) * (values.at(above) - values.at(below));
    }
    return q;
}

std::optional<double> StudyFigures::capableShare() const
{
    if (modules == 0)
        return std::nullopt;
    return double(capable) / double(modules);
}

namespace {

bool readLinearity(QSqlDatabase &db, const ReportFilter &f, RangeReport &report, QString *error)
{
    const SqlDialect dialect = dialectOf(db);
    const Where w = whereOf(f, dialect, QStringLiteral("points"));
    const QString bias = milli("p.bias_mm");
    QSqlQuery q(db);
    if (!run(q, QStringLiteral("SELECT COALESCE(product, ''), %1, COUNT(DISTINCT serial_number), COUNT(p.bias_mm),"
                               " SUM(%2), SUM(CAST(%2 AS double precision) * %2), MAX(ABS(%2))"
                               " FROM points p JOIN runs r ON r.run_id = p.run_id WHERE %3 AND status = 'COMPLETE'"
                               " GROUP BY COALESCE(product, ''), %1 ORDER BY 1, 2")
                    .arg(milli("p.reference_mm"), bias, w.sql),
             w.values, error))
        return false;
    while (q.next()) {
        LinearityFigures l;
        l.product = q.value(0).toString();
        l.referenceMilli = q.value(1).toLongLong();
        l.units = q.value(2).toLongLong();
        l.bias.n = q.value(3).toLongLong();
        l.bias.sumMilli = q.value(4).toLongLong();
        l.bias.sumSquaresMilli = q.value(5).toDouble();
        l.maxAbsBiasMilli = q.value(6).toLongLong();
        report.linearity << l;
    }
    return true;
}

bool readUnitPoints(QSqlDatabase &db, const ReportFilter &f, RangeReport &report, QString *error)
{
    const Where w = whereOf(f, dialectOf(db), QStringLiteral("points"));
    QSqlQuery q(db);
    if (!run(q, QStringLiteral("SELECT COALESCE(product, ''), COALESCE(serial_number, ''), %1, %2, tolerance_mm"
                               " FROM points p JOIN runs r ON r.run_id = p.run_id WHERE %3 AND status = 'COMPLETE'"
                               " AND p.bias_mm IS NOT NULL ORDER BY 1, 2, started_at, point_index")
                    .arg(milli("p.reference_mm"), milli("p.bias_mm"), w.sql),
             w.values, error))
        return false;
    while (q.next())
        report.unitPoints << UnitPoint{q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong(),
                                       q.value(3).toLongLong(), number(q.value(4))};
    return true;
}

bool readStudies(QSqlDatabase &db, const ReportFilter &f, RangeReport &report, QString *error)
{
    const Where w = whereOf(f, dialectOf(db), QStringLiteral("study"));
    QSqlQuery q(db);
    // In start order, so the last row of a module is its latest study.
    if (!run(q, QStringLiteral("SELECT COALESCE(product, ''), serial_number, result, cg, cgk, run_id FROM runs"
                               " WHERE %1 AND status = 'COMPLETE' ORDER BY 1, started_at, run_id")
                    .arg(w.sql),
             w.values, error))
        return false;
    struct Latest {
        bool capable = false;
        std::optional<double> cg, cgk;
    };
    QVector<QString> products;
    QHash<QString, QVector<QString>> moduleOrder;
    QHash<QString, Latest> latest;  // by product and module
    while (q.next()) {
        const QString product = q.value(0).toString();
        const QString module = q.value(1).isNull() ? QStringLiteral("run:") + q.value(5).toString()
                                                   : QStringLiteral("sn:") + q.value(1).toString();
        if (products.isEmpty() || products.last() != product)
            products << product;
        const QString key = product + QLatin1Char('\n') + module;
        if (!latest.contains(key))
            moduleOrder[product] << key;
        latest[key] = Latest{q.value(2).toString() == QLatin1String("PASS"), number(q.value(3)), number(q.value(4))};
    }
    for (const QString &product : std::as_const(products)) {
        StudyFigures s;
        s.product = product;
        QVector<double> cg;
        for (const QString &key : moduleOrder.value(product)) {
            const Latest &l = latest[key];
            ++s.modules;
            s.capable += l.capable ? 1 : 0;
            if (l.cg)
                cg << *l.cg;
            if (l.cgk)
                s.cgkValues << *l.cgk;
        }
        s.cg = quartiles(cg);
        s.cgk = quartiles(s.cgkValues);
        report.studies << s;
    }
    return true;
}

} // namespace

bool buildRangeReport(QSqlDatabase &db, const ReportFilter &filter, bool withUnitPoints, RangeReport &report,
                      QString *error)
{
    report = RangeReport();
    return readLinearity(db, filter, report, error) && readStudies(db, filter, report, error)
           && (!withUnitPoints || readUnitPoints(db, filter, report, error));
}
