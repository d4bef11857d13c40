// Information answers and the switching threshold through the window: each
// answer's lines reach the text log before its Ack, the coefficient answer
// replaces the log, a short answer shows only its Ack, and the threshold
// buttons send and show what they should.

#include "linkfixture.h"

#include <QLineEdit>
#include <QtTest>

namespace {
// Sends a typed command, as a tester asks for answers that have no button.
void ask(LinkFixture &link, const char *line)
{
    link.widget<QLineEdit>("lineEditCmd")->setText(QString::fromLatin1(line));
    link.click("pButtonCmd");
}
} // namespace

class DeviceTest : public QObject
{
    Q_OBJECT

private slots:
    void answersReachTheTextLog()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setHardwareVersion("A102");
        link.sim.setFirmwareVersion("B345");
        link.sim.setRangeValue(12000);
        link.click("hwButton");  // waits for its answer: shown when the click returns
        QCOMPARE(link.textLog(), (QStringList{"HARD: A-0.1.2", "Ack  8"}));
        link.click("swButton");
        ask(link, "e0");
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().size(), 6, 5000);
        QCOMPARE(link.textLog().mid(2), (QStringList{"SOFT:B-4.3.5", "Ack  e", "RANGE: 12000", "Ack e0"}));

        // Addressed: the ID goes on the line, the answer is shown the same way.
        link.sim.setRs485(true, 7);
        link.widget<QLineEdit>("lineEditID")->setText("7");
        link.click("checkBox_ID");
        link.click("pButtonClean");
        link.click("hwButton");
        QCOMPARE(link.received().value(link.received().size() - 1), hex("5607080059"));
        QCOMPARE(link.textLog(), (QStringList{"HARD: A-0.1.2", "Ack  8"}));
    }

    void coefficientAnswerReplacesTheLog()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().size(), 1, 5000);

        // A short answer clears nothing.
        link.sim.setAnswerData(0xD0, QByteArray(49, '\x31'));
        ask(link, "d0");
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().size(), 2, 5000);
        QCOMPARE(link.textLog().value(1), QStringLiteral("Ack d0"));

        link.sim.clearAnswerData(0xD0);
        link.sim.setCoefficients(coefficientData("TOF-123456", QVector<float>(10, 0.f)));
        ask(link, "d0");
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().value(0), QStringLiteral("TOF-123456"), 5000);
        QCOMPARE(link.textLog().size(), 6);
        QCOMPARE(link.textLog().value(5), QStringLiteral("Ack d0"));
    }

    void shortAnswersShowOnlyTheirAck()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        const QList<QPair<quint8, int>> shortAnswers{
            {0x08, 3}, {0x0E, 0}, {0xE0, 1}, {0x07, 1}, {0xA0, 17}, {0x03, 1}};
        QStringList expected;
        for (const auto &[code, length] : shortAnswers) {
            link.sim.setAnswerData(code, QByteArray(length, '\x31'));
            ask(link, qPrintable(QString::number(code, 16)));
            expected.append(QStringLiteral("Ack %1").arg(code, 2, 16, QLatin1Char(' ')));
            QTRY_COMPARE_WITH_TIMEOUT(link.textLog(), expected, 5000);
        }
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("0"));
    }

    void thresholdRoundTrip()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QLineEdit>("setThresholdValue")->setText("1000");
        link.click("SetThresholdValue");
        QCOMPARE(link.received().value(0), hex("56da04e803000063"));
        QCOMPARE(link.sim.threshold(), quint16(1000));
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("0"));  // a set does not read back
        link.click("GetThresholdValue");
        QCOMPARE(link.received().value(1), hex("56030055"));
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("1000"));
    }

    void thresholdMustBeSixteenBits_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"70000", "-1", "abc", "", "12.5"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void thresholdMustBeSixteenBits()
    {
        QFETCH(QString, text);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QLineEdit>("setThresholdValue")->setText(text);
        link.click("SetThresholdValue");
        QCOMPARE(link.closer.texts.size(), 1);
        QVERIFY(link.closer.texts.value(0).contains("0到65535"));
        QTest::qWait(30);
        QVERIFY(link.sim.receivedBytes().isEmpty());
    }
};

QTEST_MAIN(DeviceTest)
#include "tst_device.moc"
