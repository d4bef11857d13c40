// The one way a frame reaches the module, and the device-ID addressing.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/commands.h"

bool MainWindow::sendFrame(const char *bytes, quint16 length, bool waitForAnswer)
{
    if (!link.isOpen()) {
        showWarning(tr("warning"), tr("请打开串口"));
        return false;
    }
    const ModuleLink::SendResult result =
        link.send(QByteArray(bytes, length), waitForAnswer ? Expect::anyFrame() : Expect::nothing()).result;
    if (waitForAnswer)
        updateDisplay();
    return result == ModuleLink::SendResult::Sent || result == ModuleLink::SendResult::Answered
        || result == ModuleLink::SendResult::TimedOut;
}

bool MainWindow::sendBytes(const QByteArray &frame, bool waitForAnswer)
{
    return sendFrame(frame.constData(), quint16(frame.size()), waitForAnswer);
}

// With addressing on, the device ID must be a decimal number 0 to 255: any
// other text would address (and possibly restart or reconfigure) another
// module on the bus, so it is refused with a warning.
bool MainWindow::readDeviceId(std::optional<quint8> *id)
{
    id->reset();
    if (!ui->checkBox_ID->isChecked())
        return true;
    *id = parseDeviceId(ui->lineEditID->text());
    if (!*id) {
        showWarning(tr("warning"),
                    tr("设备ID \"%1\" 无效：请输入0到255之间的十进制数").arg(ui->lineEditID->text()));
        return false;
    }
    return true;
}

bool MainWindow::sendCommand(quint8 code, bool addressable)
{
    std::optional<quint8> id;
    if (addressable && !readDeviceId(&id))
        return false;
    const QByteArray frame = commandFrame(code, QByteArray(), id);
    const bool sent = sendBytes(frame, true);
    if (sent)
        noteStreaming(frame, code);
    return sent;
}

void MainWindow::on_checkBox_ID_clicked(bool checked)
{
    // Continuous measurement has no addressed form.
    ui->stopButton_2->setEnabled(!checked);
    ui->startButton->setEnabled(!checked);
    ui->stopButton->setEnabled(!checked);
}
