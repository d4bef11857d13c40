#ifndef LINECLOCK_H
#define LINECLOCK_H

// The link's clock: microseconds since the epoch, taken from the wall clock
// once and advanced by a monotonic timer, so times on the line never go
// backwards when the system clock is set. Reads, writes, the capture and the
// records made from a read all use it, so a replayed capture gives every
// record the time it had live.

#include <QDateTime>
#include <QElapsedTimer>

class LineClock
{
public:
    LineClock()
        : anchorUs(QDateTime::currentMSecsSinceEpoch() * 1000)
    {
        since.start();
    }
    qint64 nowUs() const { return anchorUs + since.nsecsElapsed() / 1000; }

private:
    qint64 anchorUs;
    QElapsedTimer since;
};

#endif // LINECLOCK_H
