#include "schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {

// The tables of version 1, with the types as placeholders.
const char *const version1[] = {
    "CREATE TABLE IF NOT EXISTS runs ("
    " run_id {uuid} PRIMARY KEY,"
    " started_at {time} NOT NULL,"
    " ended_at {time} NOT NULL,"
    " kind TEXT NOT NULL,"
    " station TEXT NOT NULL,"
    " operator TEXT,"
    " serial_number TEXT,"
    " product TEXT,"
    " limits_version TEXT,"
    " limits_sha256 TEXT,"
    " port TEXT NOT NULL,"
    " baud INTEGER NOT NULL,"
    " device_id INTEGER,"
    " hardware_version TEXT,"
    " firmware_version TEXT,"
    " tool_version TEXT NOT NULL,"
    " command TEXT NOT NULL,"
    " reference_mm {numeric},"
    " tolerance_mm {numeric},"
    " marginal_mm {numeric},"
    " frames BIGINT NOT NULL,"
    " expected BIGINT NOT NULL,"
    " failed_checks BIGINT NOT NULL,"
    " rate_hz {numeric} NOT NULL,"
    " mean_mm {numeric},"
    " sigma_mm {numeric},"
    " min_mm INTEGER,"
    " max_mm INTEGER,"
    " median_mm {numeric},"
    " accuracy_mm {numeric},"
    " outside BIGINT,"
    " mean_amplitude {numeric},"
    " status TEXT NOT NULL CHECK (status IN ('COMPLETE', 'ERROR', 'ABORTED')),"
    " result TEXT CHECK (result IN ('PASS', 'FAIL')),"
    " marginal SMALLINT NOT NULL DEFAULT 0,"
    " failed TEXT,"
    " exit_status INTEGER NOT NULL,"
    " error_message TEXT)",
    "CREATE TABLE IF NOT EXISTS measurements ("
    " run_id {uuid} NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL,"
    " time {time} NOT NULL,"
    " code SMALLINT NOT NULL,"
    " distance_mm INTEGER NOT NULL,"
    " amplitude INTEGER NOT NULL,"
    " ambient INTEGER NOT NULL,"
    " temperature_c INTEGER NOT NULL,"
    " driver_current INTEGER NOT NULL,"
    " PRIMARY KEY (run_id, seq))",
    "CREATE INDEX IF NOT EXISTS runs_serial_number ON runs (serial_number, started_at)",
    "CREATE INDEX IF NOT EXISTS runs_started_at ON runs (started_at)",
    "CREATE INDEX IF NOT EXISTS runs_station ON runs (station, started_at)",
    "CREATE INDEX IF NOT EXISTS runs_product ON runs (product, started_at)",
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
};

// Version 2: one index holding every column the line's report reads, so the
// report scans it instead of the whole rows, and finds each unit's runs
// together in serial-number order without sorting them.
const char *const version2[] = {
    "CREATE INDEX IF NOT EXISTS runs_report ON runs (kind, serial_number, started_at, status, result,"
    " station, product, firmware_version, marginal, tolerance_mm, accuracy_mm, sigma_mm{failed})",
};

// Version 3: the accuracies by product and tolerance, so the report's
// capability reads them in order rather than sorting every run.
const char *const version3[] = {
    "CREATE INDEX IF NOT EXISTS runs_capability ON runs (kind, status, product, tolerance_mm, accuracy_mm,"
    " started_at, station)",
};

// Version 4: how often a run found its lost port again (--reconnect), so
// the report shows which station's cable is loose; the figures of runs
// across the module's range (the linearity of their points) and of type-1
// studies (Cg, Cgk), and the points themselves.
const char *const version4[] = {
    "ALTER TABLE runs ADD COLUMN reconnects INTEGER NOT NULL DEFAULT 0",
    "CREATE INDEX IF NOT EXISTS runs_reconnects ON runs (kind, started_at, station, product, firmware_version,"
    " reconnects) WHERE reconnects > 0",
    "ALTER TABLE runs ADD COLUMN cg {numeric}",
    "ALTER TABLE runs ADD COLUMN cgk {numeric}",
    "ALTER TABLE runs ADD COLUMN linearity_slope {numeric}",
    "ALTER TABLE runs ADD COLUMN linearity_intercept_mm {numeric}",
    "ALTER TABLE runs ADD COLUMN linearity_r2 {numeric}",
    "CREATE TABLE IF NOT EXISTS points ("
    " run_id {uuid} NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE,"
    " point_index INTEGER NOT NULL,"
    " reference_mm {numeric} NOT NULL,"
    " frames BIGINT NOT NULL,"
    " mean_mm {numeric},"
    " bias_mm {numeric},"
    " sigma_mm {numeric},"
    " min_mm INTEGER,"
    " max_mm INTEGER,"
    " outside BIGINT NOT NULL,"
    " result TEXT CHECK (result IN ('PASS', 'FAIL')),"
    " PRIMARY KEY (run_id, point_index))",
};

struct Upgrade {
    int to;
    const char *const *begin;
    const char *const *end;
    // Only speeds queries up: a user who may not make it (a PostgreSQL
    // station user) goes on with the database as it is, and a user who may
    // upgrades it later.
    bool indexesOnly;
};

// Each later version adds its statements here; they run in order, once.
const Upgrade upgrades[] = {
    {1, std::begin(version1), std::end(version1), false},
    {2, std::begin(version2), std::end(version2), true},
    {3, std::begin(version3), std::end(version3), true},
    {4, std::begin(version4), std::end(version4), false},
};

