#ifndef ANSWERS_H
#define ANSWERS_H

// The one decode table from a checked response frame to a typed answer,
// shared by the window and the command line: the measurement frames become
// Measurement values, the information answers the text-log lines the module's
// answer stands for, the threshold answer its value. A frame whose data are
// shorter than its answer's layout decodes to the answer's kind with nothing
// in it (no measurement, no lines, no threshold).

#include "decode/measurement.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

enum class AnswerKind {
    Measurement,          // 0x81
    ExtendedMeasurement,  // 0x82
    HardwareVersion,      // 0x08
    FirmwareVersion,      // 0x0E
    Range,                // 0xE0
    IntegrationTime,      // 0x07
    Configuration,        // 0xA0
    Coefficients,         // 0xD0: its lines replace the whole text log
    Threshold,            // 0x03
    Other,                // any other code: acknowledged only
};

struct Answer {
    AnswerKind kind = AnswerKind::Other;
    quint8 code = 0;
    std::optional<Measurement> measurement;  // measurement kinds
    QStringList lines;                       // information kinds
    std::optional<quint16> threshold;        // Threshold
    QVector<double> coefficients;            // Coefficients: the ten numbers
};

// The frame must hold at least its header and code (two bytes).
Answer decodeAnswer(const QByteArray &frame);

// True for 0x81 and 0x82, the answers that are not acknowledged in the log.
bool isMeasurementCode(quint8 code);

// "Ack %1": the code in lower-case hex, padded with a blank to two places.
QString ackLine(quint8 code);

#endif // ANSWERS_H
