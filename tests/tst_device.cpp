// Version, configuration and coefficient answers, and the switching threshold,
// through the serial port and the simulated module.

#include "linkfixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

#include <cstring>

namespace {

QByteArray le16(qint32 v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
    return b;
}

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
    void versions()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setHardwareVersion("A102");
        link.sim.setFirmwareVersion("B345");
        link.click("hwButton");
        link.click("swButton");
        QCOMPARE(link.textLog(), (QStringList{"HARD: A-0.1.2", "Ack  8", "SOFT:B-4.3.5", "Ack  e"}));

        // Control characters are shown as the characters they are.
        link.sim.setHardwareVersion(hex("01020304"));
        link.click("pButtonClean");
        link.click("hwButton");
        const QString expected = QStringLiteral("HARD: ") + QChar(1) + QLatin1Char('-') + QChar(3)
                               + QLatin1Char('.') + QChar(2) + QLatin1Char('.') + QChar(4);
        QCOMPARE(link.textLog().first(), expected);
    }

    void addressedVersionQueries()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setRs485(true, 7);
        link.sim.setHardwareVersion("A102");
        link.widget<QLineEdit>("lineEditID")->setText("7");
        link.click("checkBox_ID");
        link.click("hwButton");
        QCOMPARE(link.received().last(), hex("5607080059"));
        QCOMPARE(link.textLog().first(), QStringLiteral("HARD: A-0.1.2"));
    }

    void rangeAndIntegration()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.setRangeValue(12000);
        link.sim.setIntegrationValue(250);
        ask(link, "e0");
        QTRY_COMPARE(link.textLog().size(), 2);
        ask(link, "07");
        QTRY_COMPARE(link.textLog().size(), 4);
        QCOMPARE(link.textLog(), (QStringList{"RANGE: 12000", "Ack e0", "Integration: 250", "Ack  7"}));
    }

    void configuration()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        QByteArray data = le16(0x0005) + le16(-1) + le16(-300) + le16(65535);
        for (qint32 t : {1, -2, 300, -32768, 32767})
            data += le16(t);
        link.sim.setConfiguration(data);
        ask(link, "a0");
        QTRY_COMPARE(link.textLog().size(), 9);
        QCOMPARE(link.textLog(), (QStringList{"POW_ON:1", "TEMP_ON:0", "AMB_ON:1", "UNIT:0",
                                              "CURRENT_OFF:-1", "DIST_OFF:-300", "AMB_COF:65535",
                                              "TEMP_COF:[1][-2][300][-32768][32767]", "Ack a0"}));
    }

    void coefficients()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE(link.textLog().size(), 1);

        link.sim.setCoefficients(coefficientData("AB", {0.5f, -1.25f, 3, 4, 5, 6, 0.001f, 1e7f, 1, 0}));
        ask(link, "d0");
        QTRY_COMPARE(link.textLog().size(), 6);
        QCOMPARE(link.textLog(), (QStringList{"AB", "温度[大]: y = 0.0.5x^2 + -1.25x + 3",
                                              "温度[小]: y = 0.4x^2 + 5x + 6", "环境: y = 0.001x + 1e+07",
                                              "线性: y = 1x + 0", "Ack d0"}));

        link.sim.setCoefficients(coefficientData("TOF-123456", QVector<float>(10, 0.f)));
        ask(link, "d0");
        QTRY_COMPARE(link.textLog().first(), QStringLiteral("TOF-123456"));
        QCOMPARE(link.textLog().size(), 6);
    }

    void shortAnswersShowNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<quint8>("code");
        QTest::addColumn<int>("length");
        QTest::newRow("08") << "08" << quint8(0x08) << 3;
        QTest::newRow("0e") << "0e" << quint8(0x0E) << 0;
        QTest::newRow("e0") << "e0" << quint8(0xE0) << 1;
        QTest::newRow("07") << "07" << quint8(0x07) << 1;
        QTest::newRow("a0") << "a0" << quint8(0xA0) << 17;
        QTest::newRow("d0") << "d0" << quint8(0xD0) << 49;
        QTest::newRow("03") << "03" << quint8(0x03) << 1;
    }

    void shortAnswersShowNothing()
    {
        QFETCH(QString, command);
        QFETCH(quint8, code);
        QFETCH(int, length);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE(link.textLog().size(), 1);
        link.sim.setAnswerData(code, QByteArray(length, '\x31'));
        ask(link, qPrintable(command));
        const QString ack = QStringLiteral("Ack %1").arg(code, 2, 16, QLatin1Char(' '));
        QTRY_COMPARE(link.textLog().size(), 2);
        QCOMPARE(link.textLog().last(), ack);
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("0"));
    }

    void thresholdRoundTrip()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        link.click("GetThresholdValue");
        QCOMPARE(link.text("Thresholdlabel"), QString::number(link.sim.threshold()));

        link.widget<QLineEdit>("setThresholdValue")->setText("1000");
        link.click("SetThresholdValue");
        QCOMPARE(link.received().last(), hex("56da04e803000063"));
        QCOMPARE(link.sim.threshold(), quint16(1000));
        QCOMPARE(link.text("Thresholdlabel"), QString::number(500));  // a set does not read back
        link.click("GetThresholdValue");
        QCOMPARE(link.received().last(), hex("56030055"));
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("1000"));
        QVERIFY(link.textLog().contains("Ack  3"));
    }

    void thresholdMustBeSixteenBits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("70000") << "70000";
        QTest::newRow("-1") << "-1";
        QTest::newRow("abc") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("12.5") << "12.5";
    }

    void thresholdMustBeSixteenBits()
    {
        QFETCH(QString, text);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QLineEdit>("setThresholdValue")->setText(text);
        link.click("SetThresholdValue");
        QCOMPARE(link.closer.texts.size(), 1);
        QVERIFY2(link.closer.texts.first().contains("0到65535"), qPrintable(link.closer.texts.first()));
        QTest::qWait(30);
        QVERIFY(link.sim.receivedBytes().isEmpty());
        QCOMPARE(link.sim.threshold(), quint16(500));
    }
};

QTEST_MAIN(DeviceTest)
#include "tst_device.moc"
