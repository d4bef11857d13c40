#ifndef MEASUREMENT_H
#define MEASUREMENT_H

// Decoding of the two measurement frames: 0x81 (11 bytes) and 0x82 (33 bytes,
// fifteen 16-bit words). The frame must be complete and checked; a byte array
// shorter than the frame gives a default Measurement with an empty line.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

struct Measurement {
    quint16 distance = 0;       // mm
    quint16 amplitude = 0;      // LSB
    quint16 ambient = 0;        // LSB
    int temperature = 0;        // degrees C; signed in the 0x82 frame
    quint16 driverCurrent = 0;  // illumination driver DAC
    QString line;               // the measurement line, time stamp field included
};

// "hh:mm:ss.zzz," of the given local time: the optional first field of a line.
QString measurementTimeStamp(const QDateTime &time);
// "hh:mm:ss," of the given local time: put in front of a trigger-test log line.
QString triggerTimeStamp(const QDateTime &time);

// timeStamp is put in front of the fields as it is (empty for none).
Measurement decodeMeasurement(const QByteArray &frame, const QString &timeStamp = QString());
Measurement decodeExtendedMeasurement(const QByteArray &frame, const QString &timeStamp = QString());

// "%2.1f " of 1000/elapsed; nothing when the interval is not meaningful
// (no previous frame, or 0 ms).
std::optional<QString> frameRateText(qint64 elapsedMs);

#endif // MEASUREMENT_H
