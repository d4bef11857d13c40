#include "typeonestudy.h"

#include "stats/figuretext.h"

#include <cmath>

TypeOneStudy typeOneStudy(const DistanceStatistics &d, qint64 referenceMilli, qint64 toleranceMilli, double minCg)
{
    TypeOneStudy study;
    // 1 mm > 0.05 * 2 * tolerance, in whole thousandths.
    study.resolutionTooCoarse = ResolutionMilli * 10 > toleranceMilli;
    if (d.count() < 2) {
        study.reason = QStringLiteral("fewer than two distances: no spread to judge");
        return study;
    }
    if (d.sigmaAtMost(0)) {
        study.reason = QStringLiteral("the distances do not vary (s = 0): Cg and Cgk need a spread");
        return study;
    }
    const double t = 2.0 * double(toleranceMilli) / 1000.0;
    const double s = d.sigma();
    const double bias = std::abs(d.mean() - double(referenceMilli) / 1000.0);
    study.cg = 0.2 * t / (6.0 * s);
    study.cgk = (0.1 * t - bias) / (3.0 * s);
    study.capable = indexText(*study.cg).toDouble() >= minCg && indexText(*study.cgk).toDouble() >= minCg;
    return study;
}

QString indexText(double value)
{
    return mmText(value);
}
