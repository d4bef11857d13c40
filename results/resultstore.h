#ifndef RESULTSTORE_H
#define RESULTSTORE_H

// The results database of one process: a named Qt SQL connection to an SQLite
// file or a PostgreSQL server (tables in schema.h), used from the thread that
// made the store.
//
// open() connects (a server gets ConnectTimeoutSeconds), switches an SQLite
// file to WAL with a busy time-out so that several processes on one machine
// can write it, and creates or upgrades the tables.
//
// storeRun() writes a run, its measurements and its points in one transaction (SQLite:
// BEGIN IMMEDIATE, so a writer waits for the lock instead of failing).
// Idempotent by run_id: a run already stored is left as it is, so a run sent
// again after a lost acknowledgement is not stored twice. A server connection
// lost before the write is made again once.
// SQL only with bound values: every text is stored as given.

#include "dbtarget.h"
#include "runrecord.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <QVector>

class ResultStore
{
public:
    explicit ResultStore(const DbTarget &target);
    ~ResultStore();
    ResultStore(const ResultStore &) = delete;
    ResultStore &operator=(const ResultStore &) = delete;

    bool open();
    bool isOpen() const { return opened; }
    // Why the last call failed; never holds a password.
    QString errorString() const { return error; }
    const DbTarget &target() const { return where; }
    QSqlDatabase database() const { return db; }

    enum class Stored { Inserted, AlreadyThere, Failed };
    Stored storeRun(const RunRecord &run, const QVector<MeasurementRow> &rows);
    // The same with the values in column order (runValues(), measurementValues(), pointValues()).
    Stored storeValues(const QVariantList &run, const QVector<QVariantList> &rows,
                       const QVector<QVariantList> &points = {});

private:
    bool connect();
    void drop();
    Stored write(const QVariantList &run, const QVector<QVariantList> &rows, const QVector<QVariantList> &points,
                 bool *connectionLost);
    bool fail(const QString &what);
    // One line, and the password (should a driver quote it) as ***.
    QString clean(QString text) const;

    DbTarget where;
    QString name;
    QSqlDatabase db;
    QString error;
    bool opened = false;
};

#endif // RESULTSTORE_H
