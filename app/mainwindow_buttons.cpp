// The fixed command buttons and the integration-time spin box.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/commands.h"


void MainWindow::on_onceButton_clicked()
{
    sendCommand(Command::SingleFixed, true);
}

void MainWindow::on_onceButton_2_clicked()
{
    sendCommand(Command::Single, true);
}

void MainWindow::on_stopButton_2_clicked()
{
    sendCommand(Command::ContinuousFixed, false);
}

void MainWindow::on_startButton_clicked()
{
    sendCommand(Command::Continuous, false);
}

void MainWindow::on_stopButton_clicked()
{
    sendCommand(Command::Stop, false);
}

void MainWindow::on_stopButton_5_clicked()
{
    sendCommand(Command::Restart, true);
}

void MainWindow::on_sbIntegration_valueChanged(int arg1)
{
    // No second value change may start another send while this one waits.
    ui->sbIntegration->setReadOnly(true);
    std::optional<quint8> id;
    if (readDeviceId(&id)) {
        if (id)
            qCDebug(lcWindow) << "RS485_ID=" << *id;
        sendBytes(commandFrame(Command::SetIntegration, integrationTimeData(quint16(arg1)), id), true);
    }
    ui->sbIntegration->setReadOnly(false);
}
