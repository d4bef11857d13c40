#include "answers.h"

#include "decode/deviceinfo.h"
#include "protocol/commands.h"

Answer decodeAnswer(const QByteArray &frame)
{
    Answer a;
    a.code = frame.size() > 1 ? quint8(frame.at(1)) : 0;
    switch (a.code) {
    case Response::Measurement:
        a.kind = AnswerKind::Measurement;
        a.measurement = decodeMeasurement(frame);
        break;
    case Response::ExtendedMeasurement:
        a.kind = AnswerKind::ExtendedMeasurement;
        a.measurement = decodeExtendedMeasurement(frame);
        break;
    case Command::HardwareVersion:
        a.kind = AnswerKind::HardwareVersion;
        a.lines = DeviceInfo::hardwareVersion(frame);
        break;
    case Command::FirmwareVersion:
        a.kind = AnswerKind::FirmwareVersion;
        a.lines = DeviceInfo::firmwareVersion(frame);
        break;
    case Command::Range:
        a.kind = AnswerKind::Range;
        a.lines = DeviceInfo::range(frame);
        break;
    case Command::ReadIntegration:
        a.kind = AnswerKind::IntegrationTime;
        a.lines = DeviceInfo::integrationTime(frame);
        break;
    case Command::Configuration:
        a.kind = AnswerKind::Configuration;
        a.lines = DeviceInfo::configuration(frame);
        break;
    case Command::Coefficients:
        a.kind = AnswerKind::Coefficients;
        a.lines = DeviceInfo::coefficients(frame);
        a.coefficients = DeviceInfo::coefficientValues(frame);
        break;
    case Command::GetThreshold:
        a.kind = AnswerKind::Threshold;
        a.threshold = DeviceInfo::threshold(frame);
        break;
    default:
        break;
    }
    return a;
}

bool isMeasurementCode(quint8 code)
{
    return code == Response::Measurement || code == Response::ExtendedMeasurement;
}

QString ackLine(quint8 code)
{
    return QStringLiteral("Ack %1").arg(code, 2, 16, QLatin1Char(' '));
}
