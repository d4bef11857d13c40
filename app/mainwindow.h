#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The main window: thin glue between the form's widgets and the widget-free
// parts (the module link, the decode table, the trigger test, the logs).
// Where its slots live:
//   mainwindow.cpp          construction, fixed readout sizes, warnings, chart and help windows
//   mainwindow_port.cpp     port list, open, close
//   mainwindow_reconnect.cpp a lost port: the watch, the gap, the resumption
//   mainwindow_receive.cpp  SlotReadRxData, dispatchFrame, SlotTimeout
//   mainwindow_send.cpp     sendFrame, device-ID addressing
//   mainwindow_buttons.cpp  the fixed command buttons, integration time
//   mainwindow_cmdline.cpp  the command line and auto-send
//   mainwindow_measure.cpp  measurement readouts, frame rate, chart feed
//   mainwindow_logs.cpp     the three logs: append, clear, save
//   mainwindow_display.cpp  writing gathered lines and values to the widgets
//   mainwindow_device.cpp   version buttons, information answers, threshold
//   mainwindow_trigger.cpp  the trigger test tab
//   mainwindow_capture.cpp  the "记录" menu: capture of the line

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "dialog_help.h"
#include "widgets/logview.h"
#include "log/localclock.h"
#include "log/logbook.h"
#include "decode/answers.h"
#include "serial/modulelink.h"
#include "serial/reconnector.h"
#include "stats/triggertest.h"

// The window's debug lines (ports found, Ack lines, which button sent):
// off unless QT_LOGGING_RULES="korvani.window.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcWindow)

class QLabel;
class QTextEdit;
class QTimer;
class ChartForm;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow();

    bool sendFrame(const char *bytes, quint16 length, bool waitForAnswer);
    void dispatchFrame(QByteArray &frame);

    // Asks where to save a log; returns an empty path when the user cancels.
    // Replaceable so that the save path can run without a person.
    std::function<QString(QWidget *parent, const QString &caption,
                          const QString &proposedName, const QString &filter)>
        askSaveFileName;

    // The port and the receive buffer belong to the link.
    QSerialPort &serialPort() { return link.port(); }
    ResponseFramer &rxBuffer() { return link.framer(); }
    ModuleLink &moduleLink() { return link; }

private slots:
    void SlotReadRxData(const QVector<QByteArray> &frames);
    void SlotTimeout();
    void on_pButtonOpen_clicked();
    void on_pButtonClose_clicked();
    void on_pButtonCmd_clicked();
    void on_pButtonClean_clicked();
    void on_sbIntegration_valueChanged(int arg1);
    void on_stopButton_clicked();
    void on_stopButton_2_clicked();
    void on_stopButton_5_clicked();
    void on_startButton_clicked();
    void on_onceButton_clicked();
    void on_comboBox_currentTextChanged(const QString &arg1);
    void on_onceButton_2_clicked();
    void on_hwButton_clicked();
    void on_swButton_clicked();
    void on_comFresh_clicked();
    void on_saveLog_clicked();
    void on_tempReset_clicked();
    void on_clearTestLog_clicked();
    void on_saveTestLog_clicked();
    void selectAutoSend();
    void on_checkBox_autoSent_clicked(bool checked);
    void on_checkBox_ID_clicked(bool checked);
    void on_GetThresholdValue_clicked();
    void on_SetThresholdValue_clicked();
    void on_chartViewButton_clicked();
    void on_action_about_triggered();
    void on_pushClearHEX_clicked();
    void on_lineEditCmd_returnPressed();
    void on_action_startCapture_triggered();
    void on_action_stopCapture_triggered();

