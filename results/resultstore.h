#ifndef RESULTSTORE_H
#define RESULTSTORE_H

// The results database of one process: a named Qt SQL connection to an SQLite
// file or a PostgreSQL server (tables in schema.h), used from the thread that
// made the store.
//
// open() connects, switches an SQLite file to WAL with a busy time-out so
// that several processes on one machine can write it, and creates or
// upgrades the tables.
//
// Time limit: connecting and each statement give up after timeLimitMs(),
// be it a lock held by someone else (the server's statement time-out,
// SQLite's busy time-out) or a server that stops answering, over TCP or a
// Unix socket: the connection is shut from this side when open()'s steps,
// or a statement of a write, take a second longer than the limit. A write
// cut off that way is not retried.
//
// A database of a newer schema version than this program's is read, never
// written: storeRun() fails naming both versions.
//
// storeRun() writes a run, its measurements and its points in one transaction (SQLite:
// BEGIN IMMEDIATE, so a writer waits for the lock instead of failing).
// Idempotent by run_id: a run already stored is left as it is, so a run sent
// again after a lost acknowledgement is not stored twice. A server connection
// lost before the write is made again once.
// SQL only with bound values: every text is stored as given, but for a NUL
// character (which a PostgreSQL text cannot hold), stored as U+2400 "␀" on
// both engines.

#include "dbtarget.h"
#include "runrecord.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <QVector>

// A step's time limit unless set; connecting never takes longer than
// ConnectLimitMs (nor than the limit when that is shorter).
constexpr int DefaultDbTimeLimitMs = 30000;
constexpr int ConnectLimitMs = 5000;

class SocketDeadline;

class ResultStore
{
public:
    explicit ResultStore(const DbTarget &target);
    ~ResultStore();
    ResultStore(const ResultStore &) = delete;
    ResultStore &operator=(const ResultStore &) = delete;

    void setTimeLimit(int ms) { limitMs = ms; }
    int timeLimitMs() const { return limitMs; }

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
                 SocketDeadline &deadline, bool *connectionLost);
    // write() with a deadline on each of its statements.
    Stored writeInTime(const QVariantList &run, const QVector<QVariantList> &rows, const QVector<QVariantList> &points,
                       bool *connectionLost);
    // Ends a connection whose server did not answer in time; false.
    bool cutOff();
    bool fail(const QString &what);
    bool settle();
    // One line, and the password (should a driver quote it) as ***.
    QString clean(QString text) const;

    DbTarget where;
    QString name;
    QSqlDatabase db;
    QString error;
    bool opened = false;
    int limitMs = DefaultDbTimeLimitMs;
    int version = 0;  // the schema version found by open()
    // The run columns the database has: one a station user could not bring
    // up to date lacks the later versions' columns, and their values are left out.
    QStringList runColumnsHeld;
};

#endif // RESULTSTORE_H
