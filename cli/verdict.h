#ifndef VERDICT_H
#define VERDICT_H

// The pass/fail rule of a test, as a pure function of the figures of a run.
// PASS only when every limit holds:
//   |mean - reference| <= tolerance,
//   frames outside reference +- tolerance <= maxOutside,
//   sigma <= maxSigma (when given),
//   mean amplitude >= minAmplitude (when given),
//   frames received >= frames expected.
// Every limit that does not hold is named, in this order.

#include "stats/statistics.h"

#include <QStringList>
#include <optional>

struct TestLimits {
    qint64 referenceMilli = 0;
    qint64 toleranceMilli = 0;
    quint64 maxOutside = 0;
    std::optional<qint64> maxSigmaMilli;
    std::optional<qint64> minAmplitudeMilli;
    quint64 expectedFrames = 0;
};

struct Verdict {
    bool pass = false;
    QStringList failed;
};

Verdict judge(const TestLimits &limits, const DistanceStatistics &distances,
              quint64 amplitudeSum, quint64 outside);

// True when a distance lies outside reference +- tolerance.
inline bool isOutside(quint16 distanceMm, const TestLimits &limits)
{
    const qint64 off = qint64(distanceMm) * 1000 - limits.referenceMilli;
    return (off < 0 ? -off : off) > limits.toleranceMilli;
}

#endif // VERDICT_H
