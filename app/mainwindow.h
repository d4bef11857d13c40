#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSerialPort>
#include <QStringList>
#include <functional>
#include <memory>

#include "dialog_help.h"

class QTextEdit;
class QTimer;
class ChartForm;
struct Measurement;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow();

private slots:
    void on_chartViewButton_clicked();
    void on_action_about_triggered();

private:
    void initTimers();
    void fillPortList();
    void initDataMembers();

    Ui::MainWindow *ui;
    QElapsedTimer frameRateTimer;
    QSerialPort serialPort;
    dialog_help helpDialog;
    QTimer *answerTimer = nullptr;
    QTimer *autoSendTimer = nullptr;
    bool answerReceived = false;
    QByteArray *rxBuffer = nullptr;
    int baudRate = 115200;
    ChartForm *chartWindow = nullptr;
};

#endif // MAINWINDOW_H
