#ifndef TESTFRAMES_H
#define TESTFRAMES_H

// Checked response frames built for the tests (header only, so that the
// sanitizer builds of the tests can use it without the support library).

#include "protocol/frame.h"

#include <QByteArray>
#include <QVector>
#include <cstring>

// 0x89, code, N, data, check, with N the size of the data.
inline QByteArray responseFrame(quint8 code, const QByteArray &data)
{
    QByteArray f;
    f.append(char(ResponseHeader));
    f.append(char(code));
    f.append(char(quint8(data.size())));
    f.append(data);
    f.append('\0');
    setFrameXor(f.data(), quint16(f.size()));
    return f;
}

// 0x89, code, payload, check: for the codes whose length is fixed
// (0x81 with 8 payload bytes, 0x82 with 30).
inline QByteArray fixedLengthFrame(quint8 code, const QByteArray &payload)
{
    QByteArray f;
    f.append(char(ResponseHeader));
    f.append(char(code));
    f.append(payload);
    f.append('\0');
    setFrameXor(f.data(), quint16(f.size()));
    return f;
}

// An IEEE-754 single-precision value, little-endian.
inline QByteArray floatBytes(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((bits >> (8 * i)) & 0xFF));
    return b;
}

// Data of a coefficient answer: a zero-padded ten-byte name, then c0 to c9.
inline QByteArray coefficientData(const QByteArray &name, const QVector<float> &c)
{
    QByteArray data = name.left(10);
    data.append(10 - data.size(), '\0');
    for (float v : c)
        data.append(floatBytes(v));
    return data;
}

#endif // TESTFRAMES_H
