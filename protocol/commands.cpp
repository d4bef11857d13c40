#include "commands.h"

#include "frame.h"
#include "platform/numbers.h"

QByteArray commandFrame(quint8 code, const QByteArray &data, std::optional<quint8> deviceId)
{
    QByteArray frame;
    frame.reserve(data.size() + 5);
    frame.append(char(CommandHeader));
    if (deviceId)
        frame.append(char(*deviceId));
    frame.append(char(code));
    frame.append(char(quint8(data.size())));
    frame.append(data);
    frame.append('\0');
    setFrameXor(frame.data(), quint16(frame.size()));
    return frame;
}

// Typed into the window: blanks around the digits do not matter.
static std::optional<quint64> parseDecimal(const QString &text, uint maximum)
{
    return parseWhole(text.trimmed(), 0, maximum);
}

std::optional<quint8> parseDeviceId(const QString &text)
{
    if (const auto value = parseDecimal(text, 255))
        return quint8(*value);
    return std::nullopt;
}

std::optional<quint16> parseThreshold(const QString &text)
{
    if (const auto value = parseDecimal(text, 65535))
        return quint16(*value);
    return std::nullopt;
}

QByteArray integrationTimeData(quint16 microseconds)
{
    return uint16Bytes(microseconds);
}

QByteArray thresholdData(quint16 threshold)
{
    QByteArray data = integrationTimeData(threshold);
    data.append(2, '\0');
    return data;
}
