// The simulated module seen from the program's side: a real QSerialPort on
// the pseudo-terminal and the real event loop.

#include "support/portprobe.h"

#include "protocol/commands.h"
#include "sim/measurementgenerator.h"
#include "sim/simulatedmodule.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>

namespace {
const SimulatedModule::Reading ExampleReading{2676, 3243, 47, 103, 1};
const QByteArray ExampleFrame = hex("89 81 74 0A AB 0C 2F 67 00 01 98");

quint16 word(const QByteArray &frame, int index)
{
    return quint16(quint8(frame[index]) | (quint8(frame[index + 1]) << 8));
}

float floatAt(const QByteArray &bytes, int index)
{
    const quint32 raw = quint32(word(bytes, index)) | (quint32(word(bytes, index + 2)) << 16);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

// Lets the event loop run for `ms`, so that anything that would still
// arrive has arrived.
void settle(int ms)
{
    QTest::qWait(ms);
}
}

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void singleMeasurement();
    void realisticReadings();
    void continuousMeasurement();
    void restart();
    void informationAnswers();
    void threshold();
    void rs485Addressing();
    void commandStreamParsing();
    void answerDataOverride();
    void splitFrames();
    void joinFrames();
    void garbageBetweenFrames();
    void corruptChecks();
    void answerDelay();
    void silent();
    void goAway();
    void goAwayWaitsUntilItsBytesHaveLeft();
    void programClosesAndReopensItsPort();
    void writeRawPassesThroughInOrder();
    void streamFramesThroughSlowReader();
    void streamingDoesNotPileUpBehindStalledReader();
    void symlink();
    void commandLine();

private:
    QVector<QByteArray> frames() const { return scanResponses(probe->bytes).frames; }
    // Sends `command` and waits for `count` more checked frames.
    QVector<QByteArray> ask(const QByteArray &command, int count = 1);

    SimulatedModule *module = nullptr;
    PortProbe *probe = nullptr;
};

void TestSimulator::init()
{
    module = new SimulatedModule(this);
    QVERIFY2(module->open(), qPrintable(module->errorString()));
    QVERIFY(module->isOpen());
    probe = new PortProbe(this);
    QVERIFY2(probe->open(module->portName()), qPrintable(probe->port.errorString()));
    module->setFixedReading(ExampleReading);
}

void TestSimulator::cleanup()
{
    delete probe;
    probe = nullptr;
    delete module;
    module = nullptr;
}

QVector<QByteArray> TestSimulator::ask(const QByteArray &command, int count)
{
    const int before = frames().size();
    if (!probe->send(command))
        return {};
    if (!QTest::qWaitFor([&] { return frames().size() >= before + count; }, 3000))
        qWarning("no answer to %s", command.toHex(' ').constData());
    return frames().mid(before);
}

void TestSimulator::singleMeasurement()
{
    // Both single measurements, plain and addressed, give the fixed reading.
    QCOMPARE(ask(commandFrame(Command::SingleFixed)), QVector<QByteArray>{ExampleFrame});
    QCOMPARE(ask(commandFrame(Command::Single)), QVector<QByteArray>{ExampleFrame});
    QCOMPARE(ask(commandFrame(Command::Single, {}, 1)), QVector<QByteArray>{ExampleFrame});

    module->setExtendedMode(true);
    const QVector<QByteArray> extended = ask(commandFrame(Command::Single));
    QCOMPARE(extended.size(), 1);
    const QByteArray &frame = extended.first();
    QCOMPARE(frame.size(), 33);
    QCOMPARE(quint8(frame[1]), quint8(0x82));
    QCOMPARE(word(frame, 4), quint16(2676));   // word 2: distance
    QCOMPARE(word(frame, 6), quint16(3243));   // word 3: amplitude
    QCOMPARE(word(frame, 8), quint16(103));    // word 4: ambient
    QCOMPARE(qint16(word(frame, 12)), qint16(47)); // word 6: temperature
    QCOMPARE(word(frame, 14), quint16(1));     // word 7: DAC

    // One command, one answer: nothing else follows.
    settle(100);
    QCOMPARE(frames().size(), 4);
    QVERIFY(scanResponses(probe->bytes).isClean());
}

