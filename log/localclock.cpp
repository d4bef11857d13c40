#include "localclock.h"

#include <QDateTime>

namespace {
constexpr qint64 MsPerDay = 24 * 60 * 60 * 1000;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
} // namespace

QTime LocalClock::timeOfDay()
{
    return timeOfDay(QDateTime::currentMSecsSinceEpoch());
}

QTime LocalClock::timeOfDay(qint64 msecsSinceEpoch)
{
    const qint64 second = floorDiv(msecsSinceEpoch, 1000);
    if (second != cachedSecond) {
        cachedSecond = second;
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(second * 1000).offsetFromUtc()) * 1000;
    }
    const qint64 local = msecsSinceEpoch + offsetMs;
    return QTime::fromMSecsSinceStartOfDay(int(local - floorDiv(local, MsPerDay) * MsPerDay));
}
