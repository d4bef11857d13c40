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

// A line's fields as printf writes them ("%0Nd": at least N characters,
// zeros after a minus sign), without printf's cost: a line is formatted for
// every frame, 100 times a second.
class Fields
{
public:
    Fields &number(int value, int width)
    {
        const bool negative = value < 0;
        unsigned magnitude = negative ? 0u - unsigned(value) : unsigned(value);
        char digits[10];
        int count = 0;
        do {
            digits[count++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative) {
            text[length++] = '-';
            --width;
        }
        for (int pad = width - count; pad > 0; --pad)
            text[length++] = '0';
        while (count > 0)
            text[length++] = digits[--count];
        return *this;
    }
    Fields &operator<<(char c)
    {
        text[length++] = c;
        return *this;
    }
    QString after(const QString &prefix) const
    {
        QString line;
        line.reserve(prefix.size() + length);
        line.append(prefix);
        line.append(QLatin1String(text, length));
        return line;
    }

private:
    char text[192];  // fifteen words of at most 6 characters and their commas
    int length = 0;
};
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
    Fields f;
    if (m.extended) {
        // "%05d,%05d,%05d,%04d,%05d,%04d,%01d,%02d,%02d,%02d,%01d,%06d,%06d,%06d,%06d,"
        static constexpr int widths[15] = {5, 5, 5, 4, 5, 4, 1, 2, 2, 2, 1, 6, 6, 6, 6};
        for (int w = 1; w <= 15; ++w) {
            const bool isSigned = w == 5 || w == 6 || w >= 12;
            f.number(isSigned ? signedWord(m, w) : word(m, w), widths[w - 1]) << ',';
        }
    } else {
        // "%05d,%05d,%02d,%04d,%01d, "
        f.number(m.distance, 5) << ',';
        f.number(m.amplitude, 5) << ',';
        f.number(m.temperature, 2) << ',';
        f.number(m.ambient, 4) << ',';
        f.number(m.driverCurrent, 1) << ',' << ' ';
    }
    return f.after(timeStamp);
}

QString measurementTimeStamp(const QTime &time)
{
    // "%02d:%02d:%02d.%03d,"
    Fields f;
    f.number(time.hour(), 2) << ':';
    f.number(time.minute(), 2) << ':';
    f.number(time.second(), 2) << '.';
    f.number(time.msec(), 3) << ',';
    return f.after(QString());
}

QString measurementTimeStamp(const QDateTime &time)
{
    return measurementTimeStamp(time.time());
}

QString triggerTimeStamp(const QTime &time)
{
    // "%02d:%02d:%02d,"
    Fields f;
    f.number(time.hour(), 2) << ':';
    f.number(time.minute(), 2) << ':';
    f.number(time.second(), 2) << ',';
    return f.after(QString());
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
