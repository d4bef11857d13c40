#include "resultstore.h"

#include "schema.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

// Measurements go to a server in statements of up to this many rows: one
// round trip per statement instead of one per row.
constexpr int RowsPerInsert = 100;

QString connectionName()
{
    static QAtomicInteger<quint32> next;
    return QStringLiteral("korvani-results-%1").arg(next.fetchAndAddRelaxed(1));
}

QString insertStatement(SqlDialect dialect, const QString &table, const QStringList &columns, int rows)
{
    QString one = QStringLiteral("(?");
    for (int i = 1; i < columns.size(); ++i)
        one += QStringLiteral(",?");
    one += QLatin1Char(')');
    QString values = one;
    for (int i = 1; i < rows; ++i)
        values += QLatin1Char(',') + one;
    return dialect == SqlDialect::Postgres
               ? QStringLiteral("INSERT INTO %1 (%2) VALUES %3 ON CONFLICT DO NOTHING")
                     .arg(table, columns.join(QLatin1Char(',')), values)
               : QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES %3")
                     .arg(table, columns.join(QLatin1Char(',')), values);
}

// A server error carries its SQLSTATE; a connection that broke has none, or
// class 08 (connection exception) or 57P (the server shut it down). An SQLite
// file has no connection to lose (and Qt's driver calls a failed step of a
// statement a connection error).
bool isConnectionLoss(const QSqlDatabase &db, const QSqlError &e)
{
    if (dialectOf(db) != SqlDialect::Postgres)
        return false;
    const QString state = e.nativeErrorCode();
    return e.type() == QSqlError::ConnectionError || state.isEmpty() || state.startsWith(QLatin1String("08"))
           || state.startsWith(QLatin1String("57P"));
}

} // namespace

ResultStore::ResultStore(const DbTarget &target)
    : where(target)
    , name(connectionName())
{
}

ResultStore::~ResultStore()
{
    drop();
}

void ResultStore::drop()
{
    opened = false;
    if (!db.isValid())
        return;
    db.close();
    // With the driver gone, queries still alive do not try to free their
    // statements on a dead connection.
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QString ResultStore::clean(QString text) const
{
    if (!where.password.isEmpty())
        text.replace(where.password, QStringLiteral("***"));
    return text.simplified();
}

bool ResultStore::fail(const QString &what)
{
    error = clean(what);
    return false;
}

bool ResultStore::connect()
{
    if (!db.isValid()) {
        const bool pg = where.kind == DbTarget::Kind::Postgres;
        db = QSqlDatabase::addDatabase(pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
        if (!db.isValid())
            return fail(QStringLiteral("the Qt %1 driver is not installed").arg(pg ? "PostgreSQL" : "SQLite"));
        if (pg) {
            db.setHostName(where.host);
            db.setPort(where.port);
            db.setDatabaseName(where.database);
            db.setUserName(where.user);
            db.setPassword(where.password);
            db.setConnectOptions(where.options.join(QLatin1Char(';')));
        } else {
            db.setDatabaseName(where.path);
            // Writers of other processes hold the lock for one run's transaction.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        }
    }
    if (!db.open())
        return fail(db.lastError().text());
    if (where.kind == DbTarget::Kind::Postgres) {
        // The server's notices ("already exists, skipping") are not for the
        // station's terminal; a statement that waits on a lock gives up, so
        // the run goes to the spool instead of hanging.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SET client_min_messages = warning; SET statement_timeout = '%1s'")
                        .arg(StatementTimeoutSeconds)))
            return fail(q.lastError().text());
    } else {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.exec(QStringLiteral("PRAGMA foreign_keys=ON")))
            return fail(q.lastError().text());
    }
    return true;
}

bool ResultStore::open()
{
    opened = false;
    drop();
    if (!connect())
        return false;
    QString why;
    if (!ensureSchema(db, &why))
        return fail(why);
    opened = true;
    return true;
}

ResultStore::Stored ResultStore::storeRun(const RunRecord &run, const QVector<MeasurementRow> &rows)
{
    QVector<QVariantList> values, points;
    values.reserve(rows.size());
    for (const MeasurementRow &row : rows)
        values.append(measurementValues(run.runId, row));
    for (const PointRow &point : run.points)
        points.append(pointValues(run.runId, point));
    return storeValues(runValues(run), values, points);
}

ResultStore::Stored ResultStore::storeValues(const QVariantList &run, const QVector<QVariantList> &rows,
                                             const QVector<QVariantList> &points)
{
    if (!opened && !open())
        return Stored::Failed;
    bool lost = false;
    const Stored first = write(run, rows, points, &lost);
    if (first != Stored::Failed || !lost)
        return first;
    // The server went away since the connection was made: the transaction
    // was rolled back; connect once more and write it again.
    const QString firstError = error;
    if (!open()) {
        error = firstError;
        return Stored::Failed;
    }
    return write(run, rows, points, &lost);
}

ResultStore::Stored ResultStore::write(const QVariantList &run, const QVector<QVariantList> &rows,
                                       const QVector<QVariantList> &points, bool *connectionLost)
{
    const SqlDialect dialect = dialectOf(db);
    QSqlQuery q(db);
    const auto failed = [&](QSqlQuery &query) {
        const QSqlError e = query.lastError();
        // SQLite rolls back only once no statement is left in progress.
        query.finish();
        error = clean(e.text());
        *connectionLost = isConnectionLoss(db, e);
        if (*connectionLost)
            drop();
        else
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return Stored::Failed;
    };

    if (!q.exec(dialect == SqlDialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")))
        return failed(q);
    if (!q.prepare(insertStatement(dialect, QStringLiteral("runs"), runColumns(), 1)))
        return failed(q);
    for (const QVariant &v : run)
        q.addBindValue(v);
    if (!q.exec())
        return failed(q);
    const bool inserted = q.numRowsAffected() > 0;

    // A server gets many rows per statement (one round trip each); SQLite
    // runs one prepared row statement again and again, cheaper than
    // binding hundreds of parameters to one statement.
    const auto insertRows = [&](const QString &table, const QStringList &columns,
                                const QVector<QVariantList> &values) {
        const int perStatement = dialect == SqlDialect::Postgres ? RowsPerInsert : 1;
        const int width = columns.size();
        QSqlQuery full(db), rest(db);
        bool fullPrepared = false;
        for (int from = 0; from < values.size(); from += perStatement) {
            const int n = qMin(perStatement, values.size() - from);
            QSqlQuery &m = n == perStatement ? full : rest;
            if (n != perStatement || !fullPrepared) {
                if (!m.prepare(insertStatement(dialect, table, columns, n))) {
                    failed(m);
                    return false;
                }
                fullPrepared = fullPrepared || n == perStatement;
            }
            for (int i = 0; i < n; ++i) {
                const QVariantList &row = values.at(from + i);
                for (int c = 0; c < width; ++c)
                    m.bindValue(i * width + c, row.value(c));
            }
            if (!m.exec()) {
                failed(m);
                return false;
            }
        }
        return true;
    };
    // A run already there came with its measurements and points, in its own transaction.
    if (inserted && (!insertRows(QStringLiteral("measurements"), measurementColumns(), rows)
                     || !insertRows(QStringLiteral("points"), pointColumns(), points)))
        return Stored::Failed;
    if (!q.exec(QStringLiteral("COMMIT")))
        return failed(q);
    return inserted ? Stored::Inserted : Stored::AlreadyThere;
}
