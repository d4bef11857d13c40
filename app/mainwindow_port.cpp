// Port listing, opening and closing.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QSerialPortInfo>

void MainWindow::fillPortList()
{
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        qDebug() << info.portName();
        ui->serialBox->addItem(info.portName());
    }
}

void MainWindow::on_comFresh_clicked()
{
    ui->serialBox->clear();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ui->serialBox->addItem(info.portName());
}

void MainWindow::on_comboBox_currentTextChanged(const QString &arg1)
{
    baudRate = arg1.toInt();
}

void MainWindow::on_pButtonOpen_clicked()
{
    const QString name = ui->serialBox->currentText();
    if (name.isEmpty()) {
        qDebug() << "NO serial" << Qt::endl;
        return;
    }

    serialPort.setPortName(name);
    serialPort.setBaudRate(baudRate);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);

    if (serialPort.isOpen()) {
        ui->serialMsg->setText(tr("成功"));
        return;
    }
    if (serialPort.open(QIODevice::ReadWrite)) {
        ui->serialMsg->setText(tr("成功"));
        connect(&serialPort, &QSerialPort::readyRead, this, &MainWindow::SlotReadRxData,
                Qt::UniqueConnection);
        autoSendWarned = false;
    } else {
        ui->serialMsg->setText(tr("失败"));
    }
}

void MainWindow::on_pButtonClose_clicked()
{
    closePort();
    ui->serialMsg->setText(tr("关闭串口"));
}

void MainWindow::closePort()
{
    if (!serialPort.isOpen())
        return;
    disconnect(&serialPort, &QSerialPort::readyRead, this, &MainWindow::SlotReadRxData);
    serialPort.close();
}

// A port that fails under the program (adapter pulled out) reports its error
// again on every turn of the event loop; closing it is the only way to stop that.
void MainWindow::handlePortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!serialPort.isOpen())
        return;
    qDebug() << "serial port lost:" << serialPort.errorString();
    closePort();
    ui->serialMsg->setText(tr("失败"));
}
