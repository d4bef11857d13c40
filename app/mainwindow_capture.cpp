// The "记录" menu: keeps every read and write on the line in a capture file.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QMessageBox>

void MainWindow::initCapture()
{
    connect(&link.capture(), &LineCapture::failed, this, &MainWindow::captureFailed);
}

void MainWindow::on_action_startCapture_triggered()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("MMddhhmm"));
    const QString path = askSaveFileName(this, tr("开始记录"), QStringLiteral("Korvani_capture_%1.txt").arg(stamp),
                                         tr("File name(*.txt)"));
    if (path.isEmpty())
        return;
    // The port the line is on now; a capture started before opening names the chosen one.
    const QString port = link.isOpen() ? link.port().portName() : ui->serialBox->currentText();
    if (!link.capture().start(path, port, baudRate)) {
        QMessageBox::warning(this, tr("警告框"), tr("无法记录：%1").arg(link.capture().errorString()));
        return;
    }
    ui->action_startCapture->setEnabled(false);
    ui->action_stopCapture->setEnabled(true);
}

void MainWindow::on_action_stopCapture_triggered()
{
    link.capture().stop();
    ui->action_startCapture->setEnabled(true);
    ui->action_stopCapture->setEnabled(false);
}

// The capture has stopped itself; the window goes on.
void MainWindow::captureFailed(const QString &reason)
{
    ui->action_startCapture->setEnabled(true);
    ui->action_stopCapture->setEnabled(false);
    showWarning(tr("警告框"), tr("记录已停止：%1").arg(reason));
}
