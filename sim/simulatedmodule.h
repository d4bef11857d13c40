#ifndef SIMULATEDMODULE_H
#define SIMULATEDMODULE_H

// A laser distance module on a serial line, for tests, benchmarks and the
// demo: it sits on a pseudo-terminal whose device end the program opens as
// its serial port, answers the module's commands on the caller's event loop
// and can show the faults of a real line on demand.
//
// Answers are written on the next event-loop turn (or after the answer
// delay). Besides the measurement and information answers, the module
// acknowledges these commands with an empty answer 89 code 00 X:
//   06 stop, 31-34 rate, FB restart (acknowledged before it restarts),
//   20 with no data (single-measurement mode), 21 (continuous mode),
//   40 standby (stops measuring), 60/61 measuring at power-up off/on,
//   70 hex output (the only output it has).
// Setting the threshold (DA) or the integration time (20 with two data
// bytes) is answered with the value now held, 2 bytes little-endian.
// Commands it does not know, 71 (text output, not offered), set commands
// with too few data bytes and frames with a wrong check byte get no answer.
//
// RS485: on, it obeys only addressed frames carrying its own ID (there is no
// broadcast ID: modules answering together would collide on the bus); off,
// it is the only module on the line and obeys plain frames and addressed
// frames whatever ID they carry. Its answers never carry an ID.
//
// Measuring at power-up is off by default so that a new module is quiet;
// when on, the module starts streaming when it is opened and after a restart.

#include "commandparser.h"
#include "frameshaper.h"
#include "linewriter.h"
#include "measurementgenerator.h"
#include "modulesettings.h"
#include "pseudoterminal.h"
#include "sensorreading.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QTimer>
#include <optional>

class QSocketNotifier;

class SimulatedModule : public QObject
{
    Q_OBJECT

public:
    using Reading = SensorReading;

    // Streaming does not queue more than this behind a line nobody reads;
    // the measurements in between are not taken.
    static constexpr qint64 StreamBacklogLimit = 4096;

    explicit SimulatedModule(QObject *parent = nullptr);
    ~SimulatedModule() override;

    // The line.
    bool open();  // a new pseudo-terminal; false on failure (see errorString)
    QString errorString() const { return error; }
    QString portName() const { return pty.devicePath(); }
    // A stable name for the device end, replacing an earlier link there (but
    // never a file that is not a link). Removed when the module goes away or
    // is destroyed, and made anew for the new device when it is opened again.
    bool createSymlink(const QString &linkPath);
    bool isOpen() const { return pty.isOpen(); }
    // The adapter is pulled out: the line closes now and closed() is emitted.
    void goAway();

    // Behaviour.
    void setRs485(bool on, quint8 deviceId = 1);
    bool isRs485() const { return rs485; }
    quint8 deviceId() const { return ownId; }
    void setExtendedMode(bool on) { extended = on; }
    bool setRateHz(int hz);  // 10, 20, 50 or 100
    // Continuous measurement goes out as fast as the line takes the frames
    // instead of at the rate (for benchmarks of the reading side).
    void setLineRateStreaming(bool on) { lineRate = on; }
    int rateHz() const { return rate; }
    void setMeasureAtPowerUp(bool on) { measureAtPowerUp = on; }
    void setFixedReading(std::optional<Reading> reading) { fixedReading = reading; }
    // Each measurement's distance becomes 0, 1, 2 ... (wrapping at 65535),
    // counted from this call, so lost or reordered frames show.
    void setCountingDistance(bool on);
    void setReferenceDistance(quint16 mm) { generator.setReferenceDistance(mm); }
    void setNoise(double mm) { generator.setNoise(mm); }
    void setOutliers(bool on) { generator.setOutliers(on); }
    void setDrift(double mm) { generator.setDrift(mm); }
    void setLinearityError(double scale, double offsetMm) { generator.setLinearityError(scale, offsetMm); }
    void setSeed(quint32 seed);
    void setThreshold(quint16 mm) { settings.threshold = mm; }
    quint16 threshold() const { return settings.threshold; }
    bool setHardwareVersion(const QByteArray &four);
    bool setFirmwareVersion(const QByteArray &four);
    void setRangeValue(quint16 value) { settings.range = value; }
    void setIntegrationValue(quint16 microseconds) { settings.integrationTime = microseconds; }
    quint16 integrationValue() const { return settings.integrationTime; }
    bool setConfiguration(const QByteArray &eighteen);
    bool setCoefficients(const QByteArray &fifty);
    // The answer to command `code` carries `data` instead of its own (at most
    // 255 bytes), e.g. a deliberately short frame; a command the module does
    // not know is then answered too. For the measurement commands (01, 02,
    // 05, 50) `data` replaces everything between the frame's code and its
    // check byte, so 0x81/0x82 frames of any length can be made.
    void setAnswerData(quint8 code, const QByteArray &data);
    void clearAnswerData(quint8 code);

