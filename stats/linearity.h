#ifndef LINEARITY_H
#define LINEARITY_H

// The linearity of a module across its range: the least-squares line of the
// bias (mean - reference) against the reference distance, over the points a
// run measured, from the figures as the summary prints them (thousandths of
// a millimetre), so the line is the same whether worked out at the station
// or again from the stored digits.
//
//   slope         mm of bias per mm of distance (0.002: 2 mm more per metre)
//   interceptMm   the line's bias at distance 0
//   r2            1 - (residual sum of squares) / (total sum of squares of
//                 the biases); none when the biases are all equal (the line
//                 is flat and explains nothing, nor is there anything to explain)
//   maxAbsBiasMm  the largest |bias| of any point
//
// A line needs two different reference distances: with fewer, slope,
// intercept and r2 are none and only maxAbsBiasMm is given (0 without points).

#include "stats/figuretext.h"

#include <QVector>
#include <QtGlobal>
#include <optional>

struct BiasPoint {
    qint64 referenceMilli = 0;
    qint64 biasMilli = 0;
};

struct Linearity {
    std::optional<double> slope, interceptMm, r2;
    double maxAbsBiasMm = 0;
};

Linearity linearity(const QVector<BiasPoint> &points);

// |slope| <= limit, on the slope as printed; a run without a line (one
// distance) meets any limit.
bool slopeWithin(const Linearity &line, double maxSlope);

#endif // LINEARITY_H
