// The typed command line and its automatic repetition.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/commandline.h"
#include "protocol/commands.h"

#include <QTimer>

void MainWindow::sendCommandLine()
{
    const std::optional<QByteArray> tokens = parseCommandLine(ui->lineEditCmd->text());
    if (!tokens)
        return;
    std::optional<quint8> id;
    if (!readDeviceId(&id))
        return;
    const QByteArray frame = commandFrame(quint8(tokens->at(0)), tokens->mid(1), id);
    if (sendBytes(frame, false))
        noteStreaming(frame, quint8(tokens->at(0)));
}

void MainWindow::on_pButtonCmd_clicked()
{
    sendCommandLine();
}

void MainWindow::on_lineEditCmd_returnPressed()
{
    sendCommandLine();
}

void MainWindow::selectAutoSend()
{
    const bool outer = inAutoSendTick;
    inAutoSendTick = true;
    sendCommandLine();
    inAutoSendTick = outer;
}

void MainWindow::on_checkBox_autoSent_clicked(bool checked)
{
    if (checked) {
        autoSendWarned = false;
        autoSendTimer->start(ui->auto_time->text().toInt());
    } else {
        autoSendTimer->stop();
    }
    ui->pButtonCmd->setEnabled(!checked);
    ui->stopButton_2->setEnabled(!checked);
    ui->startButton->setEnabled(!checked);
    ui->stopButton->setEnabled(!checked);
}
