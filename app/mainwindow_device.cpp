// Version buttons, information answers and the switching threshold.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/commands.h"

#include <QMessageBox>

void MainWindow::on_hwButton_clicked()
{
    sendVersionQuery(Command::HardwareVersion, "on_hwButton_clicked");
}

void MainWindow::on_swButton_clicked()
{
    if (ui->checkBox_ID->isChecked())
        qCDebug(lcWindow) << "FW VERSION";
    sendVersionQuery(Command::FirmwareVersion, "on_swButton_clicked");
}

void MainWindow::sendVersionQuery(quint8 code, const char *plainNote)
{
    std::optional<quint8> id;
    if (!readDeviceId(&id))
        return;
    if (id)
        qCDebug(lcWindow) << "RS485_ID=" << *id;
    else
        qCDebug(lcWindow) << plainNote;
    sendBytes(commandFrame(code, QByteArray(), id), true);
}

void MainWindow::appendTextLog(const QStringList &lines)
{
    for (const QString &line : lines)
        appendLine(textLog, line);
}

void MainWindow::showInformation(const Answer &answer)
{
    // The coefficient answer replaces the whole text log; a short one clears nothing.
    if (answer.kind == AnswerKind::Coefficients && !answer.lines.isEmpty())
        clearLog(textLog);
    appendTextLog(answer.lines);
}

void MainWindow::showThreshold(const Answer &answer)
{
    if (answer.threshold)
        ui->Thresholdlabel->setText(QString::number(*answer.threshold));
}

void MainWindow::on_GetThresholdValue_clicked()
{
    qCDebug(lcWindow) << "on_GetThresholdValue_clicked";
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
    qCDebug(lcWindow) << "on_SetThresholdValue_clicked";
    sendBytes(commandFrame(Command::SetThreshold, thresholdData(*value)), true);
}
