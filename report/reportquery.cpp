#include "reportquery.h"

#include "reportsql.h"

#include "results/runrecord.h"
#include "results/schema.h"
#include "stats/wideunsigned.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace ReportSql;

namespace {

// Bins a histogram may have; a wider spread gets wider bins.
constexpr qint64 MaxBins = 200;

QString groupExpression(GroupBy by, SqlDialect dialect)
{
    const bool pg = dialect == SqlDialect::Postgres;
    switch (by) {
    case GroupBy::None: return QStringLiteral("'all'");
    case GroupBy::Station: return QStringLiteral("COALESCE(station, '')");
    case GroupBy::Product: return QStringLiteral("COALESCE(product, '')");
    case GroupBy::Firmware: return QStringLiteral("COALESCE(firmware_version, '')");
    // UTC days and hours, the same text from both databases.
    case GroupBy::Day:
        return pg ? QStringLiteral("to_char(started_at AT TIME ZONE 'UTC', 'YYYY-MM-DD')")
                  : QStringLiteral("substr(started_at, 1, 10)");
    case GroupBy::Hour:
        return pg ? QStringLiteral("to_char(started_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24')")
                  : QStringLiteral("substr(started_at, 1, 13)");
    }
    return QString();
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// A group's units: the figures of the query below.
struct UnitFigures {
    QString group;
    qint64 units = 0, runs = 0, firstPass = 0, finalPass = 0;
};

// Per unit, read in the order of the report's index (serial number, start,
// status, result): its runs, and whether its first and its latest complete
// run passed. In that order a failure started at the same time as a pass
// comes before it ("FAIL" < "PASS"), so of two such runs the failed one
// counts as first and the passed one as latest. Worked out here as the rows
// go by: in SQL the same takes four minima and maxima per run and, grouped,
// a sort of every run by group and unit.
bool unitFigures(QSqlDatabase &db, const ReportFilter &f, QVector<UnitFigures> &units, QString *error)
{
    const SqlDialect dialect = dialectOf(db);
    const bool grouped = f.by != GroupBy::None;
    const Where w = whereOf(f, dialect);
    const QString sql = QStringLiteral(
        "SELECT serial_number, status = 'COMPLETE' AND result = 'PASS', status = 'COMPLETE' AND result = 'FAIL'%1"
        " FROM runs WHERE %2 AND serial_number IS NOT NULL ORDER BY serial_number, started_at, status, result")
                            .arg(grouped ? QStringLiteral(", ") + groupExpression(f.by, dialect) : QString(), w.sql);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!run(q, sql, w.values, error))
        return false;

    // The groups of the unit at hand (few: most units have one), then the totals.
    struct InGroup {
        int total;
        qint64 runs = 0;
        int first = -1, latest = -1;  // -1: no complete run yet; 1: passed
    };
    QVector<InGroup> unit;
    QHash<QString, int> totalIndex;
    const auto finish = [&units, &unit] {
        for (const InGroup &u : unit) {
            UnitFigures &t = units[u.total];
            ++t.units;
            t.runs += u.runs;
            t.firstPass += u.first == 1 ? 1 : 0;
            t.finalPass += u.latest == 1 ? 1 : 0;
        }
        unit.clear();
    };
    QString serial, lastGroup;
    int lastTotal = -1;
    const QString all = QStringLiteral("all");
    while (q.next()) {
        const QString s = q.value(0).toString();
        if (s != serial) {
            finish();
            serial = s;
        }
        const QString group = grouped ? q.value(3).toString() : all;
        if (group != lastGroup || lastTotal < 0) {
            lastTotal = totalIndex.value(group, -1);
            if (lastTotal < 0) {
                lastTotal = units.size();
                totalIndex.insert(group, lastTotal);
                units.append({group, 0, 0, 0, 0});
            }
            lastGroup = group;
        }
        const int total = lastTotal;
        auto u = std::find_if(unit.begin(), unit.end(), [total](const InGroup &g) { return g.total == total; });
        if (u == unit.end()) {
            unit.append(InGroup{total});
            u = unit.end() - 1;
        }
        ++u->runs;
        const bool pass = q.value(1).toBool(), fail = q.value(2).toBool();
        if (pass || fail) {
            if (u->first < 0)
                u->first = pass ? 1 : 0;
            u->latest = pass ? 1 : 0;
        }
    }
    if (q.lastError().isValid()) {  // the rows stopped short
        *error = q.lastError().text().trimmed();
        return false;
    }
    finish();
    return true;
}

// The units' figures read every run once more and need nothing the other
// queries give: they are worked out on a connection of their own in a thread
// of their own while the others run here, so on a machine with two cores a
// report takes about as long as the longer of the two. Where no second
// connection can be had (a server at its connection limit) they are worked
// out here after the others.
class UnitsOnTheSide
{
public:
    UnitsOnTheSide(const QSqlDatabase &db, const ReportFilter &f)
        : name(QStringLiteral("%1-units").arg(db.connectionName())), filter(f)
    {
        const QString from = db.connectionName();
        thread.reset(QThread::create([this, from] {
            {
                QSqlDatabase own = QSqlDatabase::cloneDatabase(from, name);
                if (own.open()) {
                    opened = true;
                    ok = unitFigures(own, filter, units, &error);
                }
            }
            QSqlDatabase::removeDatabase(name);
        }));
        thread->start();
    }
    ~UnitsOnTheSide() { thread->wait(); }