    // Faults, each a switch.
    void setSplitFrames(bool on) { shaper.setSplit(on); }
    void setJoinFrames(int count) { shaper.setJoin(count); }
    void setGarbage(bool on) { shaper.setGarbage(on); }
    // Wrong check byte on every `everyNth` frame.
    void setCorruptChecks(bool on, int everyNth = 1);
    void setAnswerDelayMs(int ms) { answerDelayMs = qMax(0, ms); }
    // Receives (and records) commands but neither acts on them nor sends
    // anything of its own; writeRaw() and streamFrames() still write.
    void setSilent(bool on) { silent = on; }
    // Goes away once `n` more frames are fully written (-1 = never). Closing
    // the line drops what the program has not read yet, so the module sends
    // nothing more and waits up to LeaveDrainMs for the program to read them.
    void setGoAwayAfterFrames(int n);
    static constexpr int LeaveDrainMs = 500;

    // For tests and benchmarks.
    void writeRaw(const QByteArray &bytes);  // as they are, behind everything queued
    // `count` measurement frames as fast as the line takes them, then stop.
    void streamFrames(int count);
    QList<QByteArray> receivedCommands() const { return commands; }
    QByteArray receivedBytes() const { return received; }
    void clearReceived();
    quint64 framesWritten() const { return written; }
    qint64 queuedBytes() const { return writer.queuedBytes() + shaper.heldBytes(); }
    bool isStreaming() const { return streamTimer.isActive() || benchmarkLeft > 0 || lineRateActive; }

signals:
    void commandReceived(const QByteArray &frame);
    void closed();
    // Queued bytes went out: there may be room for more (see queuedBytes()).
    void lineProgressed();

private:
    struct PendingCommand {
        CommandFrame frame;
        qint64 dueMs;
    };

    void readCommands();
    void accept(const CommandFrame &frame);
    bool obeys(const CommandFrame &frame) const;
    void armAnswerTimer();
    void answerDueCommands();
    void handle(const CommandFrame &frame);
    void answer(quint8 code, const QByteArray &data = QByteArray());
    void answerMeasurement(quint8 commandCode);
    QByteArray nextMeasurementFrame();
    void startStreaming(quint8 commandCode);
    void stopStreaming();
    void streamTick();
    void restart();
    void refillBenchmark();
    void countWritten(int frames);
    void leaveWhenRead();
    void shutDown();
    void makeLink();
    void removeLink();

    PseudoTerminal pty;
    QSocketNotifier *readable = nullptr;
    LineWriter writer;
    FrameShaper shaper{&writer};
    CommandParser parser;
    MeasurementGenerator generator;
    ModuleSettings settings;
    QElapsedTimer poweredOn;
    QTimer streamTimer;
    QElapsedTimer streamClock;  // since streaming began (or its rate changed)
    quint64 streamed = 0;       // measurements due and taken since then
    QTimer answerTimer;
    QTimer leaveTimer;
    QElapsedTimer leaving;
    QQueue<PendingCommand> pending;
    QHash<quint8, QByteArray> answerData;
    std::optional<Reading> fixedReading;
    QString error;
    QString linkPath;
    QString linkTarget;

    QList<QByteArray> commands;
    QByteArray received;

    quint64 written = 0;
    quint64 goAwayAt = 0;
    bool goAwayArmed = false;
    int benchmarkLeft = 0;
    int answerDelayMs = 0;
    int rate = ModuleSettings::DefaultRateHz;
    quint16 distanceCounter = 0;
    quint16 sequence = 0;
    quint8 ownId = 1;
    quint8 streamCode = 0;
    bool counting = false;
    bool rs485 = false;
    bool extended = false;
    bool silent = false;
    bool measureAtPowerUp = false;
    bool lineRate = false;
    bool lineRateActive = false;
};

#endif // SIMULATEDMODULE_H
