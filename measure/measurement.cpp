#include "measurement.h"

#include "protocol/frame.h"

QString measurementTimeStamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ss.zzz,"));
}

QString triggerTimeStamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ss,"));
}

Measurement decodeMeasurement(const QByteArray &frame, const QString &timeStamp)
{
    Measurement m;
    m.distance = readUInt16(frame, 2);
    m.amplitude = readUInt16(frame, 4);
    m.temperature = quint8(frame[6]);  // unsigned: 0xFF is 255 degrees, not -1
    m.ambient = readUInt16(frame, 7);
    m.driverCurrent = quint8(frame[9]);
    m.line = timeStamp
           + QString::asprintf("%05d,%05d,%02d,%04d,%01d, ", m.distance, m.amplitude,
                               m.temperature, m.ambient, int(m.driverCurrent));
    return m;
}

Measurement decodeExtendedMeasurement(const QByteArray &frame, const QString &timeStamp)
{
    int w[16];
    for (int i = 1; i <= 15; ++i)
        w[i] = readUInt16(frame, 2 * i);
    // Words 5, 6 and 12 to 15 are two's complement.
    for (int i : {5, 6, 12, 13, 14, 15})
        w[i] = qint16(quint16(w[i]));

    Measurement m;
    m.distance = quint16(w[2]);
    m.amplitude = quint16(w[3]);
    m.ambient = quint16(w[4]);
    m.temperature = w[6];
    m.driverCurrent = quint16(w[7]);
    m.line = timeStamp
           + QString::asprintf("%05d,%05d,%05d,%04d,%05d,%04d,%01d,%02d,%02d,%02d,%01d,%06d,%06d,%06d,%06d,",
                               w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11],
                               w[12], w[13], w[14], w[15]);
    return m;
}

std::optional<QString> frameRateText(qint64 elapsedMs)
{
    if (elapsedMs <= 0)
        return std::nullopt;
    return QString::asprintf("%2.1f ", 1000.0 / double(elapsedMs));
}