void TestSimulator::realisticReadings()
{
    MeasurementGenerator generator(7);
    generator.setReferenceDistance(1500);
    QVector<int> distances;
    QVector<int> steps;
    int outliers = 0;
    int previous = -1;
    const int samples = 20000;
    for (int i = 0; i < samples; ++i) {
        // Ten minutes at about 33 Hz.
        const SensorReading reading = generator.next(qint64(i) * 30);
        const int distance = reading.distance;
        distances.append(distance);
        if (qAbs(distance - 1500) > 100)
            ++outliers;
        else if (previous >= 0 && qAbs(previous - 1500) <= 100)
            steps.append(distance - previous);
        previous = distance;
        QVERIFY2(reading.temperature >= 28 && reading.temperature <= 46,
                 qPrintable(QString::number(reading.temperature)));
        QVERIFY(reading.amplitude > 500 && reading.amplitude < 10000);
        QVERIFY(reading.ambient > 50 && reading.ambient < 200);
        QVERIFY(reading.dac >= 1 && reading.dac <= 3);
    }
    std::sort(distances.begin(), distances.end());
    QVERIFY(qAbs(distances[samples / 2] - 1500) <= 10);
    // Drift of tens of millimetres, and not more.
    QVERIFY(distances[samples / 100] < 1490 && distances[samples / 100] > 1460);
    QVERIFY(distances[samples - samples / 100] > 1510 && distances[samples - samples / 100] < 1540);
    // A few millimetres of noise from one measurement to the next.
    double squares = 0;
    for (int step : steps)
        squares += double(step) * step;
    const double stepDeviation = std::sqrt(squares / steps.size());
    QVERIFY2(stepDeviation > 2.0 && stepDeviation < 8.0, qPrintable(QString::number(stepDeviation)));
    // Now and then an outlier.
    QVERIFY2(outliers >= samples / 1000 && outliers <= samples / 70, qPrintable(QString::number(outliers)));

    // The same seed gives the same readings, another seed others.
    MeasurementGenerator again(7), other(8);
    MeasurementGenerator first(7);
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        const SensorReading a = first.next(i * 10);
        const SensorReading b = again.next(i * 10);
        const SensorReading c = other.next(i * 10);
        QCOMPARE(a.distance, b.distance);
        QCOMPARE(a.amplitude, b.amplitude);
        differs = differs || a.distance != c.distance;
    }
    QVERIFY(differs);

    // Through the line: the reference distance, a nearer target is brighter.
    module->setFixedReading(std::nullopt);
    module->setReferenceDistance(2500);
    QVector<QByteArray> far;
    for (int i = 0; i < 5; ++i)
        far += ask(commandFrame(Command::Single));
    module->setReferenceDistance(800);
    QVector<QByteArray> near;
    for (int i = 0; i < 5; ++i)
        near += ask(commandFrame(Command::Single));
    const auto median = [](QVector<QByteArray> answers, int index) {
        std::sort(answers.begin(), answers.end(), [index](const QByteArray &a, const QByteArray &b) {
            return word(a, index) < word(b, index);
        });
        return int(word(answers[2], index));
    };
    QVERIFY(qAbs(median(far, 2) - 2500) < 60);
    QVERIFY(qAbs(median(near, 2) - 800) < 60);
    QVERIFY(median(near, 4) > median(far, 4));
}