private:
    void initTimers();
    void fillPortList();
    void fixReadoutSizes();
    void fitPortBoxToEntries();

    // Port (mainwindow_reconnect.cpp)
    void initReconnect();
    void portLost(const QString &reason);
    void portBack(qint64 gapMs);
    void resumeAutoSend();
    // Keeps the last continuous-measurement command sent, to send it again
    // when a lost port is back; stop, standby and restart forget it.
    void noteStreaming(const QByteArray &frame, quint8 code);

    // Capture (mainwindow_capture.cpp)
    void initCapture();
    void captureFailed();
    // The menu's state and the status bar's note while a capture runs.
    void showCapturing(bool on);

    // Sending (mainwindow_send.cpp)
    bool sendCommand(quint8 code, bool addressable);
    bool sendBytes(const QByteArray &frame, bool waitForAnswer);
    bool readDeviceId(std::optional<quint8> *id);
    void sendCommandLine();
    void showWarning(const QString &title, const QString &text);

    // Measurements
    void showMeasurement(const Measurement &m);
    void feedChart(const Measurement &m);
    void updateFrameRate(bool update);
    bool evaluateTrigger(quint16 distance);

    // Device information
    void sendVersionQuery(quint8 code, const char *plainNote);
    void showInformation(const Answer &answer);
    void showThreshold(const Answer &answer);

    // Logs: every line goes into its log's book at once (the text log and the
    // trigger-test log keep every line since their last clear, for saving;
    // the hex log only what its view can show) and into its view with the
    // next display update.
    struct Log {
        explicit Log(qint64 keepNewest = 0) : book(keepNewest) {}
        LogBook book;
        LogView *view = nullptr;  // the form's
        QStringList pending;
    };
    void appendLine(Log &log, const QString &line);
    void appendTextLog(const QStringList &lines);
    void clearLog(Log &log);
    void saveLog(const Log &log, const QString &prefix);

    // Display: new log lines, readouts, trigger counters and the frame rate
    // are gathered and written to the widgets together, 25 times a second
    // while frames stream (DisplayIntervalMs apart, on the cadence of the
    // first, so waiting for the next read does not stretch the period), at
    // once for the first frame after a pause and when a waiting send ends (so
    // a button's answer is on screen when its slot returns), and never while
    // nothing comes. Each widget then shows what it would have shown had it
    // been written frame by frame; a widget whose text did not change is not
    // written, so it is not drawn again. At 100 frames/s the window costs
    // about 240 us of CPU per frame so, against about 200 us when it drew ten
    // times a second before the log views and readouts drew their text as
    // glyphs (bench_longrun realtime; a bare port reading the same stream,
    // 70-90 us).
    static constexpr int DisplayIntervalMs = 40;
    // A read this much before the display is due shows it (see SlotReadRxData).
    static constexpr int DisplayEarlyMs = DisplayIntervalMs / 4;
    void scheduleDisplay();
    void updateDisplay();

    Ui::MainWindow *ui;
    qint64 previousRateReadUs = -1;  // read time of the previous 0x81 frame
    ModuleLink link;
    Reconnector reconnector{link};
    std::optional<QByteArray> streamingCommand;
    bool autoSendPaused = false;  // stopped while a lost port is watched for
    dialog_help helpDialog;
    // Parentless, as the chart window (a top-level window of its own), and
    // deleted with the window when the program ends.
    std::unique_ptr<QTimer> autoSendTimer;
    int baudRate = 115200;
    std::unique_ptr<ChartForm> chartWindow;
    QLabel *captureLabel = nullptr;  // on the status bar while a capture runs

    TriggerTest trigger;
    // The reference and band as their boxes read, parsed when edited rather
    // than on every frame.
    quint16 triggerReference = 0;
    quint16 triggerBand = 0;
    void initTriggerInputs();
    LocalClock clock;

    // Warnings: never more than one box at a time, and an auto-send run warns
    // once, so a fast tick cannot lock the user out of its own check box.
    bool warningOpen = false;
    bool inAutoSendTick = false;
    bool autoSendWarned = false;

    Log textLog;
    Log hexLog{LogView::MaxViewLines};
    Log testLog;
    QTimer *displayTimer = nullptr;
    QElapsedTimer displayClock;
    qint64 displayDueMs = 0;  // on displayClock
    std::optional<Measurement> pendingReadouts;
    std::optional<qint64> pendingRateElapsedMs;
    bool pendingTriggerReadouts = false;
};

#endif // MAINWINDOW_H
