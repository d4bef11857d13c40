#ifndef LOCALCLOCK_H
#define LOCALCLOCK_H

// The local time of day for time stamps, cheaply: converting the system clock
// to local time costs several microseconds (the C library checks the zone
// file on every conversion), too much for every frame at 100 frames/s. The
// offset from UTC is worked out at most once a second, at the first call in a
// new second, so a change of offset (summer time) shows from the second it
// starts.

#include <QTime>
#include <QtGlobal>
#include <limits>

class LocalClock
{
public:
    QTime timeOfDay();

    // The same from a given moment (milliseconds since the epoch, UTC).
    QTime timeOfDay(qint64 msecsSinceEpoch);

private:
    qint64 cachedSecond = std::numeric_limits<qint64>::min();
    qint64 offsetMs = 0;
};

#endif // LOCALCLOCK_H