void TestSimulator::continuousMeasurement()
{
    QCOMPARE(ask(commandFrame(Command::Rate100Hz)), QVector<QByteArray>{hex("89 34 00 bd")});
    QCOMPARE(module->rateHz(), 100);

    const int before = frames().size();
    probe->send(commandFrame(Command::ContinuousFixed));
    QTRY_VERIFY(frames().size() > before);
    QVERIFY(module->isStreaming());
    settle(500);
    const int streamed = frames().size() - before;
    QVERIFY2(streamed >= 25 && streamed <= 80, qPrintable(QString::number(streamed)));
    for (const QByteArray &frame : frames().mid(before))
        QCOMPARE(frame, ExampleFrame);

    // Stop is acknowledged; after the acknowledgement nothing more comes.
    probe->send(commandFrame(Command::Stop));
    QTRY_VERIFY(frames().contains(hex("89 06 00 8f")));
    QVERIFY(!module->isStreaming());
    const int stopped = frames().size();
    settle(200);
    QCOMPARE(frames().size(), stopped);
    QCOMPARE(frames().last(), hex("89 06 00 8f"));

    // 0x50 at 10 Hz; its first frame answers at once.
    ask(commandFrame(Command::Rate10Hz));
    const int slow = frames().size();
    QElapsedTimer clock;
    clock.start();
    probe->send(commandFrame(Command::Continuous));
    QTRY_VERIFY(frames().size() > slow);
    QVERIFY(clock.elapsed() < 100);
    settle(500);
    const int slowCount = frames().size() - slow;
    QVERIFY2(slowCount >= 3 && slowCount <= 10, qPrintable(QString::number(slowCount)));
    ask(commandFrame(Command::Stop));
    QVERIFY(!module->isStreaming());
}

void TestSimulator::restart()
{
    ask(commandFrame(Command::Rate10Hz));
    probe->send(commandFrame(Command::Continuous));
    QTRY_VERIFY(module->isStreaming());

    // Acknowledged first, then the module starts over: no stream, 50 Hz.
    probe->send(commandFrame(Command::Restart));
    QTRY_VERIFY(frames().contains(hex("89 fb 00 72")));
    QVERIFY(!module->isStreaming());
    QCOMPARE(module->rateHz(), 50);

    // Measuring at power-up switched on by its command: streaming resumes after a restart.
    ask(hex("56 61 00 37"));
    probe->send(commandFrame(Command::Restart));
    QTRY_VERIFY(module->isStreaming());
    ask(commandFrame(Command::Stop));
    QVERIFY(!module->isStreaming());
}

void TestSimulator::informationAnswers()
{
    QVERIFY(module->setHardwareVersion("X9Y8"));
    QVERIFY(!module->setHardwareVersion("TOOLONG"));
    QCOMPARE(ask(commandFrame(Command::HardwareVersion)), QVector<QByteArray>{hex("89 08 04 58 39 59 38 85")});
    QCOMPARE(ask(commandFrame(Command::HardwareVersion, {}, 2)).first().mid(3, 4), QByteArray("X9Y8"));

    const QByteArray firmware = ask(commandFrame(Command::FirmwareVersion)).first();
    QCOMPARE(quint8(firmware[1]), quint8(0x0E));
    QCOMPARE(firmware.size(), 8);

    module->setRangeValue(12000);
    QCOMPARE(word(ask(commandFrame(Command::Range)).first(), 3), quint16(12000));

    // Integration time: set, acknowledged with the value held, read back.
    QCOMPARE(ask(commandFrame(Command::SetIntegration, integrationTimeData(250))),
             QVector<QByteArray>{hex("89 20 02 fa 00 51")});
    QCOMPARE(module->integrationValue(), quint16(250));
    QCOMPARE(ask(commandFrame(Command::ReadIntegration)), QVector<QByteArray>{hex("89 07 02 fa 00 76")});

    const QByteArray configuration = ask(commandFrame(Command::Configuration)).first();
    QCOMPARE(configuration.size(), 22);
    QCOMPARE(quint8(configuration[2]), quint8(18));
    QCOMPARE(word(configuration, 3) & 0x0F, 0x07);  // POW_ON, TEMP_ON, AMB_ON
    QByteArray ownConfiguration(18, '\x01');
    QVERIFY(module->setConfiguration(ownConfiguration));
    QVERIFY(!module->setConfiguration(QByteArray(17, '\0')));
    QCOMPARE(ask(commandFrame(Command::Configuration)).first().mid(3, 18), ownConfiguration);

    const QByteArray coefficients = ask(commandFrame(Command::Coefficients)).first();
    QCOMPARE(coefficients.size(), 54);
    QCOMPARE(coefficients.mid(3, 10), QByteArray("TOF-L8\0\0\0\0", 10));
    QCOMPARE(floatAt(coefficients, 13 + 4), 0.85f);
    QVERIFY(!module->setCoefficients(QByteArray(49, '\0')));

    // Commands it does not take get no answer.
    const int answered = frames().size();
    probe->send(hex("56 71 00 27"));
    probe->send(commandFrame(0x55));
    settle(150);
    QCOMPARE(frames().size(), answered);
    QCOMPARE(module->receivedCommands().size(), 11);
}

