#ifndef TARGETMOVE_H
#define TARGETMOVE_H

// Puts the target at a point of a run across the range (test --points)
// before the point is measured, in one of three ways:
//   - --move CMD: runs CMD through `sh -c`, with KORVANI_POINT_MM (the
//     point's distance: "1000", "1000.5") and KORVANI_POINT_INDEX (1, 2, ...)
//     in its environment and standard input closed; what it prints goes to
//     standard error. It must exit with status 0 within --move-timeout
//     seconds; otherwise (a status, a signal, the time-out, no shell) the
//     move failed, and a command still running is killed;
//   - --sim without --move: the simulated module's target is put there (a
//     simulated rail);
//   - else it asks on the terminal ("Place the target at 1000 mm, then press
//     Enter; q stops") and reads the answer from the terminal, whatever
//     standard input and output are; q (or the terminal closing) stops.
// The event loop runs meanwhile, so the line is read: frames that arrive
// while the target moves are read and dropped, never counted.

#include <QObject>
#include <QString>

#include "options.h"

class ModuleLine;
class QEventLoop;

class TargetMove : public QObject
{
    Q_OBJECT

public:
    enum class Result { Placed, Failed, Stopped };

    TargetMove(ModuleLine &line, const PointsOptions &options);

    // A terminal to ask on (needed without --move and --sim).
    static bool canAsk();

    Result place(qint64 referenceMilli, int index);
    // Failed: what the move command did; Stopped: why the run stops.
    QString reason() const { return why; }

    // Ends a move under way (a signal arrived): it is Stopped.
    void interrupt();

private:
    Result runCommand(const QString &mm, int index);
    Result ask(const QString &mm);

    ModuleLine &line;
    const PointsOptions &options;
    QString why;
    QEventLoop *loop = nullptr;
    bool interrupted = false;
};

// A distance as the move command and the prompt take it: "1000", "1000.5".
QString pointText(qint64 referenceMilli);

#endif // TARGETMOVE_H