    // The figures, waited for, or worked out on `db` when the thread had no connection.
    bool take(QSqlDatabase &db, QVector<UnitFigures> &result, QString *why)
    {
        thread->wait();
        if (!opened)
            return unitFigures(db, filter, result, why);
        result = units;
        if (!ok)
            *why = error;
        return ok;
    }

private:
    const QString name;
    const ReportFilter filter;
    std::unique_ptr<QThread> thread;
    bool opened = false, ok = false;
    QVector<UnitFigures> units;
    QString error;
};

bool groupFigures(QSqlDatabase &db, const ReportFilter &f, QVector<GroupFigures> &groups, QString *error)
{
    const SqlDialect dialect = dialectOf(db);
    const QString g = groupExpression(f.by, dialect);
    const Where w = whereOf(f, dialect);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QHash<QString, int> index;

    // One group has no GROUP BY: grouping by a constant would sort every run
    // first. Aggregates with FILTER cost less per run than CASE inside them.
    const bool grouped = f.by != GroupBy::None;
    const QString groupBy = grouped ? QStringLiteral(" GROUP BY 1") : QString();

    // One pass for the counts and the sums of the figures.
    const QString a = milli("accuracy_mm");
    const QString complete = QStringLiteral(" FILTER (WHERE status = 'COMPLETE')");
    const QString counts = QStringLiteral(
        "SELECT %1 AS g, COUNT(*),"
        " COUNT(*) FILTER (WHERE result = 'PASS'),"
        " COUNT(*) FILTER (WHERE result = 'FAIL'),"
        " COUNT(*) FILTER (WHERE result = 'PASS' AND marginal = 1),"
        " COUNT(*) FILTER (WHERE status = 'ERROR'),"
        " COUNT(*) FILTER (WHERE status = 'ABORTED'),"
        " COUNT(sigma_mm)%5, SUM(%3)%5,"
        " MIN(tolerance_mm), MAX(tolerance_mm), COUNT(tolerance_mm),"
        " COUNT(accuracy_mm)%5, SUM(%4)%5, SUM(CAST(%4 AS double precision) * %4)%5"
        " FROM runs WHERE %2%6").arg(g, w.sql, milli("sigma_mm"), a, complete, groupBy);
    if (!run(q, counts, w.values, error))
        return false;
    while (q.next()) {
        GroupFigures gf;
        gf.group = q.value(0).toString();
        gf.runs = q.value(1).toLongLong();
        if (gf.runs == 0)  // no run matched: no group
            continue;
        gf.pass = q.value(2).toLongLong();
        gf.fail = q.value(3).toLongLong();
        gf.marginal = q.value(4).toLongLong();
        gf.error = q.value(5).toLongLong();
        gf.aborted = q.value(6).toLongLong();
        if (const qint64 sigmas = q.value(7).toLongLong())
            gf.repeatability = double(q.value(8).toLongLong()) / double(sigmas) / 1000.0;
        const std::optional<double> low = number(q.value(9)), high = number(q.value(10));
        if (low && high && *low == *high && q.value(11).toLongLong() == gf.runs)
            gf.tolerance = *low;
        gf.accuracy = {q.value(12).toLongLong(), q.value(13).toLongLong(), q.value(14).toDouble()};
        index.insert(gf.group, groups.size());
        groups.append(gf);
    }

    // Distinct failed-limit texts are few next to the runs; their names are
    // counted here.
    const QString failedLimits = QStringLiteral(
        "SELECT %1 AS g, failed, COUNT(*) FROM runs WHERE %2 AND failed IS NOT NULL GROUP BY 1, 2").arg(g, w.sql);
    if (!run(q, failedLimits, w.values, error))
        return false;
    QVector<QHash<QString, qint64>> limitCounts(groups.size());
    while (q.next()) {
        const int i = index.value(q.value(0).toString(), -1);
        if (i < 0)
            continue;
        for (const QString &name : limitNames(q.value(1).toString()))
            limitCounts[i][name] += q.value(2).toLongLong();
    }
    for (int i = 0; i < groups.size(); ++i) {
        QVector<LimitCount> &ranked = groups[i].failedLimits;
        for (auto it = limitCounts[i].cbegin(); it != limitCounts[i].cend(); ++it)
            ranked.append({it.key(), it.value()});
        std::sort(ranked.begin(), ranked.end(), [](const LimitCount &a, const LimitCount &b) {
            return a.count != b.count ? a.count > b.count : a.limit < b.limit;
        });
    }
    // Sorted here: the databases' collations may order texts differently.
    std::sort(groups.begin(), groups.end(), [](const GroupFigures &x, const GroupFigures &y) { return x.group < y.group; });
    return true;
}

bool productCapability(QSqlDatabase &db, const ReportFilter &f, QVector<ProductCapability> &products, QString *error)
{
    const SqlDialect dialect = dialectOf(db);
    const Where w = whereOf(f, dialect);
    // A product whose tolerance changed is two.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QHash<QString, int> index;
    // The distribution from the accuracies to the thousandth, binned here in
    // whole thousandths: the same bins from both databases. Grouped by the
    // stored values, in the order of the index that holds them (no sort);
    // rounded to thousandths here.
    const QString values = QStringLiteral(
        "SELECT product, tolerance_mm, accuracy_mm, COUNT(*) FROM runs WHERE %1"
        " AND status = 'COMPLETE' AND tolerance_mm IS NOT NULL AND accuracy_mm IS NOT NULL"
        " GROUP BY product, tolerance_mm, accuracy_mm")
                               .arg(w.sql);
    if (!run(q, values, w.values, error))
        return false;
    const auto milliOf = [](const QVariant &v) { return qint64(std::llround(v.toDouble() * 1000.0)); };
    QVector<QVector<QPair<qint64, qint64>>> points;
    while (q.next()) {
        const qint64 toleranceMilli = milliOf(q.value(1));
        const QString k = q.value(0).toString() + QLatin1Char('|') + QString::number(toleranceMilli);
        int i = index.value(k, -1);
        if (i < 0) {
            ProductCapability p;
            p.product = q.value(0).toString();
            p.tolerance = double(toleranceMilli) / 1000.0;
            p.binWidthMilli = qMax<qint64>(1, toleranceMilli / 10);
            i = products.size();
            index.insert(k, i);
            products.append(p);
            points.append(QVector<QPair<qint64, qint64>>());
        }
        const qint64 a = milliOf(q.value(2)), n = q.value(3).toLongLong();
        points[i].append({a, n});
        Spread &s = products[i].accuracy;
        s.n += n;
        s.sumMilli += a * n;
        s.sumSquaresMilli += double(a) * double(a) * double(n);
    }
    for (int i = 0; i < products.size(); ++i) {
        ProductCapability &p = products[i];
        if (points[i].isEmpty())
            continue;
        qint64 low = points[i].first().first, high = low;
        for (const auto &pt : points[i]) {
            low = qMin(low, pt.first);
            high = qMax(high, pt.first);
        }
        // The tolerance limits always in view.
        low = qMin(low, -qint64(std::llround(p.tolerance * 1000)));
        high = qMax(high, qint64(std::llround(p.tolerance * 1000)));
        while ((high - low) / p.binWidthMilli + 1 > MaxBins)
            p.binWidthMilli *= 2;
        const qint64 first = floorDiv(low, p.binWidthMilli);
        const qint64 last = floorDiv(high, p.binWidthMilli);
        p.histogram.resize(int(last - first + 1));
        for (int b = 0; b < p.histogram.size(); ++b)
            p.histogram[b].fromMilli = (first + b) * p.binWidthMilli;
        for (const auto &pt : points[i])
            p.histogram[int(floorDiv(pt.first, p.binWidthMilli) - first)].count += pt.second;
    }
    // Sorted here: the databases' collations may order texts differently.
    std::sort(products.begin(), products.end(), [](const ProductCapability &x, const ProductCapability &y) {
        return x.product != y.product ? x.product < y.product : x.tolerance < y.tolerance;
    });
    return true;
}

} // namespace