void TestSimulator::threshold()
{
    QCOMPARE(ask(commandFrame(Command::GetThreshold)), QVector<QByteArray>{hex("89 03 02 f4 01 7d")});

    QCOMPARE(ask(commandFrame(Command::SetThreshold, thresholdData(1000))),
             QVector<QByteArray>{hex("89 da 02 e8 03 ba")});
    QCOMPARE(module->threshold(), quint16(1000));
    QCOMPARE(word(ask(commandFrame(Command::GetThreshold)).first(), 3), quint16(1000));

    // Too short to carry a threshold: ignored.
    const int answered = frames().size();
    probe->send(commandFrame(Command::SetThreshold, hex("07")));
    settle(150);
    QCOMPARE(frames().size(), answered);
    QCOMPARE(module->threshold(), quint16(1000));

    module->setThreshold(42);
    QCOMPARE(word(ask(commandFrame(Command::GetThreshold)).first(), 3), quint16(42));
}

void TestSimulator::rs485Addressing()
{
    module->setRs485(true, 3);
    QVERIFY(module->isRs485());
    probe->send(commandFrame(Command::Single));
    probe->send(commandFrame(Command::Single, {}, 5));
    settle(150);
    QCOMPARE(frames().size(), 0);
    QCOMPARE(ask(commandFrame(Command::Single, {}, 3)), QVector<QByteArray>{ExampleFrame});
    QCOMPARE(module->receivedCommands(),
             (QList<QByteArray>{hex("56 02 00 54"), hex("56 05 02 00 51"), hex("56 03 02 00 57")}));

    // Alone on the line, it answers plain frames and any ID.
    module->setRs485(false);
    QCOMPARE(ask(commandFrame(Command::Single)), QVector<QByteArray>{ExampleFrame});
    QCOMPARE(ask(commandFrame(Command::Single, {}, 9)), QVector<QByteArray>{ExampleFrame});
}

void TestSimulator::commandStreamParsing()
{
    const QByteArray plain = commandFrame(Command::HardwareVersion);
    const QByteArray addressed = commandFrame(Command::FirmwareVersion, {}, 1);
    const QByteArray withData = commandFrame(Command::SetThreshold, thresholdData(700));

    // Several in one write, in order.
    const QVector<QByteArray> answers = ask(plain + addressed + withData, 3);
    QCOMPARE(quint8(answers[0][1]), quint8(0x08));
    QCOMPARE(quint8(answers[1][1]), quint8(0x0E));
    QCOMPARE(quint8(answers[2][1]), quint8(0xDA));
    QCOMPARE(module->threshold(), quint16(700));

    // One frame across two writes.
    const QByteArray get = commandFrame(Command::GetThreshold);
    probe->send(get.left(2));
    settle(30);
    QCOMPARE(word(ask(get.mid(2)).first(), 3), quint16(700));

    // Noise in front, a frame with a wrong check byte, and a stray header
    // with a long length: none of it holds up the frame behind it.
    ask(hex("00 13 ff") + plain);
    probe->send(hex("56 02 00 55"));
    settle(30);
    ask(plain);
    probe->send(hex("56 03 f0"));
    settle(30);
    ask(plain);

    // A plain frame that also starts like a short addressed one (56 DA 04 00 88
    // checks as ID DA, code 04) is still the threshold command.
    ask(commandFrame(Command::SetThreshold, thresholdData(0x8800)));
    QCOMPARE(module->threshold(), quint16(0x8800));

    QCOMPARE(module->receivedCommands(),
             (QList<QByteArray>{plain, addressed, withData, get, plain, plain, plain,
                                commandFrame(Command::SetThreshold, thresholdData(0x8800))}));
    QVERIFY(module->receivedBytes().contains(hex("56 02 00 55")));
    QCOMPARE(frames().size(), 8);

    module->clearReceived();
    QVERIFY(module->receivedCommands().isEmpty());
    QVERIFY(module->receivedBytes().isEmpty());
}

