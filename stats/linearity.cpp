#include "linearity.h"

#include <cmath>

Linearity linearity(const QVector<BiasPoint> &points)
{
    Linearity line;
    for (const BiasPoint &p : points)
        line.maxAbsBiasMm = std::max(line.maxAbsBiasMm, std::abs(double(p.biasMilli)) / 1000.0);
    if (points.size() < 2)
        return line;
    // Sums about the means: the distances are large next to the biases.
    double meanX = 0, meanY = 0;
    for (const BiasPoint &p : points) {
        meanX += double(p.referenceMilli) / 1000.0;
        meanY += double(p.biasMilli) / 1000.0;
    }
    meanX /= double(points.size());
    meanY /= double(points.size());
    double sxx = 0, sxy = 0, syy = 0;
    for (const BiasPoint &p : points) {
        const double dx = double(p.referenceMilli) / 1000.0 - meanX;
        const double dy = double(p.biasMilli) / 1000.0 - meanY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    if (sxx == 0)
        return line;  // one distance measured again and again: no line
    const double slope = sxy / sxx;
    line.slope = slope;
    line.interceptMm = meanY - slope * meanX;
    if (syy > 0) {
        double residual = 0;
        for (const BiasPoint &p : points) {
            const double e = double(p.biasMilli) / 1000.0 - (*line.interceptMm + slope * double(p.referenceMilli) / 1000.0);
            residual += e * e;
        }
        line.r2 = std::max(0.0, 1.0 - residual / syy);
    }
    return line;
}

bool slopeWithin(const Linearity &line, double maxSlope)
{
    // Compared as printed: a slope shown within the limit passes.
    return !line.slope || std::abs(slopeText(*line.slope).toDouble()) <= maxSlope;
}
