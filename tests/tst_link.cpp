// Talking to the module through a real serial port: what each control sends,
// how sends wait for answers, and how received bytes become frames.

#include "linkfixture.h"

#include "protocol/frame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTextEdit>
#include <QtTest>

#include <sys/resource.h>

namespace {

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString sendLine(const QByteArray &frame)
{
    return QStringLiteral("Send:  ") + hexBytes(frame);
}

QString receivedLine(const QByteArray &frame)
{
    return QStringLiteral("Received:  ") + hexBytes(frame);
}

} // namespace

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void buildingTheWindowSendsNothing()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        QTest::qWait(50);
        QVERIFY(link.sim.receivedBytes().isEmpty());
        QVERIFY(link.hexLog().isEmpty());
        QVERIFY(link.textLog().isEmpty());
    }

    void buttonsSendTheirFrames_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("addressed");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("onceButton") << "onceButton" << false << "01" << hex("56010057");
        QTest::newRow("onceButton id 1") << "onceButton" << true << "01" << hex("5601010056");
        QTest::newRow("onceButton_2") << "onceButton_2" << false << "01" << hex("56020054");
        QTest::newRow("onceButton_2 id 1") << "onceButton_2" << true << "01" << hex("5601020055");
        QTest::newRow("onceButton_2 id 255") << "onceButton_2" << true << "255" << hex("56ff0200ab");
        QTest::newRow("stopButton_2") << "stopButton_2" << false << "01" << hex("56050053");
        QTest::newRow("startButton") << "startButton" << false << "01" << hex("56500006");
        QTest::newRow("stopButton") << "stopButton" << false << "01" << hex("56060050");
        QTest::newRow("stopButton_5") << "stopButton_5" << false << "01" << hex("56fb00ad");
        QTest::newRow("stopButton_5 id 1") << "stopButton_5" << true << "01" << hex("5601fb00ac");
        QTest::newRow("hwButton") << "hwButton" << false << "01" << hex("5608005e");
        QTest::newRow("hwButton id 1") << "hwButton" << true << "01" << hex("560108005f");
        QTest::newRow("swButton") << "swButton" << false << "01" << hex("560e0058");
        QTest::newRow("swButton id 1") << "swButton" << true << "01" << hex("56010e0059");
        QTest::newRow("GetThresholdValue") << "GetThresholdValue" << false << "01" << hex("56030055");
        QTest::newRow("SetThresholdValue") << "SetThresholdValue" << false << "01"
                                           << hex("56da04f40100007d");
    }

    void buttonsSendTheirFrames()
    {
        QFETCH(QString, button);
        QFETCH(bool, addressed);
        QFETCH(QString, id);
        QFETCH(QByteArray, frame);

        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setRs485(addressed, quint8(id.toUInt()));
        link.widget<QLineEdit>("lineEditID")->setText(id);
        if (addressed)
            link.click("checkBox_ID");
        // Buttons without an addressed form are greyed out while ID is on.
        if (!link.widget<QWidget>(qPrintable(button))->isEnabled())
            link.click("checkBox_ID");
        link.click(qPrintable(button));

        QTRY_COMPARE(link.received().size(), 1);
        QCOMPARE(link.received().first(), frame);
        QCOMPARE(link.hexLog().first(), sendLine(frame));
        QVERIFY(link.closer.texts.isEmpty());
    }

    void continuousButtonsStayPlainWithId()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QCheckBox>("checkBox_ID")->setChecked(true);  // no click: buttons stay enabled
        link.click("startButton");
        link.click("stopButton");
        link.click("stopButton_2");
        QTRY_COMPARE(link.received().size(), 3);
        QCOMPARE(link.received(), (QList<QByteArray>{hex("56500006"), hex("56060050"), hex("56050053")}));
    }

    void integrationTimeSends()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        auto *spin = link.widget<QSpinBox>("sbIntegration");
        bool readOnlyWhileSending = false;
        QObject::connect(&link.sim, &SimulatedModule::commandReceived, [&] {
            readOnlyWhileSending = spin->isReadOnly();
        });

        spin->setValue(5280);
        QTRY_COMPARE(link.received().size(), 1);
        QCOMPARE(link.received().last(), hex("562002a014c0"));
        QVERIFY(readOnlyWhileSending);
        QVERIFY(!spin->isReadOnly());

        spin->setValue(100);
        QTRY_COMPARE(link.received().size(), 2);
        QCOMPARE(link.received().last(), hex("5620026400" "10"));

        link.sim.setRs485(true, 1);
        link.click("checkBox_ID");
        spin->setValue(110);
        spin->setValue(100);
        QTRY_COMPARE(link.received().size(), 4);
        QCOMPARE(link.received().last(), hex("560120026400" "11"));
    }

    void closedPortWarns()
    {
        LinkFixture link;
        QVERIFY(link.sim.open());
        link.click("onceButton_2");
        QCOMPARE(link.closer.titles, QStringList{"warning"});
        QCOMPARE(link.closer.texts, QStringList{"请打开串口"});
        QVERIFY(link.hexLog().isEmpty());

        // The spin box is editable again after the refused send.
        auto *spin = link.widget<QSpinBox>("sbIntegration");
        spin->setValue(200);
        QCOMPARE(link.closer.texts.size(), 2);
        QVERIFY(!spin->isReadOnly());
        QTest::qWait(30);
        QVERIFY(link.sim.receivedBytes().isEmpty());

        // Clearing and resetting need no port.
        link.click("pButtonClean");
        link.click("tempReset");
        QCOMPARE(link.closer.texts.size(), 2);
    }

    void sendsWaitForTheAnswer()
    {
        LinkFixture link;
        QVERIFY(link.openPort());

        // No answer at all: the send returns after the 100 ms answer wait, silently.
        link.sim.setSilent(true);
        QElapsedTimer clock;
        clock.start();
        link.click("hwButton");
        const qint64 waited = clock.elapsed();
        QVERIFY2(waited >= 95, qPrintable(QString::number(waited)));
        QVERIFY2(waited < 1000, qPrintable(QString::number(waited)));
        QVERIFY(link.closer.texts.isEmpty());

        // Answered: the answer is shown before the click returns.
        link.sim.setSilent(false);
        link.sim.setHardwareVersion("A102");
        link.click("hwButton");
        QCOMPARE(link.textLog().mid(link.textLog().size() - 2),
                 (QStringList{"HARD: A-0.1.2", "Ack  8"}));
    }

    void secondSendIsHeldBack()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setSilent(true);
        QElapsedTimer clock;
        QVector<qint64> arrivals;
        QObject::connect(&link.sim, &SimulatedModule::commandReceived,
                         [&] { arrivals.append(clock.elapsed()); });
        clock.start();
        // The second click arrives while the first one waits for its answer.
        // Timed on the window's side, as each frame is logged and written: the
        // module shares the event loop, so it may read the first frame late.
        QVector<qint64> sent;
        auto *hexLog = link.widget<QTextEdit>("HEXBrowser");
        QObject::connect(hexLog, &QTextEdit::textChanged, [&] {
            const int sends = hexLog->toPlainText().count(QStringLiteral("Send:"));
            while (sent.size() < sends)
                sent.append(clock.elapsed());
        });
        QTimer::singleShot(20, [&] { link.click("swButton"); });
        link.click("hwButton");
        QTRY_COMPARE(arrivals.size(), 2);
        QCOMPARE(link.received(), (QList<QByteArray>{hex("5608005e"), hex("560e0058")}));
        QCOMPARE(sent.size(), 2);
        QVERIFY2(sent[1] - sent[0] >= 90, qPrintable(QString("%1 %2").arg(sent[0]).arg(sent[1])));
        QObject::disconnect(hexLog, nullptr, nullptr, nullptr);

        // With an answer the second frame goes out right after it, not after 100 ms.
        link.sim.setSilent(false);
        arrivals.clear();
        clock.restart();
        QTimer::singleShot(5, [&] { link.click("swButton"); });
        link.click("hwButton");
        QTRY_COMPARE(arrivals.size(), 2);
        QVERIFY2(arrivals[1] - arrivals[0] < 90,
                 qPrintable(QString("%1 %2").arg(arrivals[0]).arg(arrivals[1])));
        QVERIFY(link.textLog().contains("Ack  e"));
    }

    void streamedFrameEndsTheWait()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setSilent(true);
        QTimer::singleShot(30, [&] { link.sim.writeRaw(measurementFrame(1234)); });
        QElapsedTimer clock;
        clock.start();
        link.click("hwButton");
        QVERIFY2(clock.elapsed() < 90, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(link.text("label_DIST"), QStringLiteral("1234"));
    }

    void framing_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("frames");
        const QByteArray a = measurementFrame(2676);
        const QByteArray b = measurementFrame(7);
        const QByteArray ack = responseFrame(0x55, QByteArray());
        QByteArray bad = measurementFrame(99);
        bad[10] = char(bad[10] ^ 0x01);
        QByteArray stray = hex("8930f0");
        QByteArray longFrame = responseFrame(0x77, QByteArray(255, '\x5a'));

        QTest::newRow("split 4+7") << QList<QByteArray>{a.left(4), a.mid(4)} << QList<QByteArray>{a};
        QTest::newRow("two in one read") << QList<QByteArray>{a + b} << QList<QByteArray>{a, b};
        QTest::newRow("garbage in front") << QList<QByteArray>{hex("0102ff") + a} << QList<QByteArray>{a};
        QTest::newRow("read starting mid-frame") << QList<QByteArray>{a.mid(5) + b} << QList<QByteArray>{b};
        QTest::newRow("bad check") << QList<QByteArray>{bad + a} << QList<QByteArray>{a};
        QTest::newRow("four-byte answer") << QList<QByteArray>{ack} << QList<QByteArray>{ack};
        QTest::newRow("259-byte frame") << QList<QByteArray>{longFrame.left(100), longFrame.mid(100)}
                                        << QList<QByteArray>{longFrame};
        // A stray header with a large length must not swallow what follows.
        QList<QByteArray> many;
        QList<QByteArray> expected;
        for (int i = 0; i < 30; ++i) {
            many << measurementFrame(quint16(1000 + i));
            expected << many.last();
        }
        QTest::newRow("stray 0x89 with large length") << (QList<QByteArray>{stray} + many) << expected;
    }

    void framing()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, frames);
        LinkFixture link;
        QVERIFY(link.openPort());
        for (const QByteArray &chunk : chunks) {
            link.sim.writeRaw(chunk);
            QTest::qWait(15);  // separate reads
        }
        QStringList expected;
        for (const QByteArray &f : frames)
            expected << receivedLine(f);
        QTRY_COMPARE(link.hexLog(), expected);
    }

    void ackLines_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("ack");
        QTest::newRow("03") << responseFrame(0x03, hex("e803")) << "Ack  3";
        QTest::newRow("0e") << responseFrame(0x0E, QByteArray("A102")) << "Ack  e";
        QTest::newRow("a0") << responseFrame(0xA0, QByteArray(18, '\0')) << "Ack a0";
        QTest::newRow("55") << responseFrame(0x55, QByteArray()) << "Ack 55";
    }

    void ackLines()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, ack);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(frame);
        QTRY_VERIFY(!link.textLog().isEmpty());
        QCOMPARE(link.textLog().last(), ack);
        QCOMPARE(link.hexLog(), QStringList{receivedLine(frame)});
    }

    void measurementFramesGetNoAck()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1500));
        QTRY_COMPARE(link.hexLog().size(), 1);
        QVERIFY(!link.textLog().join('\n').contains("Ack"));
    }

    void unpluggedPortIsClosedWithoutSpinning()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.goAway();
        QTRY_COMPARE(link.text("serialMsg"), QStringLiteral("失败"));

        const double before = processCpuSeconds();
        QTest::qWait(1000);
        const double used = processCpuSeconds() - before;
        QVERIFY2(used < 0.3, qPrintable(QString("CPU %1 s in 1 s").arg(used)));

        link.click("onceButton_2");
        QCOMPARE(link.closer.texts, QStringList{"请打开串口"});
    }

    void openTwiceHandlesFramesOnce()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("pButtonOpen");
        QCOMPARE(link.text("serialMsg"), QStringLiteral("成功"));
        link.sim.writeRaw(responseFrame(0x55, QByteArray()));
        QTRY_COMPARE(link.textLog().size(), 1);
        QTest::qWait(30);
        QCOMPARE(link.textLog(), QStringList{"Ack 55"});

        link.click("pButtonClose");
        QCOMPARE(link.text("serialMsg"), QStringLiteral("关闭串口"));
        link.click("pButtonClose");
        QCOMPARE(link.text("serialMsg"), QStringLiteral("关闭串口"));
        link.sim.writeRaw(responseFrame(0x56, QByteArray()));
        QTest::qWait(50);
        QCOMPARE(link.textLog(), QStringList{"Ack 55"});
    }

    void portList()
    {
        LinkFixture link;
        auto *ports = link.widget<QComboBox>("serialBox");
        QStringList present;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            present << info.portName();
        const auto listed = [&] {
            QStringList names;
            for (int i = 0; i < ports->count(); ++i)
                names << ports->itemText(i);
            return names;
        };
        QCOMPARE(listed(), present);
        ports->addItem("stale");
        link.click("comFresh");
        link.click("comFresh");
        QCOMPARE(listed(), present);

        // Opening with nothing listed changes nothing.
        ports->clear();
        link.click("pButtonOpen");
        QCOMPARE(link.text("serialMsg"), QStringLiteral("串口状态"));

        ports->addItem("/dev/korvani-no-such-port");
        link.click("pButtonOpen");
        QCOMPARE(link.text("serialMsg"), QStringLiteral("失败"));
    }

    void deviceIdMustBeAByte_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("300") << "300";
        QTest::newRow("abc") << "abc";
        QTest::newRow("-1") << "-1";
        QTest::newRow("empty") << "";
    }

    void deviceIdMustBeAByte()
    {
        QFETCH(QString, id);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QLineEdit>("lineEditID")->setText(id);
        link.click("checkBox_ID");
        for (const char *button : {"onceButton_2", "onceButton", "stopButton_5", "hwButton", "swButton"})
            link.click(button);
        link.widget<QLineEdit>("lineEditCmd")->setText("02");
        link.click("pButtonCmd");
        link.widget<QSpinBox>("sbIntegration")->setValue(300);

        QCOMPARE(link.closer.texts.size(), 7);
        for (const QString &text : link.closer.texts)
            QVERIFY2(text.contains("0到255"), qPrintable(text));
        QTest::qWait(30);
        QVERIFY(link.sim.receivedBytes().isEmpty());
        QVERIFY(link.hexLog().isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("addressed");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("02") << "02" << false << hex("56020054");
        QTest::newRow("31") << "31" << false << hex("56310067");
        QTest::newRow("blanks around") << "  02   " << false << hex("56020054");
        QTest::newRow("threshold") << "da e8 03 00 00" << false << hex("56da04e803000063");
        QTest::newRow("threshold id 1") << "da e8 03 00 00" << true << hex("5601da04e803000062");
        QTest::newRow("low byte of 1FF") << "1FF" << false << hex("56ff00a9");
        QTest::newRow("empty") << "" << false << QByteArray();
        QTest::newRow("blanks only") << "    " << false << QByteArray();
        QTest::newRow("not hex") << "0g" << false << QByteArray();
        QTest::newRow("41 tokens") << ("01" + QString(" 00").repeated(40)) << false << QByteArray();
    }

    void commandLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, addressed);
        QFETCH(QByteArray, frame);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setSilent(true);
        if (addressed)
            link.click("checkBox_ID");
        auto *edit = link.widget<QLineEdit>("lineEditCmd");
        edit->setText(line);
        link.click("pButtonCmd");
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::qWait(50);
        if (frame.isEmpty()) {
            QVERIFY(link.sim.receivedBytes().isEmpty());
            QVERIFY(link.hexLog().isEmpty());
        } else {
            QCOMPARE(link.received(), (QList<QByteArray>{frame, frame}));
            QCOMPARE(link.hexLog(), (QStringList{sendLine(frame), sendLine(frame)}));
            QCOMPARE(edit->text(), line);
        }
        QVERIFY(link.closer.texts.isEmpty());
    }

    void autoSendRepeats()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setSilent(true);
        link.widget<QLineEdit>("lineEditCmd")->setText("31");
        link.click("checkBox_autoSent");
        QTest::qWait(1050);
        link.click("checkBox_autoSent");
        const int sent = link.hexLog().size();
        QVERIFY2(sent >= 7 && sent <= 12, qPrintable(QString::number(sent)));
        QTest::qWait(250);
        QCOMPARE(link.hexLog().size(), sent);
        QVERIFY(link.widget<QWidget>("pButtonCmd")->isEnabled());
    }

    void autoSendOnClosedPortWarnsOnce()
    {
        LinkFixture link;
        link.closer.keepOpenMs = 300;
        link.widget<QLineEdit>("lineEditCmd")->setText("02");
        link.widget<QSpinBox>("auto_time")->setValue(10);
        link.click("checkBox_autoSent");
        QTest::qWait(800);
        QCOMPARE(link.closer.maxOpenAtOnce, 1);
        QCOMPARE(link.closer.texts, QStringList{"请打开串口"});

        // Switching auto-send on again warns again.
        link.click("checkBox_autoSent");
        link.click("checkBox_autoSent");
        QTest::qWait(100);
        QCOMPARE(link.closer.texts.size(), 2);
        link.click("checkBox_autoSent");
    }
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
