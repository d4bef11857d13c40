#ifndef TESTFRAMES_H
#define TESTFRAMES_H

// Frames and bytes written for the tests: hex text as bytes, and checked
// response frames (header only, so that the sanitizer builds of the unit
// tests use it without the support library).

#include "protocol/frame.h"

#include <QByteArray>
#include <QVector>
#include <cstring>

// "89 81 74" -> bytes (spaces ignored).
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// 0x89, code, payload, check: as such for the codes whose length is fixed
// (0x81 with 8 payload bytes, 0x82 with 30).
inline QByteArray fixedLengthFrame(quint8 code, const QByteArray &payload)
{
    QByteArray f = QByteArray(1, char(ResponseHeader)) + char(code) + payload + '\0';
    setFrameXor(f.data(), quint16(f.size()));
    return f;
}

// 0x89, code, N, data, check, with N the size of the data.
inline QByteArray responseFrame(quint8 code, const QByteArray &data)
{
    return fixedLengthFrame(code, char(quint8(data.size())) + data);
}

// Data of a coefficient answer: a zero-padded ten-byte name, then c0 to c9,
// each an IEEE-754 single-precision value, little-endian.
inline QByteArray coefficientData(const QByteArray &name, const QVector<float> &c)
{
    QByteArray data = name.left(10);
    data.append(10 - data.size(), '\0');
    for (float v : c) {
        quint32 bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 4; ++i)
            data.append(char((bits >> (8 * i)) & 0xFF));
    }
    return data;
}

#endif // TESTFRAMES_H