void TestSimulator::answerDataOverride()
{
    module->setAnswerData(Command::HardwareVersion, "A1");
    QCOMPARE(ask(commandFrame(Command::HardwareVersion)), QVector<QByteArray>{hex("89 08 02 41 31 f3")});

    // A short measurement frame: the payload replaced, no length byte.
    module->setAnswerData(Command::Single, hex("74 0a 00"));
    probe->send(commandFrame(Command::Single));
    QTRY_COMPARE(probe->bytes.right(6), hex("89 81 74 0a 00 76"));

    // An unknown command answered when told to, and silent again after.
    module->setAnswerData(0x55, QByteArray());
    QCOMPARE(ask(commandFrame(0x55)), QVector<QByteArray>{hex("89 55 00 dc")});
    module->clearAnswerData(0x55);
    module->clearAnswerData(Command::HardwareVersion);
    const int before = frames().size();
    probe->send(commandFrame(0x55));
    settle(150);
    QCOMPARE(frames().size(), before);
    QCOMPARE(ask(commandFrame(Command::HardwareVersion)).first().size(), 8);
}

void TestSimulator::splitFrames()
{
    module->setSplitFrames(true);
    const int count = 10;
    for (int i = 0; i < count; ++i)
        ask(commandFrame(Command::Single));
    QCOMPARE(frames().size(), count);
    QVERIFY(scanResponses(probe->bytes).isClean());
    for (const QByteArray &frame : frames())
        QCOMPARE(frame, ExampleFrame);
    // Each frame went out in pieces: the port saw more reads than frames.
    QVERIFY2(probe->reads.size() >= count + count / 2, qPrintable(QString::number(probe->reads.size())));
    for (const QByteArray &read : probe->reads)
        QVERIFY(read.size() < ExampleFrame.size());
}

void TestSimulator::joinFrames()
{
    module->setJoinFrames(3);
    ask(commandFrame(Command::Rate100Hz));  // a lone answer goes out after the hold time
    probe->clear();
    probe->send(commandFrame(Command::Continuous));
    QTRY_VERIFY(frames().size() >= 12);
    probe->send(commandFrame(Command::Stop));
    QTRY_VERIFY(!module->isStreaming());
    settle(FrameShaper::HoldLimitMs + 50);

    // The stream arrived three frames to a read.
    int joined = 0;
    for (const QByteArray &read : probe->reads) {
        if (read.size() == 3 * ExampleFrame.size() && scanResponses(read).frames.size() == 3)
            ++joined;
    }
    QVERIFY2(joined >= 3, qPrintable(QString::number(joined)));
    QVERIFY(scanResponses(probe->bytes).isClean());

    // A group that does not fill up is held, then goes out on its own.
    probe->clear();
    QElapsedTimer clock;
    clock.start();
    probe->send(commandFrame(Command::Single));
    QTRY_COMPARE(frames().size(), 1);
    QVERIFY(clock.elapsed() >= FrameShaper::HoldLimitMs - 20);

    // Raw bytes never overtake a held frame.
    probe->clear();
    const int commandsBefore = module->receivedCommands().size();
    probe->send(commandFrame(Command::Single));
    QTRY_COMPARE(module->receivedCommands().size(), commandsBefore + 1);
    settle(30);
    module->writeRaw(hex("01 02"));
    QTRY_COMPARE(probe->bytes, ExampleFrame + hex("01 02"));
}

