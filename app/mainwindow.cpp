#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chart/chartform.h"
#include "protocol/frame.h"
#include "savedialog.h"
#include "widgets/asciiglyphs.h"
#include "widgets/readoutpainter.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTimer>

Q_LOGGING_CATEGORY(lcWindow, "korvani.window", QtWarningMsg)

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , askSaveFileName(::askSaveFileName)
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
    fitPortBoxToEntries();
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
    initReconnect();
    connect(&link, &ModuleLink::checksFailed, chartWindow.get(), &ChartForm::setFailedChecks);
    initCapture();
    initTriggerInputs();
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
    displayTimer->setObjectName(QStringLiteral("displayTimer"));
    displayTimer->setSingleShot(true);
    displayTimer->setInterval(DisplayIntervalMs);
    connect(displayTimer, &QTimer::timeout, this, &MainWindow::updateDisplay);
    displayClock.start();
}

// A label whose size may change makes the window lay itself out again on
// every new text; at the display rate that was a tenth of the window's CPU.
// The readouts are given a fixed size once, so a new value only repaints the
// label; and they fill their own background (the window's colour, as before),
// so Qt repaints only their rectangle, not every widget they lie on.
//
// The five measurement readouts share one column: the same width (what any of
// them can show: a 16-bit value, a signed 16-bit temperature; no wider than
// the narrowest maximum the form gives, label_AMP's), the same unit column
// after them (rows without a unit keep its room empty) and the same spacing,
// so their values line up; each value is centred on its caption's line.
void MainWindow::fixReadoutSizes()
{
    constexpr int ReadoutSpacing = 10;
    struct Row {
        QHBoxLayout *layout;
        QLabel *value;
        QLabel *unit;
    };
    const Row rows[] = {{ui->horizontalLayout_3, ui->label_DIST, ui->label},
                        {ui->horizontalLayout_5, ui->label_AMP, nullptr},
                        {ui->horizontalLayout_2, ui->label_TEMP, ui->label_5},
                        {ui->horizontalLayout_6, ui->label_INT, ui->label_3},
                        {ui->horizontalLayout, ui->label_STATUS, nullptr}};
    int valueWidth = QWIDGETSIZE_MAX;
    int widestValue = 0;
    int unitWidth = 0;
    for (const Row &row : rows) {
        valueWidth = qMin(valueWidth, row.value->maximumWidth());
        const QFontMetrics metrics = row.value->fontMetrics();
        widestValue = qMax(widestValue, qMax(metrics.horizontalAdvance(QStringLiteral("65535")),
                                             metrics.horizontalAdvance(QStringLiteral("-32768")))
                                            + 2 * row.value->margin() + 2 * row.value->frameWidth());
        if (row.unit)
            unitWidth = qMax(unitWidth, row.unit->sizeHint().width());
    }
    valueWidth = qMin(valueWidth, widestValue);
    for (const Row &row : rows) {
        row.value->setFixedSize(valueWidth, row.value->sizeHint().height());
        row.value->setAutoFillBackground(true);
        row.layout->setSpacing(ReadoutSpacing);
        if (row.unit)
            row.unit->setFixedWidth(unitWidth);
        else
            row.layout->setContentsMargins(0, 0, unitWidth + ReadoutSpacing, 0);
    }

    // The trigger-test counters outgrow five digits within 17 minutes at
    // 100 frames/s: room for any count.
    for (QLabel *label : {ui->deviationValue, ui->D_trigger, ui->totalValue}) {
        const QSize hint = label->sizeHint();
        const int widest = label->fontMetrics().horizontalAdvance(QStringLiteral("-4294967295"))
            + 2 * label->margin() + 2 * label->frameWidth();
        label->setFixedSize(qMax(hint.width(), widest), hint.height());
        label->setAutoFillBackground(true);
    }
    // The frame rate changes the status bar's message up to every display.
    ui->statusbar->setAutoFillBackground(true);

    // Values are drawn without a text layout, and the frame rate without
    // shaping: laying out and shaping digits was most of the cost of
    // drawing a new value.
    auto *readoutPainter = new ReadoutPainter(this);
    for (QLabel *value : {ui->label_DIST, ui->label_AMP, ui->label_TEMP, ui->label_INT, ui->label_STATUS,
                          ui->deviationValue, ui->D_trigger, ui->totalValue})
        readoutPainter->take(value);
    ui->statusbar->setFont(AsciiGlyphs::unshaped(ui->statusbar->font()));
}

// The port box shows its longest entry whole (a port name such as
// /dev/ttyUSB0 or /dev/pts/12), never narrower than the form's 80 px, also
// after "刷新" or a simulated module's port comes in. The combo box sizes its
// hint to its entries but not its minimum, which is what a crowded layout
// gives it, so the minimum follows the entries.
void MainWindow::fitPortBoxToEntries()
{
    QComboBox *box = ui->serialBox;
    const int formMinimum = box->minimumWidth();
    const auto fit = [box, formMinimum] { box->setMinimumWidth(qMax(formMinimum, box->sizeHint().width())); };
    QAbstractItemModel *entries = box->model();
    connect(entries, &QAbstractItemModel::rowsInserted, box, fit);
    connect(entries, &QAbstractItemModel::rowsRemoved, box, fit);
    connect(entries, &QAbstractItemModel::dataChanged, box, fit);
    connect(entries, &QAbstractItemModel::modelReset, box, fit);
    fit();
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
