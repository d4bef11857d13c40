#include "deviceinfo.h"

#include "protocol/frame.h"

#include <QString>
#include <cstring>

namespace {

constexpr int FirstDataByte = 3;

// True when the frame really holds `needed` data bytes: both its length byte
// and its size must cover them (header, code, length, data, check).
bool holds(const QByteArray &frame, int needed)
{
    return frame.size() >= FirstDataByte + needed + 1 && quint8(frame[2]) >= needed;
}

QChar character(const QByteArray &frame, int index)
{
    return QChar(uchar(frame[index]));
}

qint16 readInt16(const QByteArray &frame, int index)
{
    return qint16(readUInt16(frame, index));
}

double readFloat(const QByteArray &frame, int index)
{
    const quint32 bits = readUInt32(frame, index);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return double(value);
}

// Bytes 4 and 5 change places: the module sends major and minor swapped.
QStringList version(const QByteArray &frame, const QString &format)
{
    if (!holds(frame, 4))
        return {};
    return {format.arg(character(frame, 3), character(frame, 5), character(frame, 4),
                       character(frame, 6))};
}

QStringList unsignedValue(const QByteArray &frame, const QString &format)
{
    if (!holds(frame, 2))
        return {};
    return {format.arg(readUInt16(frame, 3))};
}

} // namespace

namespace DeviceInfo {

QStringList hardwareVersion(const QByteArray &frame)
{
    return version(frame, QStringLiteral("HARD: %1-%2.%3.%4"));
}

QStringList firmwareVersion(const QByteArray &frame)
{
    return version(frame, QStringLiteral("SOFT:%1-%2.%3.%4"));
}

QStringList range(const QByteArray &frame)
{
    return unsignedValue(frame, QStringLiteral("RANGE: %1"));
}

QStringList integrationTime(const QByteArray &frame)
{
    return unsignedValue(frame, QStringLiteral("Integration: %1"));
}

QStringList configuration(const QByteArray &frame)
{
    if (!holds(frame, 18))
        return {};
    const quint16 flags = readUInt16(frame, 3);
    QStringList lines;
    lines << QStringLiteral("POW_ON:%1").arg(flags & 1)
          << QStringLiteral("TEMP_ON:%1").arg((flags >> 1) & 1)
          << QStringLiteral("AMB_ON:%1").arg((flags >> 2) & 1)
          << QStringLiteral("UNIT:%4").arg((flags >> 3) & 1)
          << QStringLiteral("CURRENT_OFF:%1").arg(readInt16(frame, 5))
          << QStringLiteral("DIST_OFF:%1").arg(readInt16(frame, 7))
          << QStringLiteral("AMB_COF:%1").arg(readUInt16(frame, 9));
    QString temperature = QStringLiteral("TEMP_COF:");
    for (int i = 0; i < 5; ++i)
        temperature += QStringLiteral("[%1]").arg(readInt16(frame, 11 + 2 * i));
    lines << temperature;
    return lines;
}

QStringList coefficients(const QByteArray &frame)
{
    if (!holds(frame, 50))
        return {};
    QByteArray name = frame.mid(3, 10);
    const int end = name.indexOf('\0');
    if (end >= 0)
        name.truncate(end);

    double c[10];
    for (int k = 0; k < 10; ++k)
        c[k] = readFloat(frame, 13 + 4 * k);
    const auto quadratic = [&](const QString &prefix, int k) {
        return prefix + QStringLiteral(": y = 0.")
             + QStringLiteral("%1").arg(c[k]) + QStringLiteral("x^2 + ")
             + QStringLiteral("%1").arg(c[k + 1]) + QStringLiteral("x + ")
             + QStringLiteral("%1").arg(c[k + 2]);
    };
    const auto linear = [&](const QString &prefix, int k) {
        return prefix + QStringLiteral(": y = ") + QStringLiteral("%1").arg(c[k])
             + QStringLiteral("x + ") + QStringLiteral("%1").arg(c[k + 1]);
    };
    return {QString::fromUtf8(name), quadratic(QStringLiteral("温度[大]"), 0),
            quadratic(QStringLiteral("温度[小]"), 3), linear(QStringLiteral("环境"), 6),
            linear(QStringLiteral("线性"), 8)};
}

std::optional<quint16> threshold(const QByteArray &frame)
{
    if (!holds(frame, 2))
        return std::nullopt;
    return readUInt16(frame, 3);
}

} // namespace DeviceInfo