std::optional<double> Spread::mean() const
{
    if (n < 1)
        return std::nullopt;
    return double(sumMilli) / double(n) / 1000.0;
}

std::optional<double> Spread::sigma() const
{
    if (n < 2)
        return std::nullopt;
    // n * sum(x^2) - sum(x)^2 in whole numbers: no cancellation.
    const quint64 magnitude = sumMilli < 0 ? 0 - quint64(sumMilli) : quint64(sumMilli);
    const WideUnsigned all = WideUnsigned::product(quint64(n), quint64(std::llround(sumSquaresMilli)));
    const WideUnsigned mean = WideUnsigned::product(magnitude, magnitude);
    const WideUnsigned spread = mean <= all ? all - mean : WideUnsigned();
    const long double variance = ((long double)(spread.high) * 18446744073709551616.0L + (long double)(spread.low))
                                 / ((long double)(n) * (long double)(n - 1));
    return double(std::sqrt(std::max(variance, 0.0L))) / 1000.0;
}

std::optional<double> Spread::cp(double tolerance) const
{
    const std::optional<double> s = sigma();
    if (!s || *s <= 0)
        return std::nullopt;
    return 2.0 * tolerance / (6.0 * *s);
}

std::optional<double> Spread::cpk(double tolerance) const
{
    const std::optional<double> s = sigma();
    if (!s || *s <= 0)
        return std::nullopt;
    return (tolerance - std::fabs(*mean())) / (3.0 * *s);
}

