#ifndef RESPONSEFRAMES_H
#define RESPONSEFRAMES_H

// The frames the module sends: 89 code N data X for answers, and the two
// fixed-length measurement frames.

#include "sensorreading.h"

#include <QByteArray>

// 89 code N data X. At most 255 data bytes fit the length byte.
QByteArray answerFrame(quint8 code, const QByteArray &data = QByteArray());

// 89 81 DIST AMP TEMP AMB DAC X, 11 bytes.
QByteArray measurementFrame(const SensorReading &reading);

// What the 0x82 frame carries beyond a plain reading.
struct ExtendedFields {
    quint16 sequence = 0;         // word 1
    quint16 integrationTime = 0;  // word 8
};

// 89 82, fifteen little-endian words, X: 33 bytes.
QByteArray extendedMeasurementFrame(const SensorReading &reading, const ExtendedFields &extra);

// 89 code payload X with no length byte: how a measurement frame looks when
// its payload has been replaced on purpose.
QByteArray rawPayloadFrame(quint8 code, const QByteArray &payload);

#endif // RESPONSEFRAMES_H
