// Text lines of the module's information answers: versions, range,
// integration time, configuration, coefficients and the threshold.

#include "device/deviceinfo.h"
#include "protocol/frame.h"
#include "support/testframes.h"

#include <QtTest>

#include <cstring>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QVector<float> someCoefficients{0.5f, 1.25f, -3.0f, 2e-7f, 100000.0f,
                                      1234567.0f, 0.1f, -2.5f, 1.0f, 42.0f};
} // namespace

class TstDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void hardwareVersion()
    {
        QCOMPARE(DeviceInfo::hardwareVersion(responseFrame(0x08, hex("41 31 30 32"))),
                 QStringList{QStringLiteral("HARD: A-0.1.2")});
    }

    void controlCharactersKept()
    {
        const QString expected = QStringLiteral("HARD: ") + QChar(0x0001) + QLatin1Char('-')
            + QChar(0x0003) + QLatin1Char('.') + QChar(0x0002) + QLatin1Char('.')
            + QChar(0x0004);
        QCOMPARE(DeviceInfo::hardwareVersion(responseFrame(0x08, hex("01 02 03 04"))),
                 QStringList{expected});
    }

    void latin1AndPercentCharacters()
    {
        // Bytes above 0x7F are Latin-1 characters; a '%' is shown as it is.
        const QString expected = QStringLiteral("HARD: ") + QChar(0x00E9) + QLatin1Char('-')
            + QLatin1Char('2') + QLatin1Char('.') + QLatin1Char('%') + QLatin1Char('.')
            + QChar(0x00FF);
        QCOMPARE(DeviceInfo::hardwareVersion(responseFrame(0x08, hex("E9 25 32 FF"))),
                 QStringList{expected});
        QCOMPARE(DeviceInfo::firmwareVersion(responseFrame(0x0E, hex("25 31 32 33"))),
                 QStringList{QStringLiteral("SOFT:%-2.1.3")});
    }

    void firmwareVersion()
    {
        QCOMPARE(DeviceInfo::firmwareVersion(responseFrame(0x0E, hex("42 33 34 35"))),
                 QStringList{QStringLiteral("SOFT:B-4.3.5")});
    }

    void longerDataStillDecodes()
    {
        QCOMPARE(DeviceInfo::hardwareVersion(responseFrame(0x08, hex("41 31 30 32 99 98"))),
                 QStringList{QStringLiteral("HARD: A-0.1.2")});
    }

    void rangeAndIntegration()
    {
        QCOMPARE(DeviceInfo::range(responseFrame(0xE0, hex("10 27"))),
                 QStringList{QStringLiteral("RANGE: 10000")});
        QCOMPARE(DeviceInfo::range(responseFrame(0xE0, hex("FF FF"))),
                 QStringList{QStringLiteral("RANGE: 65535")});
        QCOMPARE(DeviceInfo::integrationTime(responseFrame(0x07, hex("64 00"))),
                 QStringList{QStringLiteral("Integration: 100")});
        QCOMPARE(DeviceInfo::integrationTime(responseFrame(0x07, hex("A0 14"))),
                 QStringList{QStringLiteral("Integration: 5280")});
    }

    void configuration()
    {
        const QByteArray data = hex("05 00"      // flags: POW_ON, AMB_ON
                                    "FF FF"      // CURRENT_OFF -1
                                    "F6 FF"      // DIST_OFF -10
                                    "FF FF"      // AMB_COF 65535
                                    "01 00 FF 7F 00 80 FE FF 00 00");
        QCOMPARE(DeviceInfo::configuration(responseFrame(0xA0, data)),
                 (QStringList{QStringLiteral("POW_ON:1"), QStringLiteral("TEMP_ON:0"),
                              QStringLiteral("AMB_ON:1"), QStringLiteral("UNIT:0"),
                              QStringLiteral("CURRENT_OFF:-1"), QStringLiteral("DIST_OFF:-10"),
                              QStringLiteral("AMB_COF:65535"),
                              QStringLiteral("TEMP_COF:[1][32767][-32768][-2][0]")}));
    }

    void configurationFlags()
    {
        QByteArray data(18, '\0');
        data[0] = char(0xFA); // bits 1 and 3 set, bits 4-7 ignored
        data[1] = char(0xFF);
        data[4] = char(0x10); // DIST_OFF 16
        const QStringList lines = DeviceInfo::configuration(responseFrame(0xA0, data));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QStringLiteral("POW_ON:0"));
        QCOMPARE(lines[1], QStringLiteral("TEMP_ON:1"));
        QCOMPARE(lines[2], QStringLiteral("AMB_ON:0"));
        QCOMPARE(lines[3], QStringLiteral("UNIT:1"));
        QCOMPARE(lines[4], QStringLiteral("CURRENT_OFF:0"));
        QCOMPARE(lines[5], QStringLiteral("DIST_OFF:16"));
        QCOMPARE(lines[6], QStringLiteral("AMB_COF:0"));
        QCOMPARE(lines[7], QStringLiteral("TEMP_COF:[0][0][0][0][0]"));
    }

    void coefficients()
    {
        const QStringList lines = DeviceInfo::coefficients(
            responseFrame(0xD0, coefficientData("AB", someCoefficients)));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QStringLiteral("AB"));
        QCOMPARE(lines[1], QString::fromUtf8("温度[大]: y = 0.0.5x^2 + 1.25x + -3"));
        QCOMPARE(lines[2], QString::fromUtf8("温度[小]: y = 0.2e-07x^2 + 100000x + 1.23457e+06"));
        QCOMPARE(lines[3], QString::fromUtf8("环境: y = 0.1x + -2.5"));
        QCOMPARE(lines[4], QString::fromUtf8("线性: y = 1x + 42"));
    }

    void coefficientsAreSinglePrecision()
    {
        QVector<float> c(10, 0.0f);
        c[8] = 3.14159274f; // nearest float to pi, widened to double
        const QStringList lines = DeviceInfo::coefficients(responseFrame(0xD0, coefficientData("x", c)));
        QCOMPARE(lines[4], QString::fromUtf8("线性: y = 3.14159x + 0"));
        QCOMPARE(lines[1], QString::fromUtf8("温度[大]: y = 0.0x^2 + 0x + 0"));
    }

    void coefficientNames()
    {
        const QVector<float> zeros(10, 0.0f);
        QCOMPARE(DeviceInfo::coefficients(responseFrame(0xD0, coefficientData("ABCDEFGHIJ", zeros)))
                     .value(0),
                 QStringLiteral("ABCDEFGHIJ"));
        QCOMPARE(DeviceInfo::coefficients(responseFrame(0xD0, coefficientData(QByteArray(), zeros)))
                     .value(0, QStringLiteral("missing")),
                 QString());
        // Only up to the first zero byte.
        QCOMPARE(DeviceInfo::coefficients(
                     responseFrame(0xD0, coefficientData(QByteArray("AB\0CD", 5), zeros)))
                     .value(0),
                 QStringLiteral("AB"));
        // UTF-8 names are decoded as such.
        QCOMPARE(DeviceInfo::coefficients(responseFrame(0xD0, coefficientData("TOF温度", zeros)))
                     .value(0),
                 QString::fromUtf8("TOF温度"));
        // Invalid UTF-8 gives replacement characters.
        const QString invalid =
            DeviceInfo::coefficients(responseFrame(0xD0, coefficientData(hex("41 FF FE 42"), zeros)))
                .value(0);
        QVERIFY(invalid.startsWith(QLatin1Char('A')));
        QVERIFY(invalid.endsWith(QLatin1Char('B')));
        QVERIFY(invalid.contains(QChar(QChar::ReplacementCharacter)));
    }

    void threshold()
    {
        QCOMPARE(DeviceInfo::threshold(responseFrame(0x03, hex("E8 03"))), std::optional<quint16>(1000));
        QCOMPARE(DeviceInfo::threshold(responseFrame(0x03, hex("F4 01 00 00"))),
                 std::optional<quint16>(500));
        QCOMPARE(DeviceInfo::threshold(responseFrame(0x03, hex("FF FF"))),
                 std::optional<quint16>(65535));
    }

    void shortDataGivesNothing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("needed");
        QTest::newRow("hardware") << 0 << 4;
        QTest::newRow("firmware") << 1 << 4;
        QTest::newRow("range") << 2 << 2;
        QTest::newRow("integration") << 3 << 2;
        QTest::newRow("configuration") << 4 << 18;
        QTest::newRow("coefficients") << 5 << 50;
        QTest::newRow("threshold") << 6 << 2;
    }
    void shortDataGivesNothing()
    {
        QFETCH(int, kind);
        QFETCH(int, needed);
        static const quint8 codes[] = {0x08, 0x0E, 0xE0, 0x07, 0xA0, 0xD0, 0x03};
        const quint8 code = codes[kind];
        auto lines = [kind](const QByteArray &frame) -> int {
            switch (kind) {
            case 0: return DeviceInfo::hardwareVersion(frame).size();
            case 1: return DeviceInfo::firmwareVersion(frame).size();
            case 2: return DeviceInfo::range(frame).size();
            case 3: return DeviceInfo::integrationTime(frame).size();
            case 4: return DeviceInfo::configuration(frame).size();
            case 5: return DeviceInfo::coefficients(frame).size();
            default: return DeviceInfo::threshold(frame) ? 1 : 0;
            }
        };

        QByteArray full(needed, '\x31');
        QVERIFY(lines(responseFrame(code, full)) > 0);

        // Data shorter than the layout, with an N that tells the truth.
        for (int n = 0; n < needed; ++n)
            QVERIFY2(lines(responseFrame(code, full.left(n))) == 0, qPrintable(QString::number(n)));

        // An N that claims the whole layout, but the byte array ends early:
        // each read must stop at the array's real end (ASan watches this).
        const QByteArray whole = responseFrame(code, full);
        for (int size = 0; size < whole.size(); ++size) {
            const QByteArray cut(whole.constData(), size); // a copy: no bytes beyond its end
            QVERIFY2(lines(cut) == 0, qPrintable(QString::number(size)));
        }

        // An N that claims more than the layout and more than the array holds.
        QByteArray lying = whole;
        lying[2] = char(0xFF);
        QCOMPARE(lines(lying), 0);
    }

    void emptyFrame()
    {
        QVERIFY(DeviceInfo::hardwareVersion(QByteArray()).isEmpty());
        QVERIFY(DeviceInfo::coefficients(QByteArray()).isEmpty());
        QVERIFY(!DeviceInfo::threshold(QByteArray()).has_value());
        QVERIFY(DeviceInfo::configuration(hex("89 A0")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstDeviceInfo)
#include "tst_deviceinfo.moc"
