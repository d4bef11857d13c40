// Received bytes to checked frames, and each frame to its decoder.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/commands.h"
#include "protocol/frame.h"

#include <QDebug>
#include <QTimer>

void MainWindow::SlotReadRxData()
{
    const QVector<QByteArray> frames = rxBuffer->feed(serialPort.readAll());
    if (frames.isEmpty())
        return;

    // A read may carry many frames; the views are written once at its end.
    batchingLogs = true;
    for (QByteArray frame : frames) {
        appendLine(ui->HEXBrowser, QStringLiteral("Received:  ") + hexBytes(frame));
        dispatchFrame(frame);
    }
    batchingLogs = false;
    flushLogs();
}

void MainWindow::dispatchFrame(QByteArray &frame)
{
    const quint8 code = quint8(frame.at(1));
    switch (code) {
    case Command::GetThreshold:
        showThreshold(frame);
        break;
    case Command::ReadIntegration:
        showIntegrationTime(frame);
        break;
    case Command::HardwareVersion:
        showHardwareVersion(frame);
        break;
    case Command::FirmwareVersion:
        showFirmwareVersion(frame);
        break;
    case Response::Measurement:
        decodeMeasurementFrame(frame);
        break;
    case Response::ExtendedMeasurement:
        decodeExtendedMeasurementFrame(frame);
        break;
    case Command::Configuration:
        showConfiguration(frame);
        break;
    case Command::Coefficients:
        showCoefficients(frame);
        break;
    case Command::Range:
        showRange(frame);
        break;
    default:
        break;
    }

    answerReceived = true;
    answerTimer->stop();

    if (code != Response::Measurement && code != Response::ExtendedMeasurement) {
        const QString ack = QStringLiteral("Ack %1").arg(code, 2, 16, QLatin1Char(' '));
        appendLine(ui->outputBrowser, ack);
        qDebug() << ack;
    }
    frame.clear();
}

void MainWindow::SlotTimeout()
{
    answerReceived = true;
    answerTimer->stop();
}