QString typed(const char *statement, SqlDialect dialect)
{
    QString s = QString::fromLatin1(statement);
    const bool pg = dialect == SqlDialect::Postgres;
    s.replace(QLatin1String("{uuid}"), pg ? QLatin1String("uuid") : QLatin1String("TEXT"));
    s.replace(QLatin1String("{time}"), pg ? QLatin1String("timestamptz") : QLatin1String("TEXT"));
    // Unbounded numeric: the digits as printed, and no figure can overflow
    // the column and keep its run out of the database.
    s.replace(QLatin1String("{numeric}"), pg ? QLatin1String("numeric") : QLatin1String("REAL"));
    // The failed limits' text has no bound, and PostgreSQL refuses an index
    // entry beyond a third of a page, and the run with it: only SQLite keeps it
    // in the report's index (its planner would otherwise read every row
    // through the index for them).
    s.replace(QLatin1String("{failed}"), pg ? QLatin1String("") : QLatin1String(", failed"));
    return s;
}

bool run(QSqlDatabase &db, const QString &sql, QString *error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    *error = q.lastError().text();
    return false;
}

} // namespace

SqlDialect dialectOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? SqlDialect::Postgres : SqlDialect::Sqlite;
}

const QStringList &runColumns()
{
    static const QStringList columns = {
        "run_id", "started_at", "ended_at", "kind", "station", "operator", "serial_number", "product",
        "limits_version", "limits_sha256", "port", "baud", "device_id", "hardware_version",
        "firmware_version", "tool_version", "command", "reference_mm", "tolerance_mm", "marginal_mm",
        "frames", "expected", "failed_checks", "rate_hz", "mean_mm", "sigma_mm", "min_mm", "max_mm",
        "median_mm", "accuracy_mm", "outside", "mean_amplitude", "status", "result", "marginal",
        "failed", "exit_status", "error_message", "reconnects", "cg", "cgk", "linearity_slope",
        "linearity_intercept_mm", "linearity_r2"};
    return columns;
}

const QStringList &pointColumns()
{
    static const QStringList columns = {"run_id", "point_index", "reference_mm", "frames", "mean_mm", "bias_mm",
                                        "sigma_mm", "min_mm", "max_mm", "outside", "result"};
    return columns;
}

QStringList runColumnsAt(int version)
{
    // Version 4 added every column from "reconnects" on.
    return version >= 4 ? runColumns() : QStringList(runColumns().mid(0, runColumns().indexOf(QStringLiteral("reconnects"))));
}

const QStringList &measurementColumns()
{
    static const QStringList columns = {"run_id", "seq", "time", "code", "distance_mm", "amplitude",
                                        "ambient", "temperature_c", "driver_current"};
    return columns;
}

int schemaVersionOf(QSqlDatabase &db)
{
    const bool pg = dialectOf(db) == SqlDialect::Postgres;
    QSqlQuery q(db);
    // Asked without an error when the table is missing (an error would
    // spoil an open PostgreSQL transaction), and from the catalogue's rows:
    // to_regclass() may answer from a cache that has not yet seen a table
    // another station made while this one waited for the lock.
    const QString exists = pg ? QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables"
                                               " WHERE schemaname = current_schema() AND tablename = 'schema_version'")
                              : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                                               " AND name = 'schema_version'");
    if (!q.exec(exists) || !q.next())
        return -1;
    if (!q.value(0).toBool())
        return 0;
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

bool ensureSchema(QSqlDatabase &db, QString *error)
{
    const SqlDialect dialect = dialectOf(db);
    const int seen = schemaVersionOf(db);
    if (seen >= SchemaVersion)
        return true;

    // One creator at a time: SQLite's write lock, PostgreSQL's transaction-wide
    // advisory lock; the version is read again under it.
    const bool pg = dialect == SqlDialect::Postgres;
    if (!run(db, pg ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    const auto fail = [&db, error](const QString &why) {
        *error = why;
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    QString why;
    if (pg && !run(db, QStringLiteral("SELECT pg_advisory_xact_lock(7316485021)"), &why))
        return fail(why);
    const int current = schemaVersionOf(db);
    if (current < 0)
        return fail(db.lastError().text());
    // Tables of someone else's and none of this program's: not a database to
    // add the runs' tables to.
    if (current == 0) {
        QSqlQuery q(db);
        const QString tables = pg ? QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = current_schema()")
                                  : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'");
        if (!q.exec(tables) || !q.next())
            return fail(q.lastError().text());
        if (q.value(0).toInt() > 0)
            return fail(QStringLiteral("not a Korvani results database: it holds other tables and no schema_version"));
    }
    for (const Upgrade &u : upgrades) {
        if (u.to <= current)
            continue;
        for (const char *const *s = u.begin; s != u.end; ++s) {
            if (!run(db, typed(*s, dialect), &why)) {
                // Refused to a user who may not upgrade: a database whose
                // tables this program can still write is used as it is.
                const bool tablesWritable = std::all_of(std::begin(upgrades), std::end(upgrades), [current](const Upgrade &later) {
                    return later.to <= current || later.indexesOnly;
                });
                if (current >= 1 && tablesWritable) {
                    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                    return true;
                }
                if (current >= 1)
                    return fail(QStringLiteral("cannot upgrade the tables from version %1 to %2 (%3): the database's "
                                               "owner upgrades them by running korvani-cli sync once")
                                    .arg(current).arg(SchemaVersion).arg(why));
                return fail(QStringLiteral("cannot create the tables: %1").arg(why));
            }
        }
    }
    if (current < SchemaVersion) {
        const QString set = current == 0 ? QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                                         : QStringLiteral("UPDATE schema_version SET version = %1");
        if (!run(db, set.arg(SchemaVersion), &why))
            return fail(why);
    }
    return run(db, QStringLiteral("COMMIT"), error);
}
