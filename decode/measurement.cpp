#include "measurement.h"

#include "protocol/frame.h"

namespace {
constexpr int MeasurementFrameLength = 11;
constexpr int ExtendedMeasurementFrameLength = 33;

inline int signedWord(const Measurement &m, int w)
{
    return qint16(m.words[size_t(w - 1)]);
}

inline int word(const Measurement &m, int w)
{
    return int(m.words[size_t(w - 1)]);
}
} // namespace

std::optional<Measurement> decodeMeasurement(const QByteArray &frame)
{
    if (frame.size() < MeasurementFrameLength)
        return std::nullopt; // never read past the end of a frame that is not whole

    Measurement m;
    m.distance = readUInt16(frame, 2);
    m.amplitude = readUInt16(frame, 4);
    m.temperature = quint8(frame[6]);
    m.ambient = readUInt16(frame, 7);
    m.driverCurrent = quint8(frame[9]);
    return m;
}

std::optional<Measurement> decodeExtendedMeasurement(const QByteArray &frame)
{
    if (frame.size() < ExtendedMeasurementFrameLength)
        return std::nullopt;

    Measurement m;
    m.extended = true;
    for (int w = 1; w <= 15; ++w)
        m.words[size_t(w - 1)] = readUInt16(frame, 2 * w);
    m.distance = m.words[1];
    m.amplitude = m.words[2];
    m.ambient = m.words[3];
    m.temperature = signedWord(m, 6);
    m.driverCurrent = m.words[6];
    return m;
}

QString measurementLine(const Measurement &m, const QString &timeStamp)
{
    const QString fields = m.extended
        ? QString::asprintf("%05d,%05d,%05d,%04d,%05d,%04d,%01d,%02d,%02d,%02d,%01d,"
                            "%06d,%06d,%06d,%06d,",
                            word(m, 1), word(m, 2), word(m, 3), word(m, 4), signedWord(m, 5),
                            signedWord(m, 6), word(m, 7), word(m, 8), word(m, 9), word(m, 10),
                            word(m, 11), signedWord(m, 12), signedWord(m, 13),
                            signedWord(m, 14), signedWord(m, 15))
        : QString::asprintf("%05d,%05d,%02d,%04d,%01d, ", int(m.distance), int(m.amplitude),
                            m.temperature, int(m.ambient), int(m.driverCurrent));
    return timeStamp.isEmpty() ? fields : timeStamp + fields;
}

QString measurementTimeStamp(const QTime &time)
{
    return QString::asprintf("%02d:%02d:%02d.%03d,", time.hour(), time.minute(), time.second(),
                             time.msec());
}

QString measurementTimeStamp(const QDateTime &time)
{
    return measurementTimeStamp(time.time());
}

QString triggerTimeStamp(const QTime &time)
{
    return QString::asprintf("%02d:%02d:%02d,", time.hour(), time.minute(), time.second());
}

QString triggerTimeStamp(const QDateTime &time)
{
    return triggerTimeStamp(time.time());
}

std::optional<QString> frameRateText(qint64 elapsedMs)
{
    if (elapsedMs <= 0)
        return std::nullopt;
    return QString::asprintf("%2.1f ", 1000.0 / double(elapsedMs));
}
