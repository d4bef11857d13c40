// The protocol's byte rules: the XOR check, little-endian fields, response
// frame lengths, the hex echo, the command frames; and the typed inputs the
// window reads (device ID, thresholds, trigger-test band, command line).

#include "protocol/commandline.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "stats/triggertest.h"
#include "support/testframes.h"

#include <QtTest>

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

    void lengthsFieldsAndEcho()
    {
        char byte = 0x33; // an empty frame: nothing touched, nothing checks
        setFrameXor(&byte, 0);
        QVERIFY(byte == 0x33 && !checkFrameXor(&byte, 0));
        QCOMPARE(expectedFrameLength(0x81, 0xFF), 11);
        QCOMPARE(expectedFrameLength(0x82, 0x00), 33);
        QCOMPARE(expectedFrameLength(0x55, 0xFF), 259);
        QCOMPARE(expectedFrameLength(hex("89d032")), 54);
        const QByteArray b = hex("3412 78563412 ffff");
        QCOMPARE(readUInt16(b, 0), quint16(0x1234));
        QCOMPARE(readUInt32(b, 2), quint32(0x12345678));
        QCOMPARE(readUInt16(b, 6), quint16(0xFFFF));
        QCOMPARE(readUInt32(hex("ffffffff"), 0), quint32(0xFFFFFFFF));
        QCOMPARE(uint16Bytes(0xA014), hex("14a0"));
        QCOMPARE(hexBytes(hex("56FB00AD")), QStringLiteral("56 fb 00 ad"));
    }

    void commandFrames()
    {
        QCOMPARE(commandFrame(quint8(Command::HardwareVersion), {}, 0), hex("560008005e")); // 0 is an ID like any other
        QCOMPARE(commandFrame(quint8(Command::SetThreshold), thresholdData(65535), std::nullopt), hex("56da04ffff000088"));
        QCOMPARE(commandFrame(0x44, hex("0102030405"), 7), hex("56074405010203040511")); // N counts the data bytes only
    }

    void typedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("deviceId");   // -1: refused
        QTest::addColumn<int>("threshold");  // -1: refused
        QTest::addColumn<int>("band");       // reference or threshold of the trigger test: 0 when not a number
        for (auto [text, id, threshold, band] : {std::tuple{"0", 0, 0, 0}, {"01", 1, 1, 1}, {"255", 255, 255, 255}, {"256", -1, 256, 256},
                                                 {"65535", -1, 65535, 65535}, {"65536", -1, -1, 0}, {"-1", -1, -1, 0}, {"1.5", -1, -1, 0},
                                                 {"0x10", -1, -1, 0}, {"", -1, -1, 0}, {"   ", -1, -1, 0}})
            QTest::newRow(text) << QString(text) << id << threshold << band;
    }
    void typedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, deviceId);
        QFETCH(int, threshold);
        QFETCH(int, band);
        QCOMPARE(int(TriggerTest::parseInput(text)), band);
        const auto orRefused = [](auto value) { return value ? int(*value) : -1; };
        QCOMPARE(orRefused(parseDeviceId(text)), deviceId);
        QCOMPARE(orRefused(parseThreshold(text)), threshold);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("bytes");  // code first; empty: nothing is sent
        QByteArray counting;
        for (int i = 0; i < MaxCommandLineTokens; ++i)
            counting += char(i);
        const QString forty = QString::fromLatin1(counting.toHex(' '));
        for (auto [line, bytes] : {std::pair{"da e8 03 00 00", "dae8030000"}, {"  DA   E8 03  00 00 ", "dae8030000"},
                                   {"1FF", "ff"}, {"2 a", "020a"}, {"     ", ""}, {"02 0g", ""}})
            QTest::newRow(line) << QString(line) << hex(bytes);
        QTest::newRow("40 tokens") << forty << counting;
        QTest::newRow("41 tokens") << forty + " ff" << QByteArray();
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
