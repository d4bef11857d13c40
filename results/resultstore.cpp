#include "resultstore.h"

#include "pgconnection.h"
#include "schema.h"
#include "socketdeadline.h"

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

// A server's statement numbers its parameters ($1, $2, ...); SQLite's binds "?".
QString insertStatement(SqlDialect dialect, const QString &table, const QStringList &columns, int rows)
{
    const bool numbered = dialect == SqlDialect::Postgres;
    QString values;
    for (int r = 0; r < rows; ++r) {
        values += r ? QStringLiteral(",(") : QStringLiteral("(");
        for (int c = 0; c < columns.size(); ++c) {
            if (c)
                values += QLatin1Char(',');
            values += numbered ? QStringLiteral("$%1").arg(r * columns.size() + c + 1) : QStringLiteral("?");
        }
        values += QLatin1Char(')');
    }
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

// A NUL cannot be in a PostgreSQL text; both engines store it as "␀".
QVariantList storable(QVariantList values)
{
    for (QVariant &value : values) {
        if (value.userType() == QMetaType::QString && value.toString().contains(QChar(0)))
            value = value.toString().replace(QChar(0), QChar(0x2400));
    }
    return values;
}

// A server that answers says itself that a statement ran out of time (a
// lock waited for, an index an upgrade could not build in time and leaves
// for later): its deadline on this side comes a little later, time for the
// rollback that follows.
constexpr int ServerFirstMs = 1000;

QString secondsText(int ms)
{
    return QString::number(ms / 1000.0, 'g', 6);
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
            // libpq counts whole seconds, at least 2. Keepalives and the
            // TCP user time-out end a connection whose server is gone from
            // the network while the kernel still waits.
            const int connectMs = qMin(limitMs, ConnectLimitMs);
            QStringList options = where.options;
            options << QStringLiteral("connect_timeout=%1").arg(qMax(2, (connectMs + 999) / 1000))
                    << QStringLiteral("keepalives=1") << QStringLiteral("keepalives_idle=%1").arg(qMax(1, limitMs / 2000))
                    << QStringLiteral("keepalives_interval=1")
                    << QStringLiteral("keepalives_count=%1").arg(qMax(1, limitMs / 2000))
                    << QStringLiteral("tcp_user_timeout=%1").arg(limitMs);
            db.setConnectOptions(options.join(QLatin1Char(';')));
        } else {
            db.setDatabaseName(where.path);
            // Writers of other processes hold the lock for one run's transaction.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(limitMs));
        }
    }
    if (!db.open())
        return fail(db.lastError().text());
    return true;
}

bool ResultStore::settle()
{
    QSqlQuery q(db);
    if (where.kind == DbTarget::Kind::Postgres) {
        // The server's notices ("already exists, skipping") are not for the
        // station's terminal; a statement that waits on a lock gives up, so
        // the run goes to the spool instead of hanging.
        if (!q.exec(QStringLiteral("SET client_min_messages = warning; SET statement_timeout = %1").arg(limitMs)))
            return fail(q.lastError().text());
    } else if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.exec(QStringLiteral("PRAGMA foreign_keys=ON"))) {
        // SQLITE_NOTADB: some other file at the path.
        const QSqlError e = q.lastError();
        return fail(e.nativeErrorCode() == QLatin1String("26")
                        ? QStringLiteral("not a Korvani results database (%1)").arg(e.databaseText())
                        : e.text());
    }
    QString why;
    if (!ensureSchema(db, &why))
        return fail(why);
    version = schemaVersionOf(db);
    runColumnsHeld = runColumnsAt(version);
    return true;
}

bool ResultStore::open()
{
    opened = false;
    drop();
    if (!connect())
        return false;
    const SocketDeadline deadline(db, limitMs + ServerFirstMs);
    const bool settled = settle();
    if (deadline.expired())
        return cutOff();
    opened = settled;
    return settled;
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
    if (version > SchemaVersion) {
        fail(QStringLiteral("the database holds schema version %1, newer than this program's %2: not written to")
                 .arg(version)
                 .arg(SchemaVersion));
        return Stored::Failed;
    }
    bool lost = false;
    const Stored first = writeInTime(run, rows, points, &lost);
    if (first != Stored::Failed || !lost)
        return first;
    // The server went away since the connection was made: the transaction
    // was rolled back; connect once more and write it again.
    const QString firstError = error;
    if (!open()) {
        error = firstError;
        return Stored::Failed;
    }
    return writeInTime(run, rows, points, &lost);
}

