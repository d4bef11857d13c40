// The "记录" menu: keeps every read and write on the line in a capture file.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMessageBox>

void MainWindow::initCapture()
{
    connect(&link.capture(), &LineCapture::failed, this, &MainWindow::captureFailed);
    captureLabel = new QLabel(this);
    captureLabel->hide();
    ui->statusbar->addPermanentWidget(captureLabel);
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
        QMessageBox::warning(this, tr("警告"), tr("无法创建记录文件“%1”：%2")
                                                 .arg(QDir::toNativeSeparators(path), link.capture().failureReason()));
        return;
    }
    showCapturing(true);
}

void MainWindow::on_action_stopCapture_triggered()
{
    link.capture().stop();
    showCapturing(false);
}

// The capture has stopped itself; the window goes on.
void MainWindow::captureFailed()
{
    showCapturing(false);
    showWarning(tr("警告"), tr("记录已停止：无法写入记录文件“%1”：%2")
                               .arg(QDir::toNativeSeparators(link.capture().fileName()), link.capture().failureReason()));
}

void MainWindow::showCapturing(bool on)
{
    ui->action_startCapture->setEnabled(!on);
    ui->action_stopCapture->setEnabled(on);
    captureLabel->setText(on ? tr("记录中：%1").arg(QDir::toNativeSeparators(link.capture().fileName())) : QString());
    captureLabel->setVisible(on);
}
