// Command frames of the buttons, the integration time and the threshold, and
// the device ID and threshold inputs.

#include "protocol/commands.h"
#include "protocol/frame.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class TstCommands : public QObject
{
    Q_OBJECT

private slots:
    void plainButtons_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("single fixed") << int(Command::SingleFixed) << hex("56 01 00 57");
        QTest::newRow("single") << int(Command::Single) << hex("56 02 00 54");
        QTest::newRow("continuous fixed") << int(Command::ContinuousFixed) << hex("56 05 00 53");
        QTest::newRow("continuous") << int(Command::Continuous) << hex("56 50 00 06");
        QTest::newRow("stop") << int(Command::Stop) << hex("56 06 00 50");
        QTest::newRow("restart") << int(Command::Restart) << hex("56 FB 00 AD");
        QTest::newRow("hardware") << int(Command::HardwareVersion) << hex("56 08 00 5E");
        QTest::newRow("firmware") << int(Command::FirmwareVersion) << hex("56 0E 00 58");
        QTest::newRow("get threshold") << int(Command::GetThreshold) << hex("56 03 00 55");
    }
    void plainButtons()
    {
        QFETCH(int, code);
        QFETCH(QByteArray, frame);
        QCOMPARE(commandFrame(quint8(code)), frame);
    }

    void addressedButtons_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("single fixed") << int(Command::SingleFixed) << 1 << hex("56 01 01 00 56");
        QTest::newRow("single") << int(Command::Single) << 1 << hex("56 01 02 00 55");
        QTest::newRow("restart") << int(Command::Restart) << 1 << hex("56 01 FB 00 AC");
        QTest::newRow("hardware id 1") << int(Command::HardwareVersion) << 1 << hex("56 01 08 00 5F");
        QTest::newRow("hardware id 44") << int(Command::HardwareVersion) << 0x2C << hex("56 2C 08 00 72");
        QTest::newRow("hardware id 0") << int(Command::HardwareVersion) << 0 << hex("56 00 08 00 5E");
        QTest::newRow("firmware") << int(Command::FirmwareVersion) << 1 << hex("56 01 0E 00 59");
    }
    void addressedButtons()
    {
        QFETCH(int, code);
        QFETCH(int, id);
        QFETCH(QByteArray, frame);
        QCOMPARE(commandFrame(quint8(code), QByteArray(), quint8(id)), frame);
    }

    void integrationTime()
    {
        QCOMPARE(integrationTimeData(100), hex("64 00"));
        QCOMPARE(commandFrame(Command::SetIntegration, integrationTimeData(100)),
                 hex("56 20 02 64 00 10"));
        QCOMPARE(commandFrame(Command::SetIntegration, integrationTimeData(100), quint8(1)),
                 hex("56 01 20 02 64 00 11"));
        QCOMPARE(commandFrame(Command::SetIntegration, integrationTimeData(5280)),
                 hex("56 20 02 A0 14 C0"));
        QCOMPARE(commandFrame(Command::SetIntegration, integrationTimeData(10)),
                 hex("56 20 02 0A 00 7E"));
    }

    void setThreshold()
    {
        QCOMPARE(thresholdData(500), hex("F4 01 00 00"));
        QCOMPARE(commandFrame(Command::SetThreshold, thresholdData(500)),
                 hex("56 DA 04 F4 01 00 00 7D"));
        QCOMPARE(commandFrame(Command::SetThreshold, thresholdData(4464)),
                 hex("56 DA 04 70 11 00 00 E9"));
        QCOMPARE(commandFrame(Command::SetThreshold, thresholdData(65535)),
                 hex("56 DA 04 FF FF 00 00 88"));
    }

    void everyFrameChecks()
    {
        const QByteArray f = commandFrame(0x44, hex("01 02 03 04 05"), quint8(7));
        QCOMPARE(f.size(), 5 + 5);
        QCOMPARE(quint8(f[3]), quint8(5)); // N counts the data only
        QVERIFY(checkFrameXor(f.constData(), f.size()));
    }

    void parseThresholdInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("500") << "500" << true << 500;
        QTest::newRow("0") << "0" << true << 0;
        QTest::newRow("65535") << "65535" << true << 65535;
        QTest::newRow("65536") << "65536" << false << 0;
        QTest::newRow("70000") << "70000" << false << 0;
        QTest::newRow("-1") << "-1" << false << 0;
        QTest::newRow("abc") << "abc" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("hex") << "0x10" << false << 0;
    }
    void parseThresholdInput()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const auto parsed = parseThreshold(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(int(*parsed), value);
    }

    void parseDeviceIdInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("01") << "01" << true << 1;
        QTest::newRow("0") << "0" << true << 0;
        QTest::newRow("255") << "255" << true << 255;
        QTest::newRow("256") << "256" << false << 0;
        QTest::newRow("300") << "300" << false << 0;
        QTest::newRow("abc") << "abc" << false << 0;
        QTest::newRow("-1") << "-1" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blanks") << "   " << false << 0;
    }
    void parseDeviceIdInput()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const auto parsed = parseDeviceId(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(int(*parsed), value);
    }
};

QTEST_GUILESS_MAIN(TstCommands)
#include "tst_commands.moc"
