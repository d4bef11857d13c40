#include "frame.h"

void setFrameXor(char *frame, quint16 length)
{
    if (length == 0)
        return;
    char check = 0;
    for (int i = 0; i < length - 1; ++i)
        check ^= frame[i];
    frame[length - 1] = check;
}

bool checkFrameXor(const char *frame, int length)
{
    if (length <= 0)
        return false;
    char check = 0;
    for (int i = 0; i < length - 1; ++i)
        check ^= frame[i];
    return frame[length - 1] == check;
}

quint16 readUInt16(const QByteArray &frame, int index)
{
    return quint16(quint8(frame[index]) | (quint8(frame[index + 1]) << 8));
}

quint32 readUInt32(const QByteArray &frame, int index)
{
    return quint32(readUInt16(frame, index)) | (quint32(readUInt16(frame, index + 2)) << 16);
}

QByteArray uint16Bytes(quint16 value)
{
    QByteArray bytes;
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
    return bytes;
}

int expectedFrameLength(const QByteArray &frame)
{
    return expectedFrameLength(quint8(frame[1]), quint8(frame[2]));
}

int expectedFrameLength(quint8 code, quint8 lengthByte)
{
    switch (code) {
    case 0x81:
        return 11;
    case 0x82:
        return 33;
    default:
        return lengthByte + 4;
    }
}

QString hexBytes(const QByteArray &bytes)
{
    // Written straight into the string: the HEX log takes one per frame.
    static const char digits[] = "0123456789abcdef";
    QString text(bytes.isEmpty() ? 0 : 3 * bytes.size() - 1, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < bytes.size(); ++i) {
        const auto byte = quint8(bytes.at(i));
        if (i > 0)
            *out++ = QLatin1Char(' ');
        *out++ = QLatin1Char(digits[byte >> 4]);
        *out++ = QLatin1Char(digits[byte & 0xf]);
    }
    return text;
}
