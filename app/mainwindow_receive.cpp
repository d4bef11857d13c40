// Checked frames from the link, each to its view.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/frame.h"


void MainWindow::SlotReadRxData(const QVector<QByteArray> &frames)
{
    bool onlyMeasurements = true;
    for (QByteArray frame : frames) {
        appendLine(hexLog, QStringLiteral("Received:  ") + hexBytes(frame));
        onlyMeasurements = onlyMeasurements && isMeasurementCode(quint8(frame.at(1)));
        dispatchFrame(frame);
    }
    // Answers are rare and awaited: shown at once. A stream is shown with the
    // read that comes shortly before the display is due, or by the display
    // timer when none comes: waking for the timer as well as for every frame
    // cost a wake-up of the event loop per display.
    if (!onlyMeasurements || displayClock.elapsed() >= displayDueMs - DisplayEarlyMs)
        updateDisplay();
}

void MainWindow::dispatchFrame(QByteArray &frame)
{
    const Answer answer = decodeAnswer(frame);
    switch (answer.kind) {
    case AnswerKind::Measurement:
    case AnswerKind::ExtendedMeasurement:
        if (answer.measurement)
            showMeasurement(*answer.measurement);
        break;
    case AnswerKind::Threshold:
        showThreshold(answer);
        break;
    case AnswerKind::Other:
        break;
    default:
        showInformation(answer);
        break;
    }

    if (!isMeasurementCode(answer.code)) {
        const QString ack = ackLine(answer.code);
        appendLine(textLog, ack);
        qCDebug(lcWindow) << ack;
    }
    frame.clear();
}

// The link has ended the wait; nothing is shown for a missing answer.
void MainWindow::SlotTimeout()
{
}
