// Port listing, opening and closing.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "serial/portlist.h"


void MainWindow::fillPortList()
{
    // A path the list cannot show (a /dev/serial/by-id/ link, which stays the
    // same across replugs, or a pseudo-terminal) may be typed in the box.
    ui->serialBox->setEditable(true);
    ui->serialBox->setInsertPolicy(QComboBox::NoInsert);
    for (const PortEntry &port : availablePorts()) {
        qCDebug(lcWindow) << port.name;
        ui->serialBox->addItem(port.name);
    }
}

void MainWindow::on_comFresh_clicked()
{
    // A typed entry is kept; a listed one gives way to the new list's first.
    const QString shown = ui->serialBox->currentText();
    const bool typed = !shown.isEmpty() && ui->serialBox->findText(shown) < 0;
    ui->serialBox->clear();
    for (const PortEntry &port : availablePorts())
        ui->serialBox->addItem(port.name);
    if (typed)
        ui->serialBox->setEditText(shown);
}

void MainWindow::on_comboBox_currentTextChanged(const QString &arg1)
{
    baudRate = arg1.toInt();
}

void MainWindow::on_pButtonOpen_clicked()
{
    const QString name = ui->serialBox->currentText().trimmed();
    if (name.isEmpty()) {
        qCDebug(lcWindow) << "NO serial";
        return;
    }
    const bool wasOpen = link.isOpen();
    if (link.open(portLocation(name), baudRate)) {
        ui->serialMsg->setText(tr("成功"));
        if (!wasOpen)
            autoSendWarned = false;
        reconnector.arm();
        resumeAutoSend();
    } else {
        ui->serialMsg->setText(tr("失败"));
    }
}

void MainWindow::on_pButtonClose_clicked()
{
    // A port the user closed is never reopened behind the user's back.
    reconnector.disarm();
    link.close();
    ui->serialMsg->setText(tr("关闭串口"));
    resumeAutoSend();
}