std::optional<double> GroupFigures::firstPassYield() const
{
    return units > 0 ? std::optional<double>(double(firstPassUnits) / double(units)) : std::nullopt;
}

std::optional<double> GroupFigures::finalYield() const
{
    return units > 0 ? std::optional<double>(double(finalPassUnits) / double(units)) : std::nullopt;
}

std::optional<double> GroupFigures::cp() const
{
    return tolerance ? accuracy.cp(*tolerance) : std::nullopt;
}

std::optional<double> GroupFigures::cpk() const
{
    return tolerance ? accuracy.cpk(*tolerance) : std::nullopt;
}

QString limitName(const QString &failedLimit)
{
    QStringList words;
    for (const QString &word : failedLimit.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool letters = std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetter(); });
        if (!letters)
            break;
        words << word;
    }
    return words.isEmpty() ? failedLimit.trimmed() : words.join(QLatin1Char(' '));
}

QStringList limitNames(const QString &failed)
{
    QStringList names;
    for (const QString &part : failed.split(QStringLiteral("; "), Qt::SkipEmptyParts))
        names << limitName(part);
    return names;
}

QString groupByName(GroupBy by)
{
    switch (by) {
    case GroupBy::None: return QString();
    case GroupBy::Station: return QStringLiteral("station");
    case GroupBy::Product: return QStringLiteral("product");
    case GroupBy::Firmware: return QStringLiteral("firmware");
    case GroupBy::Day: return QStringLiteral("day");
    case GroupBy::Hour: return QStringLiteral("hour");
    }
    return QString();
}

std::optional<GroupBy> groupByFromName(const QString &name)
{
    for (GroupBy by : {GroupBy::Station, GroupBy::Product, GroupBy::Firmware, GroupBy::Day, GroupBy::Hour})
        if (groupByName(by) == name)
            return by;
    return std::nullopt;
}

bool buildReport(QSqlDatabase &db, const ReportFilter &filter, Report &report, QString *error)
{
    report = Report();
    report.filter = filter;
    UnitsOnTheSide side(db, filter);
    QVector<UnitFigures> units;
    if (!groupFigures(db, filter, report.groups, error) || !productCapability(db, filter, report.products, error)
        || !side.take(db, units, error))
        return false;
    QHash<QString, int> index;
    for (int i = 0; i < report.groups.size(); ++i)
        index.insert(report.groups[i].group, i);
    for (const UnitFigures &u : units) {
        const int i = index.value(u.group, -1);
        if (i < 0)
            continue;
        GroupFigures &g = report.groups[i];
        g.units = u.units;
        g.retests = u.runs - u.units;
        g.firstPassUnits = u.firstPass;
        g.finalPassUnits = u.finalPass;
    }
    return true;
}

bool unitHistory(QSqlDatabase &db, const QString &serial, QVector<HistoryRun> &runs, QString *error)
{
    runs.clear();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql = QStringLiteral(
        "SELECT started_at, station, product, device_id, firmware_version, status, result, marginal,"
        " accuracy_mm, sigma_mm, failed, run_id, operator FROM runs WHERE serial_number = ?"
        " ORDER BY started_at, run_id");
    if (!run(q, sql, {serial}, error))
        return false;
    while (q.next()) {
        HistoryRun r;
        const QVariant started = q.value(0);
        // PostgreSQL hands back a time, SQLite the text it keeps.
        r.startedAt = started.canConvert<QDateTime>() && started.toDateTime().isValid()
                              && dialectOf(db) == SqlDialect::Postgres
                          ? utcText(started.toDateTime())
                          : started.toString();
        r.station = q.value(1).toString();
        r.product = q.value(2).toString();
        r.deviceId = q.value(3).isNull() ? QString() : q.value(3).toString();
        r.firmware = q.value(4).toString();
        r.status = q.value(5).toString();
        r.result = q.value(6).toString();
        r.marginal = q.value(7).toInt() == 1;
        r.accuracy = number(q.value(8));
        r.sigma = number(q.value(9));
        r.failed = q.value(10).toString();
        r.runId = q.value(11).toString();
        r.operatorName = q.value(12).toString();
        runs.append(r);
    }
    return true;
}
