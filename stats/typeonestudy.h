#ifndef TYPEONESTUDY_H
#define TYPEONESTUDY_H

// A type-1 study of a module as a measuring device: its repeatability and
// bias at one reference against the tolerance, from repeated measurements
// of one target. With T = 2 x tolerance, s the sample standard deviation
// (n - 1) of the distances and the exact (unrounded) mean and s:
//   Cg  = 0.2 T / (6 s)
//   Cgk = (0.1 T - |mean - reference|) / (3 s)
// Capable when both reach the minimum (1.33 by default), compared as the
// summary prints them (three decimals).
//
// Fewer than two distances, or distances that do not vary (s = 0), give no
// Cg and Cgk (never a division by zero), a reason, and no capability.
// The module reports whole millimetres: when that resolution is more than
// 5 % of T (a tolerance below 10 mm) the study cannot resolve the tolerance,
// and says so beside its figures.

#include "stats/statistics.h"

#include <QString>
#include <optional>

struct TypeOneStudy {
    std::optional<double> cg, cgk;
    bool capable = false;
    bool resolutionTooCoarse = false;
    QString reason;  // why there is no Cg/Cgk; empty when there are
};

constexpr double DefaultMinCg = 1.33;
// The module's resolution, in thousandths of a millimetre.
constexpr qint64 ResolutionMilli = 1000;

TypeOneStudy typeOneStudy(const DistanceStatistics &distances, qint64 referenceMilli, qint64 toleranceMilli,
                          double minCg = DefaultMinCg);

// Cg and Cgk as printed and stored: three decimals.
QString indexText(double value);

#endif // TYPEONESTUDY_H
