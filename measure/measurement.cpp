#include "measurement.h"

#include "protocol/frame.h"

namespace {
constexpr int MeasurementFrameLength = 11;
constexpr int ExtendedMeasurementFrameLength = 33;

// Word w (1 to 15) of an extended measurement frame: bytes 2w and 2w+1.
inline quint16 word(const QByteArray &frame, int w)
{
    return readUInt16(frame, 2 * w);
}

inline int signedWord(const QByteArray &frame, int w)
{
    return qint16(word(frame, w));
}

inline QString withTimeStamp(const QString &timeStamp, const QString &fields)
{
    return timeStamp.isEmpty() ? fields : timeStamp + fields;
}
} // namespace

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
    if (frame.size() < MeasurementFrameLength)
        return m; // never read past the end of a frame that is not whole

    m.distance = readUInt16(frame, 2);
    m.amplitude = readUInt16(frame, 4);
    m.temperature = quint8(frame[6]);
    m.ambient = readUInt16(frame, 7);
    m.driverCurrent = quint8(frame[9]);

    m.line = withTimeStamp(timeStamp,
                           QString::asprintf("%05d,%05d,%02d,%04d,%01d, ", int(m.distance),
                                             int(m.amplitude), m.temperature, int(m.ambient),
                                             int(m.driverCurrent)));
    return m;
}

Measurement decodeExtendedMeasurement(const QByteArray &frame, const QString &timeStamp)
{
    Measurement m;
    if (frame.size() < ExtendedMeasurementFrameLength)
        return m;

    m.distance = word(frame, 2);
    m.amplitude = word(frame, 3);
    m.ambient = word(frame, 4);
    m.temperature = signedWord(frame, 6);
    m.driverCurrent = word(frame, 7);

    m.line = withTimeStamp(
        timeStamp,
        QString::asprintf("%05d,%05d,%05d,%04d,%05d,%04d,%01d,%02d,%02d,%02d,%01d,"
                          "%06d,%06d,%06d,%06d,",
                          int(word(frame, 1)), int(m.distance), int(m.amplitude),
                          int(m.ambient), signedWord(frame, 5), m.temperature,
                          int(m.driverCurrent), int(word(frame, 8)), int(word(frame, 9)),
                          int(word(frame, 10)), int(word(frame, 11)), signedWord(frame, 12),
                          signedWord(frame, 13), signedWord(frame, 14), signedWord(frame, 15)));
    return m;
}

std::optional<QString> frameRateText(qint64 elapsedMs)
{
    if (elapsedMs <= 0)
        return std::nullopt;
    return QString::asprintf("%2.1f ", 1000.0 / double(elapsedMs));
}
