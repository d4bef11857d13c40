// The protocol's byte rules: the XOR check, little-endian fields, response
// frame lengths, the hex echo, the command frames; and the typed inputs the
// window reads (device ID, thresholds, trigger-test band, command line).

#include "protocol/commandline.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "trigger/triggertest.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class TstProtocol : public QObject
{
    Q_OBJECT

private slots:
    void xorCheck_data()
    {
        QTest::addColumn<QByteArray>("frame");  // its check byte right
        QTest::newRow("measurement") << hex("89 81 74 0A AB 0C 2F 67 00 01 98");
        QTest::newRow("one byte") << hex("00");
        // 89 55 ff, 255 zero data bytes: the longest frame there is.
        QTest::newRow("259 bytes") << hex("8955ff") + QByteArray(255, '\0') + hex("23");
    }
    void xorCheck()
    {
        QFETCH(QByteArray, frame);
        QByteArray set = frame;
        set[set.size() - 1] = char(0x5A);
        setFrameXor(set.data(), quint16(set.size()));
        QCOMPARE(set, frame);
        QVERIFY(checkFrameXor(frame.constData(), frame.size()));
        // Every byte takes part, the first and the last data byte as much as any.
        for (int i = 0; i < frame.size(); ++i) {
            QByteArray bad = frame;
            bad[i] = char(bad[i] ^ 0x10);
            QVERIFY2(!checkFrameXor(bad.constData(), bad.size()), qPrintable(QString::number(i)));
        }
    }

    void emptyFrameTouchesNothing()
    {
        char byte = 0x33;
        setFrameXor(&byte, 0);
        QCOMPARE(byte, char(0x33));
        QVERIFY(!checkFrameXor(&byte, 0));
    }

    void responseLengths()
    {
        QCOMPARE(expectedFrameLength(0x81, 0xFF), 11);
        QCOMPARE(expectedFrameLength(0x82, 0x00), 33);
        QCOMPARE(expectedFrameLength(0x55, 0xFF), 259);
        QCOMPARE(expectedFrameLength(hex("89d032")), 54);
    }

    void fieldsAndEcho()
    {
        const QByteArray b = hex("3412 78563412 ffff");
        QCOMPARE(readUInt16(b, 0), quint16(0x1234));
        QCOMPARE(readUInt32(b, 2), quint32(0x12345678));
        QCOMPARE(readUInt16(b, 6), quint16(0xFFFF));
        QCOMPARE(readUInt32(hex("ffffffff"), 0), quint32(0xFFFFFFFF));
        QCOMPARE(uint16Bytes(0xA014), hex("14a0"));
        QCOMPARE(hexBytes(hex("56FB00AD")), QStringLiteral("56 fb 00 ad"));
    }

    void commandFrames_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("id");  // -1: plain frame
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("single") << int(Command::Single) << QByteArray() << -1 << hex("56020054");
        QTest::newRow("hardware id 1") << int(Command::HardwareVersion) << QByteArray() << 1 << hex("560108005f");
        // 0 is an ID like any other, not "no ID".
        QTest::newRow("hardware id 0") << int(Command::HardwareVersion) << QByteArray() << 0 << hex("560008005e");
        QTest::newRow("integration 100 id 1") << int(Command::SetIntegration) << integrationTimeData(100) << 1
                                              << hex("56012002640011");
        QTest::newRow("integration 5280") << int(Command::SetIntegration) << integrationTimeData(5280) << -1
                                          << hex("562002a014c0");
        QTest::newRow("threshold 500") << int(Command::SetThreshold) << thresholdData(500) << -1
                                       << hex("56da04f40100007d");
        QTest::newRow("threshold 65535") << int(Command::SetThreshold) << thresholdData(65535) << -1
                                         << hex("56da04ffff000088");
        // N counts the data bytes only.
        QTest::newRow("5 data bytes id 7") << 0x44 << hex("0102030405") << 7 << hex("56074405010203040511");
    }
    void commandFrames()
    {
        QFETCH(int, code);
        QFETCH(QByteArray, data);
        QFETCH(int, id);
        QFETCH(QByteArray, frame);
        const std::optional<quint8> deviceId = id < 0 ? std::nullopt : std::optional<quint8>(quint8(id));
        QCOMPARE(commandFrame(quint8(code), data, deviceId), frame);
    }

    void typedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("deviceId");   // -1: refused
        QTest::addColumn<int>("threshold");  // -1: refused
        QTest::addColumn<int>("band");       // reference or threshold of the trigger test: 0 when not a number
        QTest::newRow("0") << "0" << 0 << 0 << 0;
        QTest::newRow("01") << "01" << 1 << 1 << 1;
        QTest::newRow("255") << "255" << 255 << 255 << 255;
        QTest::newRow("256") << "256" << -1 << 256 << 256;
        QTest::newRow("65535") << "65535" << -1 << 65535 << 65535;
        QTest::newRow("65536") << "65536" << -1 << -1 << 0;
        QTest::newRow("-1") << "-1" << -1 << -1 << 0;
        QTest::newRow("abc") << "abc" << -1 << -1 << 0;
        QTest::newRow("1.5") << "1.5" << -1 << -1 << 0;
        QTest::newRow("0x10") << "0x10" << -1 << -1 << 0;
        QTest::newRow("empty") << "" << -1 << -1 << 0;
        QTest::newRow("blanks") << "   " << -1 << -1 << 0;
    }
    void typedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, deviceId);
        QFETCH(int, threshold);
        QFETCH(int, band);
        QCOMPARE(int(TriggerTest::parseInput(text)), band);
        const std::optional<quint8> id = parseDeviceId(text);
        QCOMPARE(id ? int(*id) : -1, deviceId);
        const std::optional<quint16> value = parseThreshold(text);
        QCOMPARE(value ? int(*value) : -1, threshold);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("bytes");  // code first; empty: nothing is sent
        QStringList forty;
        QByteArray counting;
        for (int i = 0; i < MaxCommandLineTokens; ++i) {
            forty << QString::number(i, 16);
            counting += char(i);
        }
        QTest::newRow("threshold") << "da e8 03 00 00" << hex("dae8030000");
        QTest::newRow("upper case, blanks") << "  DA   E8 03  00 00 " << hex("dae8030000");
        QTest::newRow("low byte of 1FF") << "1FF" << hex("ff");
        QTest::newRow("single digits") << "2 a" << hex("020a");
        QTest::newRow("40 tokens") << forty.join(' ') << counting;
        QTest::newRow("41 tokens") << forty.join(' ') + " ff" << QByteArray();
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("blanks only") << "     " << QByteArray();
        QTest::newRow("0g behind a good token") << "02 0g" << QByteArray();
    }
    void commandLine()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, bytes);
        QCOMPARE(parseCommandLine(line).value_or(QByteArray()), bytes);
    }
};

QTEST_GUILESS_MAIN(TstProtocol)
#include "tst_protocol.moc"
