// XOR check byte, little-endian readers, response frame lengths and the hex echo.

#include "protocol/frame.h"

#include <QtTest>

class TstFrames : public QObject
{
    Q_OBJECT

private slots:
    void setXorOfShortFrame()
    {
        QByteArray f = QByteArray::fromHex("56020000");
        setFrameXor(f.data(), quint16(f.size()));
        QCOMPARE(f, QByteArray::fromHex("56020054"));
        QVERIFY(checkFrameXor(f.constData(), f.size()));
    }

    void singleByteFrame()
    {
        char one = 0x5A;
        setFrameXor(&one, 1);
        QCOMPARE(one, char(0));
        QVERIFY(checkFrameXor(&one, 1));
        one = 0x01;
        QVERIFY(!checkFrameXor(&one, 1));
    }

    void zeroLength()
    {
        char byte = 0x33;
        setFrameXor(&byte, 0); // writes nothing
        QCOMPARE(byte, char(0x33));
        QVERIFY(!checkFrameXor(&byte, 0));
    }

    void checkDetectsEveryWrongByte()
    {
        const QByteArray good = QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98");
        QVERIFY(checkFrameXor(good.constData(), good.size()));
        for (int i = 0; i < good.size(); ++i) {
            QByteArray bad = good;
            bad[i] = char(bad[i] ^ 0x10);
            QVERIFY2(!checkFrameXor(bad.constData(), bad.size()), qPrintable(QString::number(i)));
        }
    }

    void frameOf259Bytes()
    {
        QByteArray f(259, '\0');
        f[0] = char(0x89);
        f[1] = char(0x55);
        f[2] = char(0xFF);
        for (int i = 3; i < 258; ++i)
            f[i] = char(i * 7);
        setFrameXor(f.data(), quint16(f.size()));
        char expected = 0;
        for (int i = 0; i < 258; ++i)
            expected ^= f[i];
        QCOMPARE(f[258], expected);
        QVERIFY(checkFrameXor(f.constData(), f.size()));
        // The first byte takes part in the check as much as the last data byte.
        QByteArray bad = f;
        bad[0] = char(0x88);
        QVERIFY(!checkFrameXor(bad.constData(), bad.size()));
        bad = f;
        bad[257] = char(bad[257] ^ 1);
        QVERIFY(!checkFrameXor(bad.constData(), bad.size()));
    }

    void littleEndian()
    {
        const QByteArray b = QByteArray::fromHex("3412 78563412 ffff");
        QCOMPARE(readUInt16(b, 0), quint16(0x1234));
        QCOMPARE(readUInt32(b, 2), quint32(0x12345678));
        QCOMPARE(readUInt16(b, 6), quint16(0xFFFF));
        QCOMPARE(readUInt32(QByteArray::fromHex("ffffffff"), 0), quint32(0xFFFFFFFF));
    }

    void frameLengths()
    {
        QCOMPARE(expectedFrameLength(QByteArray::fromHex("8981ff")), 11);
        QCOMPARE(expectedFrameLength(QByteArray::fromHex("898200")), 33);
        QCOMPARE(expectedFrameLength(QByteArray::fromHex("890800")), 4);
        QCOMPARE(expectedFrameLength(QByteArray::fromHex("89d032")), 54);
        QCOMPARE(expectedFrameLength(QByteArray::fromHex("8955ff")), 259);
        QCOMPARE(expectedFrameLength(0x81, 0x00), 11);
        QCOMPARE(expectedFrameLength(0x82, 0xFF), 33);
        QCOMPARE(expectedFrameLength(0xA0, 18), 22);
    }

    void hexEcho()
    {
        QCOMPARE(hexBytes(QByteArray::fromHex("56FB00AD")), QStringLiteral("56 fb 00 ad"));
        QCOMPARE(hexBytes(QByteArray::fromHex("00")), QStringLiteral("00"));
        QCOMPARE(hexBytes(QByteArray()), QString());
    }
};

QTEST_GUILESS_MAIN(TstFrames)
#include "tst_frames.moc"
