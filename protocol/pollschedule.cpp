#include "pollschedule.h"

namespace {
constexpr qint64 NsPerSecond = 1000000000;
constexpr qint64 BitsPerByte = 10;  // start bit, 8 data bits, stop bit
}

PollSchedule::PollSchedule(int rateHz)
    : rate(qMax(1, rateHz))
{
}

qint64 PollSchedule::dueNs(quint64 k) const
{
    // k * 1e9 / rate without overflow for any k below 2^63 / 1e9 periods:
    // whole seconds first, then the remainder.
    const quint64 seconds = k / quint64(rate);
    const quint64 rest = k % quint64(rate);
    return qint64(seconds) * NsPerSecond + qint64(rest) * NsPerSecond / rate;
}

qint64 PollSchedule::waitMs(quint64 k, qint64 elapsedNs) const
{
    const qint64 left = dueNs(k) - elapsedNs;
    return left <= 0 ? 0 : (left + 999999) / 1000000;
}

quint64 deliverableFrames(qint64 durationMs, int rateHz, qint32 baud, int frameBytes, int pollBytes)
{
    if (durationMs <= 0 || rateHz <= 0 || baud <= 0)
        return 0;
    const qint64 bitsPerFrame = BitsPerByte * qMax(1, frameBytes + qMax(0, pollBytes));
    // rate <= baud / bitsPerFrame, compared exactly.
    if (qint64(rateHz) * bitsPerFrame <= baud)
        return quint64(durationMs) * quint64(rateHz) / 1000;
    return quint64(durationMs) * quint64(baud) / (1000 * quint64(bitsPerFrame));
}
