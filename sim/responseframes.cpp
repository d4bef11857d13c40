#include "responseframes.h"

#include "protocol/commands.h"
#include "protocol/frame.h"

namespace {
void appendUInt16(QByteArray &frame, quint16 value)
{
    frame.append(char(value & 0xFF));
    frame.append(char(value >> 8));
}

QByteArray sealed(QByteArray frame)
{
    frame.append('\0');
    setFrameXor(frame.data(), quint16(frame.size()));
    return frame;
}
}

QByteArray answerFrame(quint8 code, const QByteArray &data)
{
    const QByteArray fitting = data.left(255);
    QByteArray frame;
    frame.reserve(fitting.size() + 4);
    frame.append(char(ResponseHeader));
    frame.append(char(code));
    frame.append(char(quint8(fitting.size())));
    frame.append(fitting);
    return sealed(frame);
}

QByteArray measurementFrame(const SensorReading &reading)
{
    QByteArray frame;
    frame.reserve(11);
    frame.append(char(ResponseHeader));
    frame.append(char(Response::Measurement));
    appendUInt16(frame, reading.distance);
    appendUInt16(frame, reading.amplitude);
    frame.append(char(reading.temperature));
    appendUInt16(frame, reading.ambient);
    frame.append(char(reading.dac));
    return sealed(frame);
}

QByteArray extendedMeasurementFrame(const SensorReading &reading, const ExtendedFields &extra)
{
    const quint16 words[15] = {
        extra.sequence,
        reading.distance,
        reading.amplitude,
        reading.ambient,
        0,  // word 5
        reading.temperature,
        reading.dac,
        extra.integrationTime,
        0, 0, 0,
        0, 0, 0, 0,
    };
    QByteArray frame;
    frame.reserve(33);
    frame.append(char(ResponseHeader));
    frame.append(char(Response::ExtendedMeasurement));
    for (quint16 word : words)
        appendUInt16(frame, word);
    return sealed(frame);
}

QByteArray rawPayloadFrame(quint8 code, const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(ResponseHeader));
    frame.append(char(code));
    frame.append(payload);
    return sealed(frame);
}
