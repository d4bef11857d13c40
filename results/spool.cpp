#include "spool.h"

#include "dbtarget.h"
#include "resultstore.h"
#include "schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

namespace {

DbTarget sqliteFile(const QString &path)
{
    DbTarget t;
    t.kind = DbTarget::Kind::Sqlite;
    t.path = path;
    return t;
}

QVariantList rowValues(const QSqlQuery &q, int columns)
{
    QVariantList values;
    values.reserve(columns);
    for (int i = 0; i < columns; ++i)
        values.append(q.value(i));
    return values;
}

// Opens the spool file with the table of the runs' targets (made here, so a
// spool of an earlier version gets it in place).
bool openSpool(ResultStore &store, QString *error)
{
    if (!store.open()) {
        *error = store.errorString();
        return false;
    }
    QSqlQuery q(store.database());
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS spool_targets (run_id TEXT PRIMARY KEY, target TEXT NOT NULL)"))) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

} // namespace

Spool::Spool(const QString &path)
    : file(path)
    , limitMs(DefaultDbTimeLimitMs)
{
}

QString Spool::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/korvani/spool.sqlite");
}

bool Spool::keep(const RunRecord &run, const QVector<MeasurementRow> &rows, const DbTarget &target, QString *error)
{
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    ResultStore store(sqliteFile(file));
    store.setTimeLimit(limitMs);
    if (!openSpool(store, error))
        return false;
    // The target first: a run is never in the spool without it (a target
    // whose run did not follow is ignored).
    QSqlQuery q(store.database());
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO spool_targets (run_id, target) VALUES (?, ?)"));
    q.addBindValue(run.runId);
    q.addBindValue(target.identity());
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    if (store.storeRun(run, rows) == ResultStore::Stored::Failed) {
        *error = store.errorString();
        return false;
    }
    return true;
}

bool Spool::waiting(QVector<Waiting> *targets, QString *error)
{
    targets->clear();
    if (!QFileInfo::exists(file))
        return true;
    ResultStore store(sqliteFile(file));
    store.setTimeLimit(limitMs);
    if (!openSpool(store, error))
        return false;
    QSqlQuery q(store.database());
    if (!q.exec(QStringLiteral("SELECT coalesce(t.target, ''), count(*) FROM runs r"
                               " LEFT JOIN spool_targets t USING (run_id)"
                               " GROUP BY 1 ORDER BY min(r.started_at), 1"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        targets->append({q.value(0).toString(), q.value(1).toInt()});
    return true;
}

Spool::Sent Spool::sendTo(ResultStore &target, bool unmarkedToo, QDeadlineTimer until)
{
    Sent result;
    if (!QFileInfo::exists(file))
        return result;
    ResultStore spool(sqliteFile(file));
    spool.setTimeLimit(limitMs);
    QString why;
    if (!openSpool(spool, &why)) {
        result.spoolError = why;
        return result;
    }
    QSqlDatabase db = spool.database();

    QStringList ids;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT r.run_id FROM runs r LEFT JOIN spool_targets t USING (run_id)"
                                 " WHERE t.target = ? OR (? AND t.target IS NULL) ORDER BY r.started_at, r.run_id"));
        q.addBindValue(target.target().identity());
        q.addBindValue(unmarkedToo);
        if (!q.exec()) {
            result.spoolError = q.lastError().text();
            return result;
        }
        while (q.next())
            ids << q.value(0).toString();
    }

    const QString runSql = QStringLiteral("SELECT %1 FROM runs WHERE run_id = ?").arg(runColumns().join(QLatin1Char(',')));
    const QString rowSql = QStringLiteral("SELECT %1 FROM measurements WHERE run_id = ? ORDER BY seq")
                               .arg(measurementColumns().join(QLatin1Char(',')));
    const QString pointSql = QStringLiteral("SELECT %1 FROM points WHERE run_id = ? ORDER BY point_index")
                                 .arg(pointColumns().join(QLatin1Char(',')));
    for (int i = 0; i < ids.size(); ++i) {
        if (until.hasExpired()) {
            result.left += ids.size() - i;
            return result;
        }
        const QString &id = ids.at(i);
        QSqlQuery run(db), rows(db), points(db);
        run.prepare(runSql);
        run.addBindValue(id);
        rows.prepare(rowSql);
        rows.addBindValue(id);
        points.prepare(pointSql);
        points.addBindValue(id);
        if (!run.exec() || !rows.exec() || !points.exec()) {
            result.spoolError = run.lastError().isValid()    ? run.lastError().text()
                                : rows.lastError().isValid() ? rows.lastError().text()
                                                             : points.lastError().text();
            result.left += ids.size() - i;
            return result;
        }
        if (!run.next())
            continue;  // sent meanwhile by another process
        const QVariantList runValues = rowValues(run, runColumns().size());
        QVector<QVariantList> rowValuesList;
        while (rows.next())
            rowValuesList.append(rowValues(rows, measurementColumns().size()));
        QVector<QVariantList> pointValuesList;
        while (points.next())
            pointValuesList.append(rowValues(points, pointColumns().size()));
        run.finish();
        rows.finish();
        points.finish();

        const ResultStore::Stored stored = target.storeValues(runValues, rowValuesList, pointValuesList);
        if (stored == ResultStore::Stored::Failed) {
            if (result.targetError.isEmpty())
                result.targetError = target.errorString();
            // The database is gone: the rest waits too. A run it refuses
            // while it is there must not hold back the ones after it.
            if (!target.isOpen()) {
                result.left += ids.size() - i;
                return result;
            }
            ++result.left;
            continue;
        }
        ++(stored == ResultStore::Stored::Inserted ? result.sent : result.already);

        // Only now that the database holds it; the measurements and points go with the run.
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM runs WHERE run_id = ?"));
        remove.addBindValue(id);
        QSqlQuery forget(db);
        forget.prepare(QStringLiteral("DELETE FROM spool_targets WHERE run_id = ?"));
        forget.addBindValue(id);
        if (!remove.exec() || !forget.exec()) {
            result.spoolError = (remove.lastError().isValid() ? remove.lastError() : forget.lastError()).text();
            result.left += ids.size() - i - 1;
            return result;
        }
    }
    return result;
}
