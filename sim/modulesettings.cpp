#include "modulesettings.h"

#include <QtEndian>

#include <cstring>

namespace {
void appendInt16(QByteArray &bytes, qint16 value)
{
    const quint16 raw = quint16(value);
    bytes.append(char(raw & 0xFF));
    bytes.append(char(raw >> 8));
}

void appendFloat(QByteArray &bytes, float value)
{
    quint32 raw;
    std::memcpy(&raw, &value, sizeof raw);
    raw = qToLittleEndian(raw);
    bytes.append(reinterpret_cast<const char *>(&raw), sizeof raw);
}
}

QByteArray ModuleSettings::defaultConfiguration()
{
    QByteArray bytes;
    appendInt16(bytes, 0x0007);  // POW_ON, TEMP_ON, AMB_ON; UNIT mm
    appendInt16(bytes, -12);     // CURRENT_OFF
    appendInt16(bytes, 25);      // DIST_OFF
    appendInt16(bytes, 120);     // AMB_COF
    for (qint16 temperature : {12, -3, 40, 0, -7})
        appendInt16(bytes, temperature);
    return bytes;
}

QByteArray ModuleSettings::defaultCoefficients()
{
    QByteArray bytes("TOF-L8");
    bytes.append(10 - bytes.size(), '\0');
    const float values[10] = {0.00012f, 0.85f, -3.2f,   // temperature, high range
                              0.00031f, 0.62f, -1.75f,  // temperature, low range
                              0.015f, -0.4f,            // ambient
                              1.002f, 4.5f};            // linear
    for (float value : values)
        appendFloat(bytes, value);
    return bytes;
}