void TestSimulator::garbageBetweenFrames()
{
    module->setGarbage(true);
    const int answers = 10;
    for (int i = 0; i < answers; ++i)
        ask(commandFrame(Command::Single));
    QTRY_COMPARE(probe->bytes.count(ExampleFrame), answers);
    // Each frame intact behind one to six noise bytes, 0x89 among them.
    int pos = 0;
    QByteArray noise;
    for (int i = 0; i < answers; ++i) {
        const int at = probe->bytes.indexOf(ExampleFrame, pos);
        QVERIFY(at - pos >= 1 && at - pos <= FrameShaper::MaxGarbageBytes);
        noise += probe->bytes.mid(pos, at - pos);
        pos = at + ExampleFrame.size();
    }
    QCOMPARE(pos, probe->bytes.size());
    QVERIFY(noise.contains(char(0x89)));
}

void TestSimulator::corruptChecks()
{
    module->setCorruptChecks(true);
    probe->send(commandFrame(Command::Single));
    probe->send(commandFrame(Command::HardwareVersion));
    QTRY_COMPARE(probe->bytes.size(), 11 + 8);
    ResponseScan scan = scanResponses(probe->bytes);
    QCOMPARE(scan.frames.size(), 0);
    QCOMPARE(scan.failedChecks, 2);
    QCOMPARE(probe->bytes.left(10), ExampleFrame.left(10));

    // Every third frame only.
    probe->clear();
    module->setCorruptChecks(true, 3);
    for (int i = 0; i < 6; ++i)
        probe->send(commandFrame(Command::Single));
    QTRY_COMPARE(probe->bytes.size(), 6 * 11);
    scan = scanResponses(probe->bytes);
    QCOMPARE(scan.frames.size(), 4);
    QCOMPARE(scan.failedChecks, 2);

    module->setCorruptChecks(false);
    probe->clear();
    QCOMPARE(ask(commandFrame(Command::Single)), QVector<QByteArray>{ExampleFrame});
}

void TestSimulator::answerDelay()
{
    module->setAnswerDelayMs(150);
    QElapsedTimer clock;
    clock.start();
    probe->send(commandFrame(Command::HardwareVersion) + commandFrame(Command::FirmwareVersion));
    QTRY_VERIFY(!probe->bytes.isEmpty());
    QVERIFY(clock.elapsed() >= 150);
    QTRY_COMPARE(frames().size(), 2);
    QCOMPARE(quint8(frames()[0][1]), quint8(0x08));
    QCOMPARE(quint8(frames()[1][1]), quint8(0x0E));

    module->setAnswerDelayMs(0);
    clock.restart();
    ask(commandFrame(Command::Single));
    QVERIFY(clock.elapsed() < 150);
}

void TestSimulator::silent()
{
    module->setSilent(true);
    probe->send(commandFrame(Command::Single));
    probe->send(commandFrame(Command::Continuous));
    settle(300);
    QVERIFY(probe->bytes.isEmpty());
    QCOMPARE(module->receivedCommands().size(), 2);
    QVERIFY(!module->isStreaming());

    module->setSilent(false);
    QCOMPARE(ask(commandFrame(Command::Single)), QVector<QByteArray>{ExampleFrame});
}

