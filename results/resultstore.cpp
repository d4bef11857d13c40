#include "resultstore.h"

#include "schema.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

// Measurements go in statements of up to this many rows: one round trip per
// statement to a server instead of one per row.
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

bool isConnectionLoss(const QSqlDatabase &db, const QSqlError &e)
{
    if (e.type() == QSqlError::ConnectionError)
        return true;
    // QPSQL reports a dropped server as a statement error while isOpen() stays
    // true; a trivial query tells.
    if (dialectOf(db) != SqlDialect::Postgres)
        return false;
    QSqlQuery probe(db);
    return !probe.exec(QStringLiteral("SELECT 1"));
}

} // namespace

ResultStore::ResultStore(const DbTarget &target)
    : where(target)
    , name(connectionName())
{
}

ResultStore::~ResultStore()
{
    if (db.isValid())
        db.close();
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
    db.close();
    if (!db.open())
        return fail(db.lastError().text());
    if (where.kind == DbTarget::Kind::Sqlite) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.exec(QStringLiteral("PRAGMA foreign_keys=ON")))
            return fail(q.lastError().text());
    }
    return true;
}

bool ResultStore::open()
{
    opened = false;
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
    QVector<QVariantList> values;
    values.reserve(rows.size());
    for (const MeasurementRow &row : rows)
        values.append(measurementValues(run.runId, row));
    return storeValues(runValues(run), values);
}

ResultStore::Stored ResultStore::storeValues(const QVariantList &run, const QVector<QVariantList> &rows)
{
    if (!opened && !open())
        return Stored::Failed;
    bool lost = false;
    const Stored first = write(run, rows, &lost);
    if (first != Stored::Failed || !lost)
        return first;
    // The server went away since the connection was made: the transaction
    // was rolled back; connect once more and write it again.
    const QString firstError = error;
    if (!open()) {
        error = firstError;
        return Stored::Failed;
    }
    return write(run, rows, &lost);
}

ResultStore::Stored ResultStore::write(const QVariantList &run, const QVector<QVariantList> &rows,
                                       bool *connectionLost)
{
    const SqlDialect dialect = dialectOf(db);
    QSqlQuery q(db);
    const auto failed = [&](const QSqlQuery &query) {
        const QSqlError e = query.lastError();
        error = clean(e.text());
        *connectionLost = isConnectionLoss(db, e);
        if (!*connectionLost)
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

    // A run already there came with its measurements, in its own transaction.
    if (inserted) {
        for (int from = 0; from < rows.size(); from += RowsPerInsert) {
            const int n = qMin(RowsPerInsert, rows.size() - from);
            QSqlQuery m(db);
            if (!m.prepare(insertStatement(dialect, QStringLiteral("measurements"), measurementColumns(), n)))
                return failed(m);
            for (int i = from; i < from + n; ++i) {
                for (const QVariant &v : rows.at(i))
                    m.addBindValue(v);
            }
            if (!m.exec())
                return failed(m);
        }
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        return failed(q);
    return inserted ? Stored::Inserted : Stored::AlreadyThere;
}
