// Version buttons, information answers and the switching threshold.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "device/deviceinfo.h"
#include "protocol/commands.h"

#include <QDebug>
#include <QMessageBox>

void MainWindow::on_hwButton_clicked()
{
    sendVersionQuery(Command::HardwareVersion, "on_hwButton_clicked");
}

void MainWindow::on_swButton_clicked()
{
    if (ui->checkBox_ID->isChecked())
        qDebug() << "FW VERSION";
    sendVersionQuery(Command::FirmwareVersion, "on_swButton_clicked");
}

void MainWindow::sendVersionQuery(quint8 code, const char *plainNote)
{
    std::optional<quint8> id;
    if (!readDeviceId(&id))
        return;
    if (id)
        qDebug() << "RS485_ID=" << *id;
    else
        qDebug() << plainNote;
    sendBytes(commandFrame(code, QByteArray(), id), true);
}

void MainWindow::appendTextLog(const QStringList &lines)
{
    for (const QString &line : lines)
        appendLine(ui->outputBrowser, line);
}

void MainWindow::showHardwareVersion(const QByteArray &frame)
{
    appendTextLog(DeviceInfo::hardwareVersion(frame));
}

void MainWindow::showFirmwareVersion(const QByteArray &frame)
{
    appendTextLog(DeviceInfo::firmwareVersion(frame));
}

void MainWindow::showRange(const QByteArray &frame)
{
    appendTextLog(DeviceInfo::range(frame));
}

void MainWindow::showIntegrationTime(const QByteArray &frame)
{
    appendTextLog(DeviceInfo::integrationTime(frame));
}

void MainWindow::showConfiguration(const QByteArray &frame)
{
    appendTextLog(DeviceInfo::configuration(frame));
}

void MainWindow::showCoefficients(const QByteArray &frame)
{
    const QStringList lines = DeviceInfo::coefficients(frame);
    if (lines.isEmpty())
        return;
    clearView(ui->outputBrowser);
    appendTextLog(lines);
}

void MainWindow::showThreshold(const QByteArray &frame)
{
    if (const std::optional<quint16> value = DeviceInfo::threshold(frame))
        ui->Thresholdlabel->setText(QString::number(*value));
}

void MainWindow::on_GetThresholdValue_clicked()
{
    qDebug() << "on_GetThresholdValue_clicked";
    sendBytes(commandFrame(Command::GetThreshold), true);
}

// The threshold drives the module's switching output: a typo must not be
// sent as some other value.
void MainWindow::on_SetThresholdValue_clicked()
{
    const std::optional<quint16> value = parseThreshold(ui->setThresholdValue->text());
    if (!value) {
        showWarning(tr("warning"), tr("阈值 \"%1\" 无效：请输入0到65535之间的十进制整数")
                                       .arg(ui->setThresholdValue->text()));
        return;
    }
    qDebug() << "on_SetThresholdValue_clicked";
    sendBytes(commandFrame(Command::SetThreshold, thresholdData(*value)), true);
}