ResultStore::Stored ResultStore::writeInTime(const QVariantList &run, const QVector<QVariantList> &rows,
                                             const QVector<QVariantList> &points, bool *lost)
{
    SocketDeadline deadline(db, limitMs + ServerFirstMs);
    const Stored stored = write(run, rows, points, deadline, lost);
    if (!deadline.expired())
        return stored;
    // Cut off from this side: a server that froze gets no second try.
    *lost = false;
    cutOff();
    return Stored::Failed;
}

bool ResultStore::cutOff()
{
    drop();
    return fail(QStringLiteral("no answer within %1 s").arg(secondsText(limitMs)));
}

ResultStore::Stored ResultStore::write(const QVariantList &run, const QVector<QVariantList> &rows,
                                       const QVector<QVariantList> &points, SocketDeadline &deadline,
                                       bool *connectionLost)
{
    const SqlDialect dialect = dialectOf(db);
    const bool server = dialect == SqlDialect::Postgres;
    const auto failed = [&](const QString &why, bool lost) {
        error = clean(why);
        *connectionLost = lost;
        if (lost)
            drop();
        else
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return Stored::Failed;
    };
    const auto queryFailed = [&](QSqlQuery &query) {
        const QSqlError e = query.lastError();
        // SQLite rolls back only once no statement is left in progress.
        query.finish();
        return failed(e.text(), isConnectionLoss(db, e));
    };

    QSqlQuery q(db);
    if (!q.exec(server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return queryFailed(q);
    const QString runSql = insertStatement(dialect, QStringLiteral("runs"), runColumnsHeld, 1);
    const QVariantList runHeld = storable(run.mid(0, runColumnsHeld.size()));
    bool inserted = false;
    deadline.restart();
    if (server) {
        const ParameterResult r = execWithParameters(db, runSql, runHeld);
        if (!r.ok)
            return failed(r.error, r.connectionLost);
        inserted = r.rows > 0;
    } else {
        if (!q.prepare(runSql))
            return queryFailed(q);
        for (const QVariant &v : runHeld)
            q.addBindValue(v);
        if (!q.exec())
            return queryFailed(q);
        inserted = q.numRowsAffected() > 0;
    }

    // A server gets many rows per statement, every value a parameter (one
    // round trip each); SQLite runs one prepared row statement again and
    // again, cheaper than binding hundreds of parameters to one statement.
    // False with the failure recorded.
    std::optional<Stored> rowsFailed;
    const auto insertRows = [&](const QString &table, const QStringList &columns,
                                const QVector<QVariantList> &values) {
        if (server) {
            for (int from = 0; from < values.size(); from += RowsPerInsert) {
                const int n = qMin(RowsPerInsert, values.size() - from);
                QVariantList flat;
                for (int i = 0; i < n; ++i)
                    flat += storable(values.at(from + i));
                deadline.restart();  // each statement gets the whole time
                const ParameterResult r = execWithParameters(db, insertStatement(dialect, table, columns, n), flat);
                if (!r.ok) {
                    rowsFailed = failed(r.error, r.connectionLost);
                    return false;
                }
            }
            return true;
        }
        QSqlQuery m(db);
        if (!m.prepare(insertStatement(dialect, table, columns, 1))) {
            rowsFailed = queryFailed(m);
            return false;
        }
        for (const QVariantList &row : values) {
            const QVariantList stored = storable(row);
            for (int c = 0; c < stored.size(); ++c)
                m.bindValue(c, stored.at(c));
            if (!m.exec()) {
                rowsFailed = queryFailed(m);
                return false;
            }
        }
        return true;
    };
    // A run already there came with its measurements and points, in its own transaction.
    if (inserted && (!insertRows(QStringLiteral("measurements"), measurementColumns(), rows)
                     || !insertRows(QStringLiteral("points"), pointColumns(), points)))
        return *rowsFailed;
    deadline.restart();
    if (!q.exec(QStringLiteral("COMMIT")))
        return queryFailed(q);
    return inserted ? Stored::Inserted : Stored::AlreadyThere;
}
