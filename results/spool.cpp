#include "spool.h"

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

} // namespace

Spool::Spool(const QString &path)
    : file(path)
{
}

QString Spool::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/korvani/spool.sqlite");
}

bool Spool::keep(const RunRecord &run, const QVector<MeasurementRow> &rows, QString *error)
{
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    ResultStore store(sqliteFile(file));
    if (store.storeRun(run, rows) == ResultStore::Stored::Failed) {
        *error = store.errorString();
        return false;
    }
    return true;
}

int Spool::waiting(QString *error)
{
    if (!QFileInfo::exists(file))
        return 0;
    ResultStore store(sqliteFile(file));
    if (!store.open()) {
        if (error)
            *error = store.errorString();
        return -1;
    }
    QSqlQuery q(store.database());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM runs")) || !q.next()) {
        if (error)
            *error = q.lastError().text();
        return -1;
    }
    return q.value(0).toInt();
}

Spool::Sent Spool::sendTo(ResultStore &target)
{
    Sent result;
    if (!QFileInfo::exists(file))
        return result;
    ResultStore spool(sqliteFile(file));
    if (!spool.open()) {
        result.error = QStringLiteral("cannot read the spool %1: %2").arg(file, spool.errorString());
        return result;
    }
    QSqlDatabase db = spool.database();

    QStringList ids;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT run_id FROM runs ORDER BY started_at, run_id"))) {
            result.error = q.lastError().text();
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
        const QString &id = ids.at(i);
        QSqlQuery run(db), rows(db), points(db);
        run.prepare(runSql);
        run.addBindValue(id);
        rows.prepare(rowSql);
        rows.addBindValue(id);
        points.prepare(pointSql);
        points.addBindValue(id);
        if (!run.exec() || !rows.exec() || !points.exec()) {
            result.error = run.lastError().isValid()    ? run.lastError().text()
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

        const ResultStore::Stored stored = target.storeValues(runValues, rowValuesList, pointValuesList);
        if (stored == ResultStore::Stored::Failed) {
            if (result.error.isEmpty())
                result.error = target.errorString();
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
        if (!remove.exec()) {
            result.error = remove.lastError().text();
            result.left += ids.size() - i - 1;
            return result;
        }
    }
    return result;
}
