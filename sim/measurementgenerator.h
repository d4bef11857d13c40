#ifndef MEASUREMENTGENERATOR_H
#define MEASUREMENTGENERATOR_H

// Readings of a module looking at a still target: the reference distance
// plus a millimetre of noise and a slow drift of some tens of millimetres over
// minutes; with outliers on, now and then a reading far off (a multipath or
// edge hit, as on a cluttered target). Off by default: a module on a test
// station's target passes the README's station limits.
// The module warms up from about 31 to 42 degrees C in its first minutes.
// The same seed gives the same noise and outliers; drift and warm-up follow
// the time passed to next().

#include "sensorreading.h"

#include <QRandomGenerator>

class MeasurementGenerator
{
public:
    explicit MeasurementGenerator(quint32 seed = 1);

    void setSeed(quint32 seed);
    void setReferenceDistance(quint16 mm) { reference = mm; }
    quint16 referenceDistance() const { return reference; }
    void setOutliers(bool on) { outliers = on; }

    SensorReading next(qint64 msSinceStart);

    static constexpr double NoiseMm = 1.0;
    static constexpr double DriftMm = 20.0;
    static constexpr double DriftPeriodMs = 300000.0;
    static constexpr double OutlierChance = 0.005;

private:
    double gaussian();

    QRandomGenerator random;
    quint16 reference = 1500;
    bool outliers = false;
};

#endif // MEASUREMENTGENERATOR_H
