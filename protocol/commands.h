#ifndef COMMANDS_H
#define COMMANDS_H

// The module's command codes and the frames the program sends.

#include <QByteArray>
#include <QString>
#include <optional>

namespace Command {
enum Code : quint8 {
    SingleFixed = 0x01,       // single measurement, fixed exposure time
    Single = 0x02,            // single measurement, automatic exposure time
    GetThreshold = 0x03,
    ContinuousFixed = 0x05,   // continuous measurement, fixed exposure time
    Stop = 0x06,
    ReadIntegration = 0x07,
    HardwareVersion = 0x08,
    FirmwareVersion = 0x0E,
    SetIntegration = 0x20,
    Rate10Hz = 0x31,
    Rate20Hz = 0x32,
    Rate50Hz = 0x33,
    Rate100Hz = 0x34,
    Standby = 0x40,
    Continuous = 0x50,
    Configuration = 0xA0,
    Coefficients = 0xD0,
    SetThreshold = 0xDA,
    Range = 0xE0,
    Restart = 0xFB,
};
}

namespace Response {
enum Code : quint8 {
    Measurement = 0x81,          // 11 bytes
    ExtendedMeasurement = 0x82,  // 33 bytes
};
}

// 0x56, [device ID], code, data length, data, XOR check.
QByteArray commandFrame(quint8 code, const QByteArray &data = QByteArray(),
                        std::optional<quint8> deviceId = std::nullopt);

// A device ID typed as a decimal number 0 to 255; nothing for any other text.
std::optional<quint8> parseDeviceId(const QString &text);

// A switching threshold typed as a decimal number 0 to 65535; nothing otherwise.
std::optional<quint16> parseThreshold(const QString &text);

// Data of the integration-time command: the time in microseconds, low byte first.
QByteArray integrationTimeData(quint16 microseconds);

// Data of the set-threshold command: XL XH 00 00.
QByteArray thresholdData(quint16 threshold);

#endif // COMMANDS_H
