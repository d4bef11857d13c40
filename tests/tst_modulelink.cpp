// The module link on its own (no window): what a send returns, which port
// errors close the port, an unplug while a send waits or a stream runs, and a
// stray header byte that must not hold later frames back.

#include "portprobe.h"
#include "protocol/commands.h"
#include "serial/modulelink.h"
#include "sim/simulatedmodule.h"
#include "support/testframes.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

Q_DECLARE_METATYPE(ModuleLink::SendResult)
Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Line {
    SimulatedModule sim;
    ModuleLink link;
    QList<QByteArray> frames;

    Line()
    {
        QObject::connect(&link, &ModuleLink::framesReceived,
                         [this](const QVector<QByteArray> &f) { frames.append(f.toList()); });
    }
    bool open() { return sim.open() && link.open(sim.portName(), 115200); }
};
} // namespace

class ModuleLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void sendResults_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("wait");
        QTest::addColumn<ModuleLink::SendResult>("result");
        QTest::newRow("answered") << true << false << true << ModuleLink::SendResult::Answered;
        QTest::newRow("silent module") << true << true << true << ModuleLink::SendResult::TimedOut;
        QTest::newRow("no wait asked") << true << true << false << ModuleLink::SendResult::Sent;
        QTest::newRow("port closed") << false << false << true << ModuleLink::SendResult::NotOpen;
    }
    void sendResults()
    {
        QFETCH(bool, open);
        QFETCH(bool, silent);
        QFETCH(bool, wait);
        QFETCH(ModuleLink::SendResult, result);
        Line line;
        if (open)
            QVERIFY(line.open());
        line.sim.setSilent(silent);
        QSignalSpy sent(&line.link, &ModuleLink::frameSent);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(line.link.send(commandFrame(Command::HardwareVersion), wait), result);
        if (result == ModuleLink::SendResult::TimedOut)
            QVERIFY(clock.elapsed() >= ModuleLink::DefaultAnswerTimeoutMs);  // the module's full time
        if (result == ModuleLink::SendResult::Answered)
            QCOMPARE(line.frames.size(), 1);  // delivered before the send returns
        QCOMPARE(sent.size(), open ? 1 : 0);
    }

    // Pulling the adapter out shows as a resource error or a read error,
    // depending on the system; either must close the port, or the error
    // repeats on every turn of the event loop. Other errors leave it open.
    void portErrors_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("closes");
        QTest::newRow("resource") << QSerialPort::ResourceError << true;
        QTest::newRow("read") << QSerialPort::ReadError << true;
        QTest::newRow("write") << QSerialPort::WriteError << false;
        QTest::newRow("timeout") << QSerialPort::TimeoutError << false;
    }
    void portErrors()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, closes);
        Line line;
        QVERIFY(line.open());
        QSignalSpy lost(&line.link, &ModuleLink::portLost);
        emit line.link.port().errorOccurred(error);
        QCOMPARE(line.link.isOpen(), !closes);
        QCOMPARE(lost.size(), closes ? 1 : 0);
    }

    void unplugWhileWaitingOrStreaming_data()
    {
        QTest::addColumn<bool>("streaming");
        QTest::newRow("a send waits") << false;
        QTest::newRow("a stream runs") << true;
    }
    void unplugWhileWaitingOrStreaming()
    {
        QFETCH(bool, streaming);
        Line line;
        QVERIFY(line.open());
        QSignalSpy lost(&line.link, &ModuleLink::portLost);
        line.link.setAnswerTimeout(10000);
        if (streaming) {
            line.sim.setRateHz(100);
            QCOMPARE(line.link.send(commandFrame(Command::Continuous), true),
                     ModuleLink::SendResult::Answered);
            QTRY_VERIFY_WITH_TIMEOUT(line.frames.size() > 10, 5000);
            QTimer::singleShot(0, &line.sim, &SimulatedModule::goAway);
        } else {
            line.sim.setSilent(true);
            QTimer::singleShot(50, &line.sim, &SimulatedModule::goAway);
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(line.link.send(commandFrame(Command::HardwareVersion), true),
                     ModuleLink::SendResult::PortLost);
            QVERIFY(clock.elapsed() < 5000);  // not the 10 s time-out
        }
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
        QVERIFY(!line.link.isOpen());
        // Closed, the port no longer wakes the program up.
        const double cpu = cpuSeconds();
        QTest::qWait(1000);
        QVERIFY2(cpuSeconds() - cpu < 0.3, qPrintable(QString::number(cpuSeconds() - cpu)));
        QCOMPARE(lost.size(), 1);
        QCOMPARE(line.link.send(commandFrame(Command::Stop), true), ModuleLink::SendResult::NotOpen);
    }

    // A stray header byte (noise, or what is left of a cut frame) must not
    // hold the answer behind it back until enough bytes have come to fill
    // the length it seems to announce, nor survive a reopen of the port.
    void strayHeaderDoesNotHoldAnswersBack_data()
    {
        QTest::addColumn<QByteArray>("stray");
        QTest::addColumn<bool>("reopen");
        QTest::newRow("89") << hex("89") << false;
        QTest::newRow("89 55 f0") << hex("89 55 f0") << false;
        QTest::newRow("89 81, then reopened") << hex("89 81") << true;
    }
    void strayHeaderDoesNotHoldAnswersBack()
    {
        QFETCH(QByteArray, stray);
        QFETCH(bool, reopen);
        Line line;
        QVERIFY(line.open());
        line.sim.setHardwareVersion("A102");
        line.sim.writeRaw(stray);
        QTRY_VERIFY_WITH_TIMEOUT(line.link.framer().hasPartial(), 5000);
        if (reopen) {
            line.link.close();
            QVERIFY(line.link.open(line.sim.portName(), 115200));
            QVERIFY(!line.link.framer().hasPartial());
        } else {
            QTest::qWait(10);  // the answer follows the stray bytes closely
        }
        // The answer arrives within the send's own wait.
        QCOMPARE(line.link.send(commandFrame(Command::HardwareVersion), true),
                 ModuleLink::SendResult::Answered);
        QCOMPARE(line.frames.value(0), responseFrame(0x08, "A102"));
        // A measurement right behind is not held back either.
        line.sim.writeRaw(stray + fixedLengthFrame(0x81, hex("74 0A AB 0C 2F 67 00 01")));
        QTRY_COMPARE_WITH_TIMEOUT(line.frames.size(), 2, 5000);
    }
};

QTEST_GUILESS_MAIN(ModuleLinkTest)
#include "tst_modulelink.moc"
