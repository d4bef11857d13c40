#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chart/chartform.h"
#include "protocol/frame.h"

#include <QFileDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTimer>

Q_LOGGING_CATEGORY(lcWindow, "korvani.window", QtWarningMsg)

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , askSaveFileName([](QWidget *parent, const QString &caption, const QString &name,
                         const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, name, filter);
    })
    , ui(new Ui::MainWindow)
{
    // The form connects the on_<object>_<signal> slots itself, after every
    // initial value is set, so building it sends nothing.
    ui->setupUi(this);
    initTimers();
    fillPortList();
    baudRate = 115200;
    chartWindow = std::make_unique<ChartForm>();
    chartWindow->hide();
    ui->LOGcheckBox->setChecked(true);
    fixReadoutSizes();
    textLog.view = ui->outputBrowser;
    hexLog.view = ui->HEXBrowser;
    testLog.view = ui->Func_log;
    for (Log *log : {&textLog, &hexLog, &testLog})
        log->view->setBook(&log->book);

    connect(&link, &ModuleLink::frameSent, this, [this](const QByteArray &frame) {
        appendLine(hexLog, QStringLiteral("Send:  ") + hexBytes(frame));
    });
    connect(&link, &ModuleLink::framesReceived, this, &MainWindow::SlotReadRxData);
    connect(&link, &ModuleLink::answerTimedOut, this, &MainWindow::SlotTimeout);
    connect(&link, &ModuleLink::portLost, this, &MainWindow::portLost);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::initTimers()
{
    autoSendTimer = std::make_unique<QTimer>();
    connect(autoSendTimer.get(), &QTimer::timeout, this, &MainWindow::selectAutoSend);
    displayTimer = new QTimer(this);
    displayTimer->setSingleShot(true);
    displayTimer->setInterval(DisplayIntervalMs);
    connect(displayTimer, &QTimer::timeout, this, &MainWindow::updateDisplay);
    sinceDisplay.start();
}

// A label whose size may change makes the window lay itself out again on
// every new text; at the display rate that was a tenth of the window's CPU.
// The readouts are given the size of their widest value once, so a new
// value only repaints the label.
void MainWindow::fixReadoutSizes()
{
    for (QLabel *label : {ui->label_DIST, ui->label_AMP, ui->label_TEMP, ui->label_INT,
                          ui->label_STATUS, ui->deviationValue, ui->D_trigger, ui->totalValue}) {
        const QSize hint = label->sizeHint();
        const int widest = label->fontMetrics().horizontalAdvance(QStringLiteral("-4294967295"))
            + 2 * label->margin() + 2 * label->frameWidth();
        label->setFixedSize(qMax(hint.width(), widest), hint.height());
    }
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
