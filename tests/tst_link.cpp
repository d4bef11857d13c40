// What each control sends through a real serial port, what the window shows
// of the answer by the time the click returns, and what it refuses to send.
// The link's own timing (answer wait, hold-back, unplug) is tst_modulelink's,
// the framing rules tst_framer's.

#include "linkfixture.h"

#include "chart/chartform.h"
#include "decode/answers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QSpinBox>
#include <QtTest>

static QString sendLine(const QByteArray &frame) { return QStringLiteral("Send:  ") + hexBytes(frame); }

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void controlsSendAndShowTheAnswer_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("id");  // empty: addressing off
        QTest::addColumn<QByteArray>("frame");
        for (auto [control, id, frame] : {std::tuple{"onceButton", "", "56010057"}, {"onceButton_2", "", "56020054"}, {"onceButton_2", "255", "56ff0200ab"},
                                          // Continuous measurement has no addressed form: plain even with the ID on.
                                          {"stopButton_2", "01", "56050053"}, {"startButton", "01", "56500006"}, {"stopButton", "01", "56060050"},
                                          {"stopButton_5", "01", "5601fb00ac"}, {"hwButton", "", "5608005e"}, {"hwButton", "01", "560108005f"},
                                          {"swButton", "", "560e0058"}, {"GetThresholdValue", "", "56030055"}, {"SetThresholdValue", "", "56da04f40100007d"},
                                          {"sbIntegration", "", "562002a014c0"}, {"sbIntegration", "01", "56012002a014c1"}})
            QTest::addRow("%s%s%s", control, *id ? " id " : "", id) << QString(control) << QString(id) << hex(frame);
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
        const QString answer = QByteArray::fromHex("01020550").contains(char(code)) ? QStringLiteral("02676,03243,47,0103,1, ") : ackLine(code);
        link.sim.setFixedReading(SensorReading{2676, 3243, 47, 103, 1});
        link.widget<QLineEdit>("lineEditID")->setText(id);
        // Set without a click, so that no button is greyed out.
        link.widget<QCheckBox>("checkBox_ID")->setChecked(!id.isEmpty());
        control == "sbIntegration" ? link.widget<QSpinBox>("sbIntegration")->setValue(5280) : link.click(qPrintable(control));

        // No waiting here: a waiting send shows its answer before it returns.
        QCOMPARE(link.received(), QList<QByteArray>{frame});
        QCOMPARE(link.hexLog().size(), 2);
        QCOMPARE(link.hexLog().value(0), sendLine(frame));
        QCOMPARE(link.textLog().value(link.textLog().size() - 1), answer);
        QVERIFY(!link.widget<QSpinBox>("sbIntegration")->isReadOnly());
        QVERIFY(link.closer.texts.isEmpty());
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
        QCOMPARE(link.closer.maxOpenAtOnce, 1);
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
        QTRY_COMPARE_WITH_TIMEOUT(link.hexLog().size(), sent, 5000);
        QVERIFY(link.widget<QWidget>("pButtonCmd")->isEnabled());
    }

    // The adapter pulled while streaming with auto-send on, and put back:
    // the window reopens the port typed in the box (a link, as by-id links
    // are) and resumes, unless the user closed the port before or in the gap.
    void pulledAndPutBack_data()
    {
        QTest::addColumn<QString>("closed");  // when the user closes the port
        QTest::newRow("not closed") << "";
        QTest::newRow("before the pull") << "before";
        QTest::newRow("in the gap") << "gap";
    }
    void pulledAndPutBack()
    {
        QFETCH(QString, closed);
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
        const bool resumes = closed.isEmpty();
        if (resumes) {
            link.widget<QLineEdit>("lineEditCmd")->setText("31");
            link.widget<QSpinBox>("auto_time")->setValue(100);
            link.click("checkBox_autoSent");
        } else if (closed == "before") {
            link.click("pButtonClose");
        }
        QTRY_VERIFY_WITH_TIMEOUT(link.sim.isStreaming(), 5000);

        link.sim.goAway();
        if (closed != "before")
            QTRY_COMPARE_WITH_TIMEOUT(link.text("serialMsg"), QStringLiteral("失败"), 5000);
        if (closed == "gap")
            link.click("pButtonClose");
        QTest::qWait(2 * Reconnector::PollMs);
        const QStringList text = link.textLog(), hexLines = link.hexLog();
        link.sim.clearReceived();
        QVERIFY(link.sim.open());  // freshly powered: quiet
        if (resumes) {
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
        QCOMPARE(link.textLog().mid(0, text.size()), text);
        QCOMPARE(link.hexLog().mid(0, hexLines.size()), hexLines);
        QCOMPARE((link.textLog() + link.hexLog()).filter("断开"), QStringList());
        QCOMPARE(link.closer.texts, QStringList());
    }

    void deviceIdMustBeAByte()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("checkBox_ID");
        link.widget<QLineEdit>("lineEditCmd")->setText("02");
        for (const char *id : {"256", "abc", "-1", ""}) {
            link.widget<QLineEdit>("lineEditID")->setText(QString::fromLatin1(id));
            for (const char *button : {"onceButton_2", "onceButton", "stopButton_5", "hwButton", "swButton", "pButtonCmd"})
                link.click(button);
            link.widget<QSpinBox>("sbIntegration")->stepUp();
        }
        QCOMPARE(link.closer.texts.filter("0到255").size(), 4 * 7);
        QTest::qWait(100);
        QVERIFY(link.sim.receivedBytes().isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("frame");  // empty: nothing is sent
        QTest::newRow("threshold") << "da e8 03 00 00" << hex("56da04e803000063");
        QTest::newRow("threshold id 1") << "da e8 03 00 00" << hex("5601da04e803000062");
        QTest::newRow("blanks only") << "    " << QByteArray();
    }
    void commandLine()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, frame);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setSilent(true);
        link.widget<QCheckBox>("checkBox_ID")->setChecked(frame.startsWith(hex("5601"))); // the ID field's own 1
        auto *edit = link.widget<QLineEdit>("lineEditCmd");
        edit->setText(line);
        link.click("pButtonCmd");
        QTest::keyClick(edit, Qt::Key_Return);
        const QList<QByteArray> sent = frame.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{frame, frame};
        QTRY_COMPARE_WITH_TIMEOUT(link.received(), sent, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(link.hexLog(), (frame.isEmpty() ? QStringList() : QStringList{sendLine(frame), sendLine(frame)}), 5000);
        QTest::qWait(150);  // and nothing more
        QCOMPARE(link.received(), sent);
    }

    void everyIntactFrameThroughAFaultyLine()
    {
        // Every fault at once: frames cut into pieces and joined in threes,
        // noise with 0x89 bytes in front of each, every 2nd check byte wrong.
        // Distances count 0, 1, 2 ..., so the chart must show exactly the
        // even ones, in order.
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("chartcheckBox");
        link.sim.setSeed(11);
        link.sim.setCountingDistance(true);
        link.sim.setSplitFrames(true);
        link.sim.setJoinFrames(3);
        link.sim.setGarbage(true);
        link.sim.setCorruptChecks(true, 2);
        // 600 frames and a few more behind, as the last ones may wait for what follows them.
        link.sim.streamFrames(612);
        QTRY_VERIFY_WITH_TIMEOUT(link.chart->sampleCount(0) >= 300, 30000);
        QTest::qWait(300);
        for (int i = 0; i < link.chart->sampleCount(0); ++i)
            QCOMPARE(link.chart->sample(0, i), quint16(2 * i));
    }
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
