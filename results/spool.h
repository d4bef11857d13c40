#ifndef SPOOL_H
#define SPOOL_H

// The local spool: runs that could not reach the results database wait here,
// in an SQLite file with the same tables, until a later run or `sync` sends
// them. Sending is idempotent: a run is removed from the spool only after the
// database has committed it (or already had it), so a send cut off anywhere
// leaves it to be sent again, and sending it again stores nothing twice.

#include "runrecord.h"

#include <QString>
#include <QVector>

class ResultStore;

class Spool
{
public:
    explicit Spool(const QString &path);

    // $XDG_STATE_HOME/korvani/spool.sqlite (~/.local/state when unset).
    static QString defaultPath();

    QString path() const { return file; }

    // Keeps a run; false with `error` set when even the spool cannot be written.
    bool keep(const RunRecord &run, const QVector<MeasurementRow> &rows, QString *error);

    struct Sent {
        int sent = 0;       // stored by this send
        int already = 0;    // the database had them (a send cut off before)
        int left = 0;       // still waiting (the send failed)
        QString error;      // why it stopped, when `left` > 0 or the spool is unreadable
    };
    // Sends every waiting run, oldest first. No spool file: nothing to send.
    Sent sendTo(ResultStore &target);

    // Runs waiting (0 when there is no spool file).
    int waiting(QString *error = nullptr);

private:
    QString file;
};

#endif // SPOOL_H
