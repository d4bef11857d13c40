#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chart/chartform.h"

#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
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
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::initTimers()
{
    answerTimer = new QTimer(this);
    autoSendTimer = new QTimer;
}

void MainWindow::fillPortList()
{
}

void MainWindow::initDataMembers()
{
    answerReceived = false;
    rxBuffer = new QByteArray;
}

void MainWindow::on_chartViewButton_clicked()
{
    chartWindow->show();
}

void MainWindow::on_action_about_triggered()
{
    helpDialog.show();
}