void TestSimulator::goAway()
{
    QSignalSpy closed(module, &SimulatedModule::closed);
    const QString path = module->portName();
    module->setGoAwayAfterFrames(3);
    ask(commandFrame(Command::Rate100Hz));  // frame 1
    probe->send(commandFrame(Command::Continuous));
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!module->isOpen());
    QVERIFY(!module->isStreaming());
    QCOMPARE(module->framesWritten(), quint64(3));

    // The program sees the frames written before, then its port fails.
    QTRY_VERIFY(!probe->errors.isEmpty());
    QCOMPARE(probe->errors.first(), QSerialPort::ResourceError);
    QCOMPARE(frames().size(), 3);
    probe->close();
    PortProbe late;
    QVERIFY(!late.open(path));

    // Plugged in again: a new line that works; goAway() itself closes it.
    QVERIFY(module->open());
    PortProbe again;
    QVERIFY(again.open(module->portName()));
    again.send(commandFrame(Command::Single));
    QTRY_COMPARE(again.bytes, ExampleFrame);
    module->goAway();
    QCOMPARE(closed.count(), 2);
    QTRY_VERIFY(!again.errors.isEmpty());
    module->goAway();
    QCOMPARE(closed.count(), 2);
}

void TestSimulator::goAwayWaitsUntilItsBytesHaveLeft()
{
    // Going away drops what the program has not read: the module must wait
    // until its last frame has left, also when the line was full and the
    // kernel still holds bytes on their way.
    for (int run = 0; run < 20; ++run) {
        SimulatedModule sim;
        QVERIFY2(sim.open(), qPrintable(sim.errorString()));
        PortProbe reader;
        QVERIFY(reader.open(sim.portName()));
        sim.setCountingDistance(true);
        // A few frames, also cut into pieces, or enough to overfill the line.
        const int frames = run % 3 == 2 ? 600 : 3;
        sim.setSplitFrames(run % 3 == 1);
        sim.setGoAwayAfterFrames(frames);
        sim.streamFrames(frames + 50);
        QTRY_VERIFY_WITH_TIMEOUT(!sim.isOpen(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!reader.errors.isEmpty(), 5000);
        const ResponseScan scan = scanResponses(reader.bytes);
        QVERIFY2(scan.frames.size() == frames,
                 qPrintable(QStringLiteral("run %1: %2 of %3 frames").arg(run).arg(scan.frames.size()).arg(frames)));
        QCOMPARE(word(scan.frames.last(), 2), quint16(frames - 1));
    }
}

void TestSimulator::programClosesAndReopensItsPort()
{
    for (const qint32 baud : {qint32(QSerialPort::Baud9600), qint32(921600), qint32(QSerialPort::Baud115200)}) {
        probe->close();
        // With the program's port closed the module must not spin on its line.
        const std::clock_t cpuBefore = std::clock();
        settle(300);
        const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 100, qPrintable(QString::number(cpuMs)));
        QVERIFY(module->isOpen());

        QVERIFY(probe->open(module->portName(), baud));
        probe->clear();
        QCOMPARE(ask(commandFrame(Command::Single)), QVector<QByteArray>{ExampleFrame});
    }
    // Raw and without echo: the module gets exactly what was written, and
    // its own frames never come back to it.
    QCOMPARE(module->receivedBytes(), commandFrame(Command::Single).repeated(3));
}

void TestSimulator::writeRawPassesThroughInOrder()
{
    QByteArray pattern(200000, '\0');
    for (int i = 0; i < pattern.size(); ++i)
        pattern[i] = char((i * 7 + i / 251) & 0xFF);

    probe->pause();
    module->writeRaw(pattern);
    settle(200);
    QVERIFY(module->queuedBytes() > 0);  // the line is full: the rest waits
    probe->resume();
    QTRY_COMPARE(probe->bytes.size(), pattern.size());
    QVERIFY(probe->bytes == pattern);
    QCOMPARE(module->queuedBytes(), 0);
}

