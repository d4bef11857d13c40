#include "measurementgenerator.h"

#include <QtMath>

#include <algorithm>

MeasurementGenerator::MeasurementGenerator(quint32 seed)
    : random(seed)
{
}

void MeasurementGenerator::setSeed(quint32 seed)
{
    random.seed(seed);
}

double MeasurementGenerator::gaussian()
{
    // Box-Muller; 1 - u keeps the logarithm away from zero.
    const double u = 1.0 - random.generateDouble();
    const double v = random.generateDouble();
    return qSqrt(-2.0 * qLn(u)) * qCos(2.0 * M_PI * v);
}

static quint16 clampTo16(double value, double low = 0.0)
{
    return quint16(qRound(std::clamp(value, low, 65535.0)));
}

SensorReading MeasurementGenerator::next(qint64 msSinceStart)
{
    const double t = double(msSinceStart);
    double distance = scale * reference + offset + drift * qSin(2.0 * M_PI * t / DriftPeriodMs)
                      + noise * gaussian();

    // A diffuse target returns light falling off with the square of the distance.
    const double range = std::max(double(reference), 30.0);
    double amplitude = 3000.0 * (1500.0 / range) * (1500.0 / range);
    amplitude *= 1.0 + 0.02 * gaussian();

    if (outliers && random.generateDouble() < OutlierChance) {
        const double jump = 150.0 + 750.0 * random.generateDouble();
        distance += random.generateDouble() < 0.5 ? -jump : jump;
        amplitude *= 0.3 + 0.3 * random.generateDouble();
    }

    SensorReading reading;
    reading.distance = clampTo16(distance, 30.0);
    reading.amplitude = clampTo16(amplitude, 20.0);
    const double warmUp = 1.0 - qExp(-t / 240000.0);
    reading.temperature = quint8(qRound(31.0 + 11.0 * warmUp + 0.4 * gaussian()));
    reading.ambient = clampTo16(100.0 + 4.0 * gaussian());
    reading.dac = reading.amplitude > 1500 ? 1 : reading.amplitude > 500 ? 2 : 3;
    return reading;
}
