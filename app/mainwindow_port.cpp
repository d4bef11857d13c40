// Port listing, opening and closing.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "serial/portlist.h"


void MainWindow::fillPortList()
{
    for (const PortEntry &port : availablePorts()) {
        qCDebug(lcWindow) << port.name;
        ui->serialBox->addItem(port.name);
    }
}

void MainWindow::on_comFresh_clicked()
{
    ui->serialBox->clear();
    for (const PortEntry &port : availablePorts())
        ui->serialBox->addItem(port.name);
}

void MainWindow::on_comboBox_currentTextChanged(const QString &arg1)
{
    baudRate = arg1.toInt();
}

void MainWindow::on_pButtonOpen_clicked()
{
    const QString name = ui->serialBox->currentText();
    if (name.isEmpty()) {
        qCDebug(lcWindow) << "NO serial";
        return;
    }
    const bool wasOpen = link.isOpen();
    if (link.open(name, baudRate)) {
        ui->serialMsg->setText(tr("成功"));
        if (!wasOpen)
            autoSendWarned = false;
    } else {
        ui->serialMsg->setText(tr("失败"));
    }
}

void MainWindow::on_pButtonClose_clicked()
{
    link.close();
    ui->serialMsg->setText(tr("关闭串口"));
}

void MainWindow::portLost()
{
    ui->serialMsg->setText(tr("失败"));
}
