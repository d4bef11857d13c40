#ifndef DEVICEINFO_H
#define DEVICEINFO_H

// Text lines for the module's information answers. Each takes the whole
// checked response frame (0x89, code, N, data, check) and returns no line
// when the frame's data are shorter than the answer's layout.

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <optional>

namespace DeviceInfo {
QStringList hardwareVersion(const QByteArray &frame);   // 0x08: "HARD: %1-%2.%3.%4"
QStringList firmwareVersion(const QByteArray &frame);   // 0x0E: "SOFT:%1-%2.%3.%4"
QStringList range(const QByteArray &frame);             // 0xE0: "RANGE: %1"
QStringList integrationTime(const QByteArray &frame);   // 0x07: "Integration: %1"
QStringList configuration(const QByteArray &frame);     // 0xA0: eight lines
QStringList coefficients(const QByteArray &frame);      // 0xD0: name and four formulas
std::optional<quint16> threshold(const QByteArray &frame);  // 0x03: bytes 3-4
// 0xD0: the ten coefficients as the module sends them (single precision),
// none when the frame is short.
QVector<double> coefficientValues(const QByteArray &frame);
}

#endif // DEVICEINFO_H
