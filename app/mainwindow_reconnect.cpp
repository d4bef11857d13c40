// A lost port found again: the watch for the same device, what the window
// says about the gap, and what resumes once the port is back.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/commands.h"

#include <QTime>
#include <QTimer>

void MainWindow::initReconnect()
{
    connect(&link, &ModuleLink::portLost, this, &MainWindow::portLost);
    connect(&reconnector, &Reconnector::reconnected, this, &MainWindow::portBack);
}

// Only the status label, its tooltip and the status bar speak of the gap:
// the logs keep what was on the line, and no box stops the user.
void MainWindow::portLost(const QString &reason)
{
    ui->serialMsg->setText(tr("失败"));
    const QString port = link.port().portName();
    const QString lostAt = clock.timeOfDay().toString(QStringLiteral("hh:mm:ss"));
    if (!reconnector.isWatching()) {
        ui->serialMsg->setToolTip(tr("%1 串口 %2 断开：%3").arg(lostAt, port, reason));
        return;
    }
    ui->serialMsg->setToolTip(tr("%1 串口 %2 断开：%3；正在等待同一设备重新接入").arg(lostAt, port, reason));
    ui->statusbar->showMessage(tr("串口 %1 已断开（%2），等待同一设备重新接入……").arg(port, reason));
    // Auto-send waits for the port instead of warning into the gap.
    if (autoSendTimer->isActive()) {
        autoSendTimer->stop();
        autoSendPaused = true;
    }
}

void MainWindow::portBack(qint64 gapMs)
{
    ui->serialMsg->setText(tr("成功"));
    const QString back = tr("%1 串口 %2 重新连接（断开 %3 s）")
                             .arg(clock.timeOfDay().toString(QStringLiteral("hh:mm:ss")),
                                  link.port().portName(), QString::number(double(gapMs) / 1000.0, 'f', 1));
    ui->serialMsg->setToolTip(ui->serialMsg->toolTip() + QLatin1Char('\n') + back);
    ui->statusbar->showMessage(back);
    // The module was most likely power-cycled with the adapter and is quiet.
    if (streamingCommand)
        sendBytes(*streamingCommand, false);
    resumeAutoSend();
}

void MainWindow::resumeAutoSend()
{
    if (!autoSendPaused)
        return;
    autoSendPaused = false;
    autoSendTimer->start(ui->auto_time->text().toInt());
}

void MainWindow::noteStreaming(const QByteArray &frame, quint8 code)
{
    if (code == Command::Continuous || code == Command::ContinuousFixed)
        streamingCommand = frame;
    else if (code == Command::Stop || code == Command::Restart || code == Command::Standby)
        streamingCommand.reset();
}
