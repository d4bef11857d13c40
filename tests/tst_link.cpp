// What each control sends through a real serial port, what the window shows
// of the answer by the time the click returns, and what it refuses to send.
// The link's own timing (answer wait, hold-back, unplug) is tst_modulelink's,
// the framing rules tst_framer's.

#include "linkfixture.h"

#include "decode/answers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

static QString sendLine(const QByteArray &frame)
{
    return QStringLiteral("Send:  ") + hexBytes(frame);
}

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void controlsSendAndShowTheAnswer_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("frame");
        // Continuous measurement (stopButton_2, startButton, stopButton) has no
        // addressed form: plain even with the ID on.
        // "control ID frame", "-": addressing off.
        for (const char *row :
             {"onceButton - 56010057", "onceButton_2 - 56020054", "onceButton_2 255 56ff0200ab",
              "stopButton_2 01 56050053", "startButton 01 56500006", "stopButton 01 56060050",
              "stopButton_5 01 5601fb00ac", "hwButton - 5608005e", "hwButton 01 560108005f", "swButton - 560e0058",
              "GetThresholdValue - 56030055", "SetThresholdValue - 56da04f40100007d", "sbIntegration - 562002a014c0",
              "sbIntegration 01 56012002a014c1"}) {
            const QStringList cells = QString::fromLatin1(row).split(' ');
            const QString id = cells[1] == "-" ? QString() : cells[1];
            QTest::addRow("%s", row) << cells[0] << id << QByteArray::fromHex(cells[2].toLatin1());
        }
    }
    void controlsSendAndShowTheAnswer()
    {
        QFETCH(QString, control);
        QFETCH(QString, id);
        QFETCH(QByteArray, frame);
        LinkFixture link;
        QVERIFY(link.openPort());
        // A module on a bus obeys only frames with its ID, so a plain frame
        // sent instead of an addressed one gets no answer.
        const bool addressed = !id.isEmpty() && quint8(frame.at(1)) == id.toUInt();
        link.sim.setRs485(addressed, quint8(id.toUInt()));
        // The text log's last line once the click returns: the reading, or the Ack.
        const quint8 code = quint8(frame.at(addressed ? 2 : 1));
        const QString answer = QByteArray::fromHex("01020550").contains(char(code))
            ? QStringLiteral("02676,03243,47,0103,1, ")
            : ackLine(code);
        link.sim.setFixedReading(SensorReading{2676, 3243, 47, 103, 1});
        link.sim.setThreshold(1234);
        link.widget<QLineEdit>("lineEditID")->setText(id);
        // Set without a click, so that no button is greyed out.
        link.widget<QCheckBox>("checkBox_ID")->setChecked(!id.isEmpty());
        control == "sbIntegration" ? link.widget<QSpinBox>("sbIntegration")->setValue(5280)
                                   : link.click(qPrintable(control));

        // No waiting here: a waiting send shows its answer before it returns.
        QCOMPARE(link.received(), QList<QByteArray>{frame});
        QCOMPARE(link.hexLog().size(), 2);
        QCOMPARE(link.hexLog().value(0), sendLine(frame));
        QCOMPARE(link.textLog().value(link.textLog().size() - 1), answer);
        QVERIFY(!link.widget<QSpinBox>("sbIntegration")->isReadOnly());
        QVERIFY(link.closer.texts.isEmpty());
        // The threshold is shown when asked for, not when set.
        QCOMPARE(link.text("Thresholdlabel"), QString(control == "GetThresholdValue" ? "1234" : "0"));
    }

    // Closed, every send warns, auto-send once per run however fast it ticks
    // and again in the next run; open, auto-send repeats until stopped.
    void closedPortWarnsAutoSendRepeats()
    {
        LinkFixture link;
        QVERIFY(link.sim.open());
        link.sim.setSilent(true);
        link.click("onceButton_2");
        link.widget<QSpinBox>("sbIntegration")->setValue(200);
        QCOMPARE(link.closer.texts, (QStringList{"请打开串口", "请打开串口"}));
        QVERIFY(!link.widget<QSpinBox>("sbIntegration")->isReadOnly());
        link.closer.keepOpenMs = 300;
        link.widget<QLineEdit>("lineEditCmd")->setText("31");
        link.widget<QSpinBox>("auto_time")->setValue(10);
        link.click("checkBox_autoSent");
        QTest::qWait(800);
        QCOMPARE(link.closer.texts.size(), 3);
        link.click("checkBox_autoSent");
        link.click("checkBox_autoSent");
        QTRY_COMPARE_WITH_TIMEOUT(link.closer.texts.size(), 4, 5000);
        link.click("checkBox_autoSent");
        QVERIFY(link.sim.receivedBytes().isEmpty());

        QVERIFY(link.openPort());
        link.click("checkBox_autoSent");
        QTRY_VERIFY_WITH_TIMEOUT(link.received().size() >= 3, 5000);
        link.click("checkBox_autoSent");
        const int sent = link.received().size();
        QTest::qWait(400);
        QCOMPARE(link.received().size(), sent);
    }

    // The adapter pulled while streaming with auto-send on, and put back:
    // the window reopens the port typed in the box (a link, as by-id links
    // are) and resumes, unless the user closed the port in the gap.
    void pulledAndPutBack_data()
    {
        QTest::addColumn<bool>("closedInGap");
        QTest::newRow("left open") << false;
        QTest::newRow("closed in the gap") << true;
    }
    void pulledAndPutBack()
    {
        QFETCH(bool, closedInGap);
        QTemporaryDir dir;
        const QString path = dir.filePath("ttyKorvani");
        LinkFixture link;
        QVERIFY(link.sim.open() && link.sim.createSymlink(path));
        auto *ports = link.widget<QComboBox>("serialBox");
        ports->setEditText(path);
        link.click("comFresh");
        QCOMPARE(ports->currentText(), path);
        link.click("pButtonOpen");
        QCOMPARE(link.text("serialMsg"), QStringLiteral("成功"));
        link.click("startButton");
        if (!closedInGap) {  // closed, auto-send would warn on every tick
            link.widget<QLineEdit>("lineEditCmd")->setText("31");
            link.widget<QSpinBox>("auto_time")->setValue(100);
            link.click("checkBox_autoSent");
        }
        QTRY_VERIFY_WITH_TIMEOUT(link.sim.isStreaming(), 5000);

        link.sim.goAway();
        QTRY_COMPARE_WITH_TIMEOUT(link.text("serialMsg"), QStringLiteral("失败"), 5000);
        if (closedInGap)
            link.click("pButtonClose");
        QTest::qWait(2 * Reconnector::PollMs);
        link.sim.clearReceived();
        QVERIFY(link.sim.open());  // freshly powered: quiet
        if (!closedInGap) {
            QTRY_COMPARE_WITH_TIMEOUT(link.text("serialMsg"), QStringLiteral("成功"), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(link.received().count(hex("56310067")) >= 2, 5000);
            QCOMPARE(link.received().value(0), hex("56500006"));
            QVERIFY(link.sim.isStreaming());
            const QString said = link.widget<QLabel>("serialMsg")->toolTip();
            QVERIFY2(said.contains("断开") && said.contains("重新连接"), qPrintable(said));
        } else {
            QTest::qWait(3 * Reconnector::PollMs + 300);
            QVERIFY(!link.window->moduleLink().isOpen());
            QCOMPARE(link.text("serialMsg"), QStringLiteral("关闭串口"));
            QVERIFY(link.received().isEmpty());
        }
        // The gap went by without a box or a line in the logs.
        QCOMPARE((link.textLog() + link.hexLog()).filter("断开"), QStringList());
        QCOMPARE(link.closer.texts, QStringList());
    }

    // An ID or a threshold out of range is refused with a message, and
    // nothing goes on the line; nor does a line of blanks. The typed line
    // goes out by the button and by Return, addressed when the ID is on. A
    // whole coefficient answer replaces the log; a short one shows only its Ack.
    void refusedInputsCommandLineAndCoefficients()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QCheckBox>("checkBox_ID")->setChecked(true);
        auto *edit = link.widget<QLineEdit>("lineEditCmd");
        edit->setText("02");
        for (const char *id : {"256", "abc", "-1", ""}) {
            link.widget<QLineEdit>("lineEditID")->setText(QString::fromLatin1(id));
            for (const char *button :
                 {"onceButton_2", "onceButton", "stopButton_5", "hwButton", "swButton", "pButtonCmd"})
                link.click(button);
            link.widget<QSpinBox>("sbIntegration")->stepUp();
        }
        QCOMPARE(link.closer.texts.filter("0到255").size(), 4 * 7);
        for (const char *threshold : {"70000", "-1", "12.5"}) {
            link.widget<QLineEdit>("setThresholdValue")->setText(QString::fromLatin1(threshold));
            link.click("SetThresholdValue");
        }
        QCOMPARE(link.closer.texts.filter("0到65535").size(), 3);
        link.widget<QLineEdit>("lineEditID")->setText("1");
        edit->setText("    ");
        link.click("pButtonCmd");
        edit->setText("d0");
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().size(), 1, 5000);
        const QString measured = link.textLog().value(0);
        link.sim.setAnswerData(0xD0, QByteArray(49, '\x31'));
        link.click("pButtonCmd");
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog(), (QStringList{measured, "Ack d0"}), 5000);
        link.sim.clearAnswerData(0xD0);
        link.sim.setCoefficients(coefficientData("TOF-123456", QVector<float>(10, 0.f)));
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().value(0), QStringLiteral("TOF-123456"), 5000);
        QCOMPARE(link.textLog().mid(5), QStringList{"Ack d0"});  // the name, four lines, the Ack
        const QByteArray frame = hex("5601d00087");
        QCOMPARE(link.received(), (QList<QByteArray>{frame, frame}));
        QCOMPARE(link.hexLog().filter("Send:"), (QStringList{sendLine(frame), sendLine(frame)}));
    }
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
