#ifndef MEASUREMENTGENERATOR_H
#define MEASUREMENTGENERATOR_H

// Readings of a module looking at a still target: the target's distance as
// the module sees it (scale x distance + offset: a linearity error, none by
// default) plus a millimetre of noise; with a drift set, a slow swing of that
// many millimetres over minutes; with outliers on, now and then a reading far
// off (a multipath or edge hit, as on a cluttered target). Drift and outliers
// are off by default: a healthy module on a test station's target passes the
// README's station limits.
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
    // Standard deviation of the noise (default NoiseMm); negative reads as 0.
    void setNoise(double mm) { noise = mm > 0.0 ? mm : 0.0; }
    double noiseMm() const { return noise; }
    void setOutliers(bool on) { outliers = on; }
    // The amplitude of the slow drift in mm (0: none, the default).
    void setDrift(double mm) { drift = mm > 0.0 ? mm : 0.0; }
    // Reads scale x distance + offset (mm) instead of the distance.
    void setLinearityError(double scale, double offsetMm)
    {
        this->scale = scale;
        offset = offsetMm;
    }

    SensorReading next(qint64 msSinceStart);

    static constexpr double NoiseMm = 1.0;
    static constexpr double DriftPeriodMs = 300000.0;
    static constexpr double OutlierChance = 0.005;

private:
    double gaussian();

    QRandomGenerator random;
    quint16 reference = 1500;
    double noise = NoiseMm;
    bool outliers = false;
    double drift = 0.0;
    double scale = 1.0;
    double offset = 0.0;
};

#endif // MEASUREMENTGENERATOR_H
