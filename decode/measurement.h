#ifndef MEASUREMENT_H
#define MEASUREMENT_H

// Decoding of the two measurement frames, 0x81 (11 bytes) and 0x82 (33 bytes,
// fifteen 16-bit words), into typed values, and the one formatter that turns
// those values into the measurement line the text log, the trigger-test log
// and the command line all show.
//
// 0x81: 89 81 DL DH AL AH T BL BH C X   (distance, amplitude, temperature,
//       ambient light, driver current).
// 0x82: 89 82 then words 1..15 little-endian, then X; word 2 distance, 3
//       amplitude, 4 ambient, 5 signed, 6 temperature (signed), 7 driver
//       current, 12..15 signed.
// The frame must be complete and checked; a byte array shorter than its
// layout decodes to nothing.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <optional>

struct Measurement {
    bool extended = false;      // from a 0x82 frame
    quint16 distance = 0;       // mm
    quint16 amplitude = 0;      // LSB
    quint16 ambient = 0;        // LSB
    int temperature = 0;        // degrees C; signed in the 0x82 frame
    quint16 driverCurrent = 0;  // illumination driver DAC
    std::array<quint16, 15> words{};  // 0x82 only: words 1 to 15 as received
};

std::optional<Measurement> decodeMeasurement(const QByteArray &frame);
std::optional<Measurement> decodeExtendedMeasurement(const QByteArray &frame);

// The measurement line: timeStamp (empty for none) followed by
//   0x81: "%05d,%05d,%02d,%04d,%01d, "  distance, amplitude, temperature,
//         ambient, driver current
//   0x82: the fifteen words "%05d,%05d,%05d,%04d,%05d,%04d,%01d,%02d,%02d,
//         %02d,%01d,%06d,%06d,%06d,%06d," (words 5, 6, 12-15 signed)
QString measurementLine(const Measurement &m, const QString &timeStamp = QString());

// "hh:mm:ss.zzz," of the given local time: the optional first field of a line.
QString measurementTimeStamp(const QTime &time);
QString measurementTimeStamp(const QDateTime &time);
// "hh:mm:ss," of the given local time: put in front of a trigger-test log line.
QString triggerTimeStamp(const QTime &time);
QString triggerTimeStamp(const QDateTime &time);

// "%2.1f " of 1000/elapsed; nothing when the interval is not meaningful
// (no previous frame, or 0 ms).
std::optional<QString> frameRateText(qint64 elapsedMs);

#endif // MEASUREMENT_H
