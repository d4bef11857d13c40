#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chart/chartform.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , askSaveFileName([](QWidget *parent, const QString &caption, const QString &name,
                         const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, name, filter);
    })
{
    // The form connects the on_<object>_<signal> slots itself, after every
    // initial value is set, so building it sends nothing.
    ui->setupUi(this);
    initTimers();
    fillPortList();
    initDataMembers();
    baudRate = 115200;
    chartWindow = new ChartForm;
    chartWindow->hide();
    ui->LOGcheckBox->setChecked(true);

    connect(&serialPort, &QSerialPort::errorOccurred, this, &MainWindow::handlePortError);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::initTimers()
{
    answerTimer = new QTimer(this);
    // The module is given its full 100 ms: a coarse timer may fire 5 % early.
    answerTimer->setTimerType(Qt::PreciseTimer);
    connect(answerTimer, &QTimer::timeout, this, &MainWindow::SlotTimeout);
    autoSendTimer = new QTimer;
    connect(autoSendTimer, &QTimer::timeout, this, &MainWindow::selectAutoSend);
}

void MainWindow::initDataMembers()
{
    answerReceived = false;
    rxBuffer = std::make_unique<ResponseFramer>();
}

void MainWindow::showWarning(const QString &title, const QString &text)
{
    if (warningOpen)
        return;
    if (inAutoSendTick) {
        if (autoSendWarned)
            return;
        autoSendWarned = true;
    }
    warningOpen = true;
    QMessageBox::warning(this, title, text);
    warningOpen = false;
}

void MainWindow::on_chartViewButton_clicked()
{
    chartWindow->show();
}

void MainWindow::on_action_about_triggered()
{
    helpDialog.show();
}
