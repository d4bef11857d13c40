// The module link on its own (no window): the one answer wait (what ends it,
// a send started inside it, the port lost under it as the module goes away),
// which port errors close the port, and a stray header byte that must not
// hold later frames back.

#include "protocol/commands.h"
#include "serial/modulelink.h"
#include "sim/simulatedmodule.h"
#include "support/testframes.h"

#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

Q_DECLARE_METATYPE(QSerialPort::SerialPortError)
Q_DECLARE_METATYPE(ModuleLink::SendResult)

namespace {
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// "nothing", "any", "whole" (the whole time-out), or codes in hex.
Expect expectation(const QString &text)
{
    if (text == "nothing")
        return Expect::nothing();
    if (text == "any")
        return Expect::anyFrame();
    if (text == "whole")
        return Expect::wholeTimeout();
    QVector<quint8> codes;
    for (const QString &c : text.split(' '))
        codes << quint8(c.toUInt(nullptr, 16));
    return Expect::codes(codes);
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
}  // namespace

class ModuleLinkTest : public QObject
{
    Q_OBJECT

private slots:
    // The one answer wait. A silent module plays a script once the frame is
    // out: a streamed measurement after 30 ms, the hardware version answer
    // after 80 ms. Rows say what the send expects, what ends its wait, which
    // frame it returns and how many frames were delivered by then.
    void answerWait_data()
    {
        QTest::addColumn<QString>("expect");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("during");  // "", "send" (a second send), "unplug"
        QTest::addColumn<ModuleLink::SendResult>("result");
        QTest::addColumn<int>("answerCode");  // of the frame returned; -1: none
        QTest::addColumn<int>("delivered");   // frames delivered when the send returns
        using R = ModuleLink::SendResult;
        QTest::newRow("no wait") << "nothing" << 5000 << "" << R::Sent << -1 << 0;
        QTest::newRow("any frame: the measurement") << "any" << 5000 << "" << R::Answered << 0x81 << 1;
        QTest::newRow("one of two codes: past the measurement") << "0e 08" << 5000 << "" << R::Answered << 0x08 << 2;
        QTest::newRow("time-out: the code never comes") << "0e" << 1000 << "" << R::TimedOut << -1 << 2;
        QTest::newRow("whole time-out gathers all") << "whole" << 1000 << "" << R::TimedOut << -1 << 2;
        // A second send (expecting 0x0e, answered 30 ms after it goes out) started
        // 10 ms into the wait: held back until 0x08 has come, and the first send
        // returns after it, with its own answer.
        QTest::newRow("re-entrant send while waiting") << "08" << 5000 << "send" << R::Answered << 0x08 << 3;
        QTest::newRow("port lost while waiting") << "08" << 5000 << "unplug" << R::PortLost << -1 << 1;
    }
    void answerWait()
    {
        QFETCH(QString, expect);
        QFETCH(int, timeoutMs);
        QFETCH(QString, during);
        QFETCH(ModuleLink::SendResult, result);
        QFETCH(int, answerCode);
        Line line;
        QVERIFY(line.open());
        line.sim.setSilent(true);
        line.link.setAnswerTimeout(timeoutMs);
        const QByteArray measurement = fixedLengthFrame(0x81, hex("74 0A AB 0C 2F 67 00 01"));
        const QByteArray version = responseFrame(0x08, "A102");
        const QByteArray firmware = responseFrame(0x0E, "B-1.2.5");
        const QByteArray inner = commandFrame(Command::FirmwareVersion);

        ModuleLink::Reply innerReply;
        int deliveredBeforeInner = -1;
        connect(&line.link, &ModuleLink::frameSent, this, [&](const QByteArray &f) {
            if (f == inner) {
                deliveredBeforeInner = line.frames.size();
                QTimer::singleShot(30, &line.sim, [&] { line.sim.writeRaw(firmware); });
                return;
            }
            QTimer::singleShot(30, &line.sim, [&] { line.sim.writeRaw(measurement); });
            QTimer::singleShot(80, &line.sim, [&] { line.sim.writeRaw(version); });
            if (during == "send")
                QTimer::singleShot(10, &line.sim, [&] { innerReply = line.link.send(inner, Expect::code(0x0E)); });
            else if (during == "unplug")
                QTimer::singleShot(50, &line.sim, &SimulatedModule::goAway);
        });

        QElapsedTimer clock;
        clock.start();
        const ModuleLink::Reply reply = line.link.send(commandFrame(Command::HardwareVersion), expectation(expect));
        QCOMPARE(reply.result, result);
        QCOMPARE(reply.frame, answerCode < 0 ? QByteArray() : answerCode == 0x81 ? measurement : version);
        QTEST(int(line.frames.size()), "delivered");
        QVERIFY(!line.link.isWaiting());
        QCOMPARE(clock.elapsed() >= timeoutMs, result == ModuleLink::SendResult::TimedOut);
        if (during == "send") {
            QCOMPARE(innerReply.result, ModuleLink::SendResult::Answered);
            QCOMPARE(innerReply.frame, firmware);
            QCOMPARE(deliveredBeforeInner, 2);  // written only once 0x08 had come
            QCOMPARE(line.frames.value(2), firmware);
        }
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
    }
    void portErrors()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, closes);
        Line line;
        QVERIFY(line.open());
        QSignalSpy lost(&line.link, &ModuleLink::portLost), sent(&line.link, &ModuleLink::frameSent);
        line.link.setAnswerTimeout(10000);
        emit line.link.port().errorOccurred(error);
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), closes ? 1 : 0, 5000);
        QCOMPARE(line.link.isOpen(), !closes);
        // Closed, the port no longer wakes the program up.
        const double cpu = cpuSeconds();
        QTest::qWait(1000);
        QVERIFY2(cpuSeconds() - cpu < 0.3, qPrintable(QString::number(cpuSeconds() - cpu)));
        QCOMPARE(lost.size(), closes ? 1 : 0);
        if (!closes)
            return;
        QCOMPARE(line.link.send(commandFrame(Command::Stop), Expect::anyFrame()).result,
                 ModuleLink::SendResult::NotOpen);
        QCOMPARE(sent.size(), 0);  // nothing on a closed port
    }

    // A stray header byte (noise, or what is left of a cut frame) must not
    // hold the answer behind it back until enough bytes have come to fill
    // the length it seems to announce, nor survive a reopen of the port.
    void strayHeaderDoesNotHoldAnswersBack_data()
    {
        QTest::addColumn<QByteArray>("stray");
        QTest::addColumn<bool>("reopen");
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
            QVERIFY(line.link.open(line.sim.portName(), 115200) && !line.link.framer().hasPartial());
        }
        // The answer follows the stray bytes closely and arrives within the
        // send's own wait, delivered before the send returns.
        QTest::qWait(10);
        QCOMPARE(line.link.send(commandFrame(Command::HardwareVersion), Expect::anyFrame()).result,
                 ModuleLink::SendResult::Answered);
        QCOMPARE(line.frames.value(0), responseFrame(0x08, "A102"));
        // A measurement right behind is not held back either.
        line.sim.writeRaw(stray + fixedLengthFrame(0x81, hex("74 0A AB 0C 2F 67 00 01")));
        QTRY_COMPARE_WITH_TIMEOUT(line.frames.size(), 2, 5000);
    }
};

QTEST_GUILESS_MAIN(ModuleLinkTest)
#include "tst_modulelink.moc"
