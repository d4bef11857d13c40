// The three logs: appending, clearing and saving.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "log/logfile.h"

#include <QDateTime>
#include <QMessageBox>

void MainWindow::appendLine(Log &log, const QString &line)
{
    log.book.append(line);
    log.pending.append(line);
    scheduleDisplay();
}

void MainWindow::clearLog(Log &log)
{
    log.book.clear();
    log.pending.clear();
    log.view->clear();
}

void MainWindow::on_pButtonClean_clicked()
{
    clearLog(textLog);
}

void MainWindow::on_pushClearHEX_clicked()
{
    clearLog(hexLog);
}

void MainWindow::on_clearTestLog_clicked()
{
    clearLog(testLog);
}

void MainWindow::on_saveLog_clicked()
{
    saveLog(textLog, QStringLiteral("ZeltoTOF_log_"));
}

void MainWindow::on_saveTestLog_clicked()
{
    saveLog(testLog, QStringLiteral("Zelto_test_log_"));
}

// Saves every line since the log's last clear, not only those its view still shows.
void MainWindow::saveLog(const Log &log, const QString &prefix)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("MMddhhmm"));
    if (log.book.byteCount() == 0) {
        QMessageBox::warning(this, tr("警告框"), tr("文本框没有信息，无法保存"));
        return;
    }
    const QString path = askSaveFileName(this, tr("Save File"), prefix + stamp + QStringLiteral(".csv"),
                                         tr("File name(*.csv)"));
    if (path.isEmpty())
        return;

    // A log that could not be written must not pass for a saved one.
    QString error;
    if (!writeLogFile(path, log.book, &error))
        QMessageBox::warning(this, tr("警告框"), tr("无法保存文件 %1：%2").arg(path, error));
}
