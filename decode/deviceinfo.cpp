#include "deviceinfo.h"

#include "protocol/frame.h"

#include <cstring>

namespace {
constexpr int DataStart = 3; // 0x89, code, N, then the data

// True when the frame really holds at least `needed` data bytes: its N byte
// says so and the byte array holds everything N announces (header, code, N,
// the N data bytes and the check byte). Nothing is read before this holds.
bool hasData(const QByteArray &frame, int needed)
{
    if (frame.size() < DataStart)
        return false;
    const int n = quint8(frame[2]);
    return n >= needed && frame.size() >= n + 4;
}

inline QString latin1Char(const QByteArray &frame, int index)
{
    return QString(QChar(uchar(frame[index])));
}

QStringList versionLine(const QByteArray &frame, const QString &format)
{
    if (!hasData(frame, 4))
        return {};
    // One multi-argument call: the inserted characters are never scanned for
    // placeholders again, so a '%' byte is shown as it is.
    return {format.arg(latin1Char(frame, 3), latin1Char(frame, 5), latin1Char(frame, 4),
                       latin1Char(frame, 6))};
}

QStringList valueLine(const QByteArray &frame, const QString &format)
{
    if (!hasData(frame, 2))
        return {};
    return {format.arg(readUInt16(frame, 3))};
}

inline int signed16(const QByteArray &frame, int index)
{
    return qint16(readUInt16(frame, index));
}

inline double coefficient(const QByteArray &frame, int k)
{
    const quint32 bits = readUInt32(frame, 13 + 4 * k);
    float value;
    static_assert(sizeof value == sizeof bits, "IEEE-754 single precision expected");
    std::memcpy(&value, &bits, sizeof value);
    return double(value);
}
} // namespace

namespace DeviceInfo {

QStringList hardwareVersion(const QByteArray &frame)
{
    return versionLine(frame, QStringLiteral("HARD: %1-%2.%3.%4"));
}

QStringList firmwareVersion(const QByteArray &frame)
{
    return versionLine(frame, QStringLiteral("SOFT:%1-%2.%3.%4"));
}

QStringList range(const QByteArray &frame)
{
    return valueLine(frame, QStringLiteral("RANGE: %1"));
}

QStringList integrationTime(const QByteArray &frame)
{
    return valueLine(frame, QStringLiteral("Integration: %1"));
}

QStringList configuration(const QByteArray &frame)
{
    if (!hasData(frame, 18))
        return {};
    const quint16 flags = readUInt16(frame, 3);
    return {
        QStringLiteral("POW_ON:%1").arg(flags & 1),
        QStringLiteral("TEMP_ON:%1").arg((flags >> 1) & 1),
        QStringLiteral("AMB_ON:%1").arg((flags >> 2) & 1),
        QStringLiteral("UNIT:%4").arg((flags >> 3) & 1),
        QStringLiteral("CURRENT_OFF:%1").arg(signed16(frame, 5)),
        QStringLiteral("DIST_OFF:%1").arg(signed16(frame, 7)),
        QStringLiteral("AMB_COF:%1").arg(readUInt16(frame, 9)),
        QStringLiteral("TEMP_COF:[%1][%2][%3][%4][%5]")
            .arg(signed16(frame, 11))
            .arg(signed16(frame, 13))
            .arg(signed16(frame, 15))
            .arg(signed16(frame, 17))
            .arg(signed16(frame, 19)),
    };
}

QStringList coefficients(const QByteArray &frame)
{
    if (!hasData(frame, 50))
        return {};

    constexpr int NameLength = 10;
    const char *name = frame.constData() + DataStart;
    const void *zero = std::memchr(name, 0, NameLength);
    const int nameLength = zero ? int(static_cast<const char *>(zero) - name) : NameLength;

    double c[10];
    for (int k = 0; k < 10; ++k)
        c[k] = coefficient(frame, k);

    // Numbers never contain '%', so chaining arg(double) cannot pick up a
    // placeholder from an inserted value. Each coefficient is shown as the
    // number it is: a fixed "0." in front of the squared term's would turn
    // 0.00012 into "0.0.00012".
    return {
        QString::fromUtf8(name, nameLength),
        QString::fromUtf8("温度[大]: y = %1x^2 + %2x + %3").arg(c[0]).arg(c[1]).arg(c[2]),
        QString::fromUtf8("温度[小]: y = %1x^2 + %2x + %3").arg(c[3]).arg(c[4]).arg(c[5]),
        QString::fromUtf8("环境: y = %1x + %2").arg(c[6]).arg(c[7]),
        QString::fromUtf8("线性: y = %1x + %2").arg(c[8]).arg(c[9]),
    };
}

QVector<double> coefficientValues(const QByteArray &frame)
{
    QVector<double> values;
    if (!hasData(frame, 50))
        return values;
    for (int k = 0; k < 10; ++k)
        values.append(coefficient(frame, k));
    return values;
}

std::optional<quint16> threshold(const QByteArray &frame)
{
    if (!hasData(frame, 2))
        return std::nullopt;
    return readUInt16(frame, 3);
}

} // namespace DeviceInfo
