// The three log views: appending, clearing and saving.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "measure/logbook.h"
#include "measure/logfile.h"

#include <QDateTime>
#include <QMessageBox>

void MainWindow::appendLine(QTextEdit *view, const QString &line)
{
    scheduleDisplay();
    for (PendingLines &pending : pendingLogs) {
        if (pending.view == view) {
            pending.lines.append(line);
            return;
        }
    }
    pendingLogs.append({view, QStringList{line}});
}

void MainWindow::clearView(QTextEdit *view)
{
    for (int i = 0; i < pendingLogs.size(); ++i) {
        if (pendingLogs[i].view == view)
            pendingLogs.removeAt(i--);
    }
    view->clear();
}

void MainWindow::on_pButtonClean_clicked()
{
    clearView(ui->outputBrowser);
}

void MainWindow::on_pushClearHEX_clicked()
{
    clearView(ui->HEXBrowser);
}

void MainWindow::on_clearTestLog_clicked()
{
    clearView(ui->Func_log);
}

void MainWindow::on_saveLog_clicked()
{
    saveView(ui->outputBrowser, QStringLiteral("ZeltoTOF_log_"));
}

void MainWindow::on_saveTestLog_clicked()
{
    saveView(ui->Func_log, QStringLiteral("Zelto_test_log_"));
}

void MainWindow::saveView(QTextEdit *view, const QString &prefix)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("MMddhhmm"));
    const QString text = view->toPlainText();
    if (text.isEmpty()) {
        QMessageBox::warning(this, tr("警告框"), tr("文本框没有信息，无法保存"));
        return;
    }
    const QString path = askSaveFileName(this, tr("Save File"), prefix + stamp + QStringLiteral(".csv"),
                                         tr("File name(*.csv)"));
    if (path.isEmpty())
        return;

    // A log that could not be written must not pass for a saved one.
    QString error;
    LogBook log;
    log.append(text);
    if (!writeLogFile(path, log, &error))
        QMessageBox::warning(this, tr("警告框"), tr("无法保存文件 %1：%2").arg(path, error));
}
