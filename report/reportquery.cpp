#include "reportquery.h"

#include "reportsql.h"

#include "results/runrecord.h"
#include "results/schema.h"
#include "stats/moments.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
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

// A row of a query by its columns' names, each looked up once per query
// (the names are the literals the query's SQL gives them).
class Row
{
public:
    explicit Row(const QSqlQuery &query)
        : q(query)
        , columns(query.record())
    {
    }
    QVariant operator[](const char *name) const
    {
        for (const auto &seen : found)
            if (seen.first == name)
                return q.value(seen.second);
        found.append({name, columns.indexOf(QLatin1String(name))});
        Q_ASSERT(found.last().second >= 0);
        return q.value(found.last().second);
    }

private:
    const QSqlQuery &q;
    const QSqlRecord columns;
    mutable QVector<QPair<const char *, int>> found;
};

// Hands every row of a query that run() ran to `take`; a read that stops
// short (a connection lost, a statement cancelled) is an error, not the end
// of the rows.
template <typename Take>
bool eachRow(QSqlQuery &q, QString *error, Take take)
{
    const Row row(q);
    while (q.next())
        take(row);
    if (q.lastError().isValid()) {
        *error = q.lastError().text().trimmed();
        return false;
    }
    return true;
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
    const QString sql = QStringLiteral("SELECT serial_number, status = 'COMPLETE' AND result = 'PASS' AS passed,"
                                       " status = 'COMPLETE' AND result = 'FAIL' AS failed, ")
                        + groupExpression(f.by, dialect) + QStringLiteral(" AS grp FROM runs WHERE ") + w.sql
                        + QStringLiteral(" AND serial_number IS NOT NULL ORDER BY serial_number, started_at, status, result");
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
    const bool read = eachRow(q, error, [&](const Row &row) {
        const QString s = row["serial_number"].toString();
        if (s != serial) {
            finish();
            serial = s;
        }
        const QString group = grouped ? row["grp"].toString() : all;
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
        const bool pass = row["passed"].toBool(), fail = row["failed"].toBool();
        if (pass || fail) {
            if (u->first < 0)
                u->first = pass ? 1 : 0;
            u->latest = pass ? 1 : 0;
        }
    });
    if (!read)
        return false;
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
    const QString counts =
        QStringLiteral("SELECT ") + g + QStringLiteral(" AS grp, COUNT(*) AS runs,"
        " COUNT(*) FILTER (WHERE result = 'PASS') AS pass,"
        " COUNT(*) FILTER (WHERE result = 'FAIL') AS fail,"
        " COUNT(*) FILTER (WHERE result = 'PASS' AND marginal = 1) AS marginal,"
        " COUNT(*) FILTER (WHERE status = 'ERROR') AS error,"
        " COUNT(*) FILTER (WHERE status = 'ABORTED') AS aborted,"
        " COUNT(sigma_mm)") + complete + QStringLiteral(" AS sigmas,"
        " SUM(") + milli("sigma_mm") + QStringLiteral(")") + complete + QStringLiteral(" AS sigma_sum,"
        " MIN(tolerance_mm) AS tolerance_low, MAX(tolerance_mm) AS tolerance_high,"
        " COUNT(tolerance_mm) AS tolerances,"
        " COUNT(accuracy_mm)") + complete + QStringLiteral(" AS accuracies,"
        " SUM(") + a + QStringLiteral(")") + complete + QStringLiteral(" AS accuracy_sum,"
        " SUM(CAST(") + a + QStringLiteral(" AS double precision) * ") + a + QStringLiteral(")") + complete
        + QStringLiteral(" AS accuracy_squares FROM runs WHERE ") + w.sql + groupBy;
    if (!run(q, counts, w.values, error))
        return false;
    const bool read = eachRow(q, error, [&](const Row &row) {
        GroupFigures gf;
        gf.group = row["grp"].toString();
        gf.runs = row["runs"].toLongLong();
        if (gf.runs == 0)  // no run matched: no group
            return;
        gf.pass = row["pass"].toLongLong();
        gf.fail = row["fail"].toLongLong();
        gf.marginal = row["marginal"].toLongLong();
        gf.error = row["error"].toLongLong();
        gf.aborted = row["aborted"].toLongLong();
        if (const qint64 sigmas = row["sigmas"].toLongLong())
            gf.repeatability = double(row["sigma_sum"].toLongLong()) / double(sigmas) / 1000.0;
        const std::optional<double> low = number(row["tolerance_low"]), high = number(row["tolerance_high"]);
        if (low && high && *low == *high && row["tolerances"].toLongLong() == gf.runs)
            gf.tolerance = *low;
        gf.accuracy = {row["accuracies"].toLongLong(), row["accuracy_sum"].toLongLong(),
                       row["accuracy_squares"].toDouble()};
        index.insert(gf.group, groups.size());
        groups.append(gf);
    });
    if (!read)
        return false;

    // Runs with reconnects are few: their own partial index holds them.
    const QString reconnects = QStringLiteral("SELECT ") + g
                               + QStringLiteral(" AS grp, SUM(reconnects) AS reconnects FROM runs WHERE ") + w.sql
                               + QStringLiteral(" AND reconnects > 0") + groupBy;
    if (!run(q, reconnects, w.values, error))
        return false;
    if (!eachRow(q, error, [&](const Row &row) {
            const int i = index.value(row["grp"].toString(), -1);
            if (i >= 0)
                groups[i].reconnects = row["reconnects"].toLongLong();
        }))
        return false;

    // Distinct failed-limit texts are few next to the runs; their names are
    // counted here.
    const QString failedLimits = QStringLiteral("SELECT ") + g
                                 + QStringLiteral(" AS grp, failed, COUNT(*) AS runs FROM runs WHERE ") + w.sql
                                 + QStringLiteral(" AND failed IS NOT NULL GROUP BY 1, 2");
    if (!run(q, failedLimits, w.values, error))
        return false;
    QVector<QHash<QString, qint64>> limitCounts(groups.size());
    if (!eachRow(q, error, [&](const Row &row) {
            const int i = index.value(row["grp"].toString(), -1);
            if (i < 0)
                return;
            for (const QString &name : limitNames(row["failed"].toString()))
                limitCounts[i][name] += row["runs"].toLongLong();
        }))
        return false;
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
    const QString values = QStringLiteral("SELECT product, tolerance_mm, accuracy_mm, COUNT(*) AS runs FROM runs WHERE ")
                           + w.sql
                           + QStringLiteral(" AND status = 'COMPLETE' AND tolerance_mm IS NOT NULL AND accuracy_mm IS NOT NULL"
                                            " GROUP BY product, tolerance_mm, accuracy_mm");
    if (!run(q, values, w.values, error))
        return false;
    const auto milliOf = [](const QVariant &v) { return qint64(std::llround(v.toDouble() * 1000.0)); };
    QVector<QVector<QPair<qint64, qint64>>> points;
    const bool read = eachRow(q, error, [&](const Row &row) {
        const qint64 toleranceMilli = milliOf(row["tolerance_mm"]);
        const QString product = row["product"].toString();
        const QString k = product + QLatin1Char('|') + QString::number(toleranceMilli);
        int i = index.value(k, -1);
        if (i < 0) {
            ProductCapability p;
            p.product = product;
            p.tolerance = double(toleranceMilli) / 1000.0;
            p.binWidthMilli = qMax<qint64>(1, toleranceMilli / 10);
            i = products.size();
            index.insert(k, i);
            products.append(p);
            points.append(QVector<QPair<qint64, qint64>>());
        }
        const qint64 a = milliOf(row["accuracy_mm"]), n = row["runs"].toLongLong();
        points[i].append({a, n});
        Spread &s = products[i].accuracy;
        s.n += n;
        s.sumMilli += a * n;
        s.sumSquaresMilli += double(a) * double(a) * double(n);
    });
    if (!read)
        return false;
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

Moments Spread::moments() const
{
    return Moments::fromSums(quint64(n), sumMilli, WideUnsigned(quint64(std::llround(sumSquaresMilli))));
}

std::optional<double> Spread::mean() const
{
    if (n < 1)
        return std::nullopt;
    return moments().mean() / 1000.0;
}

std::optional<double> Spread::sigma() const
{
    if (n < 2)
        return std::nullopt;
    return moments().sigma() / 1000.0;
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
    return eachRow(q, error, [&](const Row &row) {
        HistoryRun r;
        const QVariant started = row["started_at"];
        // PostgreSQL hands back a time, SQLite the text it keeps.
        r.startedAt = started.canConvert<QDateTime>() && started.toDateTime().isValid()
                              && dialectOf(db) == SqlDialect::Postgres
                          ? utcText(started.toDateTime())
                          : started.toString();
        r.station = row["station"].toString();
        r.product = row["product"].toString();
        const QVariant id = row["device_id"];
        r.deviceId = id.isNull() ? QString() : id.toString();
        r.firmware = row["firmware_version"].toString();
        r.status = row["status"].toString();
        r.result = row["result"].toString();
        r.marginal = row["marginal"].toInt() == 1;
        r.accuracy = number(row["accuracy_mm"]);
        r.sigma = number(row["sigma_mm"]);
        r.failed = row["failed"].toString();
        r.runId = row["run_id"].toString();
        r.operatorName = row["operator"].toString();
        runs.append(r);
    });
}