void TestSimulator::streamFramesThroughSlowReader()
{
    module->setFixedReading(std::nullopt);
    const int count = 10000;

    // At full speed.
    module->setCountingDistance(true);
    QElapsedTimer clock;
    clock.start();
    module->streamFrames(count);
    QVERIFY(module->isStreaming());
    QTRY_VERIFY_WITH_TIMEOUT(probe->bytes.size() >= count * 11, 30000);
    const qint64 fullSpeedMs = clock.elapsed();
    QVERIFY(!module->isStreaming());
    ResponseScan scan = scanResponses(probe->bytes);
    QVERIFY(scan.isClean());
    QCOMPARE(scan.frames.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(word(scan.frames[i], 2), quint16(i));
    qInfo("%d frames at full speed in %lld ms (%.0f frames/s)", count, fullSpeedMs,
          count * 1000.0 / qMax<qint64>(1, fullSpeedMs));

    // Behind a reader that stops: the module waits for the line instead of
    // dropping, and everything arrives in order once reading resumes.
    probe->clear();
    module->setCountingDistance(true);
    probe->pause();
    module->streamFrames(count);
    settle(300);
    QVERIFY(module->framesWritten() < quint64(2 * count));
    QVERIFY(module->isStreaming());
    probe->resume();
    QTRY_VERIFY_WITH_TIMEOUT(probe->bytes.size() >= count * 11, 30000);
    scan = scanResponses(probe->bytes);
    QVERIFY(scan.isClean());
    QCOMPARE(scan.frames.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(word(scan.frames[i], 2), quint16(i));
    QCOMPARE(module->framesWritten(), quint64(2 * count));
}

void TestSimulator::streamingDoesNotPileUpBehindStalledReader()
{
    probe->pause();
    module->writeRaw(QByteArray(256 * 1024, '\0'));
    settle(100);
    const qint64 backlog = module->queuedBytes();
    QVERIFY(backlog > SimulatedModule::StreamBacklogLimit);

    probe->send(commandFrame(Command::Rate100Hz) + commandFrame(Command::Continuous));
    QTRY_VERIFY(module->isStreaming());
    settle(300);
    QVERIFY2(module->queuedBytes() <= backlog + 4, qPrintable(QString::number(module->queuedBytes())));
    probe->send(commandFrame(Command::Stop));
    QTRY_VERIFY(!module->isStreaming());
}

void TestSimulator::symlink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyTOF"));

    // An old link there is replaced.
    probe->close();  // one reader on the line
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link));
    QVERIFY2(module->createSymlink(link), qPrintable(module->errorString()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), module->portName());
    PortProbe viaLink;
    QVERIFY(viaLink.open(link));
    viaLink.send(commandFrame(Command::Single));
    QTRY_COMPARE(viaLink.bytes, ExampleFrame);

    // A file that is not a link is left alone.
    const QString file = dir.filePath(QStringLiteral("notes"));
    {
        QFile notes(file);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("keep");
    }
    QVERIFY(!module->createSymlink(file));
    QFile notes(file);
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("keep"));

    // Gone with the module, back with it.
    QVERIFY(module->createSymlink(link));
    module->goAway();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(module->open());
    QCOMPARE(QFileInfo(link).symLinkTarget(), module->portName());
    delete module;
    module = nullptr;
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimulator::commandLine()
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/korvani-sim");
    QVERIFY2(QFileInfo::exists(program), qPrintable(program));
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("tof"));

    QProcess sim;
    sim.start(program, {QStringLiteral("--distance"), QStringLiteral("2500"), QStringLiteral("--rs485"),
                        QStringLiteral("7"), QStringLiteral("--link"), link});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY(sim.canReadLine());
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY(path.startsWith(QStringLiteral("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);

    PortProbe cli;
    QVERIFY(cli.open(link));
    cli.send(commandFrame(Command::Single));
    settle(150);
    QVERIFY(cli.bytes.isEmpty());  // plain frame, RS485 module
    cli.send(commandFrame(Command::Single, {}, 7));
    QTRY_COMPARE(scanResponses(cli.bytes).frames.size(), 1);
    QVERIFY(qAbs(int(word(cli.bytes, 2)) - 2500) < 1000);

    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());

    // Bad options are refused.
    QProcess refused;
    refused.start(program, {QStringLiteral("--rate"), QStringLiteral("33")});
    QVERIFY(refused.waitForFinished(5000));
    QCOMPARE(refused.exitCode(), 2);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
