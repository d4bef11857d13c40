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

// The versions the module reported against the limits file's patterns (a
// version must match its pattern as a whole): one failure per mismatch,
// "firmware B-1.2.4 does not match B-1\.2\.[5-9]"; none without patterns.
QStringList versionFailures(const QString &hardware, const std::optional<QString> &hardwarePattern,
                            const QString &firmware, const std::optional<QString> &firmwarePattern);

// A passing test is marginal when |accuracy| lies within `marginalMilli` of
// the tolerance: |accuracy| >= tolerance - marginal, on the accuracy as the
// summary prints it (to the thousandth).
bool isMarginal(const TestLimits &limits, const DistanceStatistics &distances, const Verdict &verdict,
                qint64 marginalMilli);

// True when a distance lies outside reference +- tolerance.
inline bool isOutside(quint16 distanceMm, const TestLimits &limits)
{
    const qint64 off = qint64(distanceMm) * 1000 - limits.referenceMilli;
    return (off < 0 ? -off : off) > limits.toleranceMilli;
}

#endif // VERDICT_H
