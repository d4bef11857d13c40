// Information answers and the switching threshold through the window: the
// coefficient answer replaces the log, a short answer shows only its Ack, and
// the threshold buttons send and show what they should.

#include "linkfixture.h"

#include <QLineEdit>
#include <QtTest>

class DeviceTest : public QObject
{
    Q_OBJECT

private slots:
    // Short answers (a coefficient answer among them) show only their Ack and
    // clear nothing; a whole coefficient answer replaces the log.
    void answersInTheLog()
    {
        LinkFixture link;
        QVERIFY(link.openPort());
        // A typed command, as a tester asks for answers that have no button.
        const auto ask = [&](int code) { link.widget<QLineEdit>("lineEditCmd")->setText(QString::number(code, 16)); link.click("pButtonCmd"); };
        link.sim.writeRaw(measurementFrame(1000));
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().size(), 1, 5000);
        QStringList expected = link.textLog();
        for (auto [code, length] : {std::pair{0x08, 3}, {0x0E, 0}, {0xE0, 1}, {0x07, 1},
                                    {0xA0, 17}, {0x03, 1}, {0xD0, 49}}) {
            link.sim.setAnswerData(quint8(code), QByteArray(length, '\x31'));
            ask(code);
            expected.append(QStringLiteral("Ack %1").arg(code, 2, 16, QLatin1Char(' ')));
            QTRY_COMPARE_WITH_TIMEOUT(link.textLog(), expected, 5000);
        }
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("0"));
        link.sim.clearAnswerData(0xD0);
        link.sim.setCoefficients(coefficientData("TOF-123456", QVector<float>(10, 0.f)));
        ask(0xD0);
        QTRY_COMPARE_WITH_TIMEOUT(link.textLog().value(0), QStringLiteral("TOF-123456"), 5000);
        QCOMPARE(link.textLog().mid(5), QStringList{"Ack d0"}); // the name, four lines, the Ack
    }

    // A valid threshold is sent and not read back until asked; anything but
    // 0..65535 is refused with a message and nothing goes on the line.
    void threshold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("1000") << "1000" << hex("56da04e803000063");
        for (const char *text : {"70000", "-1", "abc", "", "12.5"})
            QTest::newRow(text) << QString::fromLatin1(text) << QByteArray();
    }
    void threshold()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        LinkFixture link;
        QVERIFY(link.openPort());
        link.widget<QLineEdit>("setThresholdValue")->setText(text);
        link.click("SetThresholdValue");
        QCOMPARE(link.closer.texts.size() == 1 && link.closer.texts.value(0).contains("0到65535"), sent.isEmpty());
        QTest::qWait(30);
        QCOMPARE(link.sim.receivedBytes(), sent);
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("0"));
        if (sent.isEmpty())
            return;
        QCOMPARE(link.sim.threshold(), quint16(1000));
        link.click("GetThresholdValue");
        QCOMPARE(link.received().value(1), hex("56030055"));
        QCOMPARE(link.text("Thresholdlabel"), QStringLiteral("1000"));
    }
};

QTEST_MAIN(DeviceTest)
#include "tst_device.moc"
