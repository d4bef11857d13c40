#ifndef SPOOL_H
#define SPOOL_H

// The local spool: runs that could not reach their results database wait
// here, in an SQLite file with the same tables, until a later run or `sync`
// sends them. Each run is kept with its target (DbTarget::identity(): the
// file's absolute path, or the URL without its password, which comes from
// the environment or ~/.pgpass when it is sent) in the table `spool_targets`,
// and is only ever sent to that target. Sending is idempotent: a run is
// removed from the spool only after the database has committed it (or
// already had it), so a send cut off anywhere leaves it to be sent again,
// and sending it again stores nothing twice.
//
// A spool written before runs carried their target is taken as it is: its
// runs have no row in `spool_targets` and go only where a sync names a
// database for them (`sync --db TARGET`), never with a station's run.

#include "runrecord.h"

#include <QDeadlineTimer>
#include <QString>
#include <QVector>

class ResultStore;
struct DbTarget;

class Spool
{
public:
    explicit Spool(const QString &path);

    // $XDG_STATE_HOME/korvani/spool.sqlite (~/.local/state when unset).
    static QString defaultPath();

    QString path() const { return file; }
    // How long a step may wait for the spool file's lock (ResultStore::setTimeLimit).
    void setTimeLimit(int ms) { limitMs = ms; }

    // Keeps a run meant for `target`; false with `error` set when even the
    // spool cannot be written.
    bool keep(const RunRecord &run, const QVector<MeasurementRow> &rows, const DbTarget &target, QString *error);

    struct Sent {
        int sent = 0;       // stored by this send
        int already = 0;    // the database had them (a send cut off before)
        int left = 0;       // still waiting
        QString targetError;  // why the database took not every run
        QString spoolError;   // why the spool could not be read or updated
    };
    // Sends the runs waiting for the store's target, oldest first, until the
    // database goes away; a run the database refuses stays and the next are
    // sent. With `unmarkedToo` also the runs kept without a target. Stops
    // when the spool cannot be updated (a run sent stays in it and is found
    // "already stored" the next time), and before a run once `until` has
    // passed (the rest waits). No spool file: nothing to send.
    Sent sendTo(ResultStore &target, bool unmarkedToo = false,
                QDeadlineTimer until = QDeadlineTimer(QDeadlineTimer::Forever));

    struct Waiting {
        QString target;  // identity; empty for runs kept without one
        int runs = 0;
    };
    // The runs waiting, per target in the order first kept; false with
    // `error` set when the spool cannot be read. No spool file: none.
    bool waiting(QVector<Waiting> *targets, QString *error);

private:
    QString file;
    int limitMs;
};

#endif // SPOOL_H
