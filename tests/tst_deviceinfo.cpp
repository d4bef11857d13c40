// Text lines of the module's information answers (versions, range,
// integration time, configuration, coefficients) and the threshold, through
// the decode table, and that no answer is read past its real end.

#include "protocol/answers.h"
#include "support/testframes.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}
} // namespace

class TstDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QStringList>("lines");
        const QVector<float> zeros(10, 0.0f);

        QTest::newRow("hardware: bytes 4 and 5 swapped")
            << responseFrame(0x08, hex("41 31 30 32")) << QStringList{"HARD: A-0.1.2"};
        QTest::newRow("firmware, longer data") << responseFrame(0x0E, hex("42 33 34 35 99 98"))
                                               << QStringList{"SOFT:B-4.3.5"};
        QTest::newRow("Latin-1 and percent kept as they are")
            << responseFrame(0x08, hex("E9 25 32 FF"))
            << QStringList{u("HARD: \xc3\xa9-2.%.\xc3\xbf")};
        QTest::newRow("range") << responseFrame(0xE0, hex("FF FF")) << QStringList{"RANGE: 65535"};
        QTest::newRow("integration") << responseFrame(0x07, hex("A0 14"))
                                     << QStringList{"Integration: 5280"};
        QTest::newRow("configuration")
            << responseFrame(0xA0, hex("05 00 FF FF F6 FF FF FF 01 00 FF 7F 00 80 FE FF 00 00"))
            << QStringList{"POW_ON:1", "TEMP_ON:0", "AMB_ON:1", "UNIT:0", "CURRENT_OFF:-1",
                           "DIST_OFF:-10", "AMB_COF:65535", "TEMP_COF:[1][32767][-32768][-2][0]"};
        QTest::newRow("configuration flags, high bits ignored")
            << responseFrame(0xA0, hex("FA FF 00 00 10 00") + QByteArray(12, '\0'))
            << QStringList{"POW_ON:0", "TEMP_ON:1", "AMB_ON:0", "UNIT:1", "CURRENT_OFF:0",
                           "DIST_OFF:16", "AMB_COF:0", "TEMP_COF:[0][0][0][0][0]"};
        QTest::newRow("coefficients")
            << responseFrame(0xD0, coefficientData("AB", {0.5f, 1.25f, -3.0f, 2e-7f, 100000.0f,
                                                          1234567.0f, 0.1f, -2.5f, 1.0f, 42.0f}))
            << QStringList{"AB", u("温度[大]: y = 0.0.5x^2 + 1.25x + -3"),
                           u("温度[小]: y = 0.2e-07x^2 + 100000x + 1.23457e+06"),
                           u("环境: y = 0.1x + -2.5"), u("线性: y = 1x + 42")};
        QVector<float> pi = zeros;
        pi[8] = 3.14159274f;
        QTest::newRow("coefficients are single precision, name up to its first zero, UTF-8")
            << responseFrame(0xD0, coefficientData(QByteArray("TOF温度\0CD", 11), pi))
            << QStringList{u("TOF温度"), u("温度[大]: y = 0.0x^2 + 0x + 0"),
                           u("温度[小]: y = 0.0x^2 + 0x + 0"), u("环境: y = 0x + 0"),
                           u("线性: y = 3.14159x + 0")};
    }
    void lines()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QStringList, lines);
        QCOMPARE(decodeAnswer(frame).lines, lines);
    }

    void threshold()
    {
        QCOMPARE(decodeAnswer(responseFrame(0x03, hex("E8 03"))).threshold,
                 std::optional<quint16>(1000));
        QCOMPARE(decodeAnswer(responseFrame(0x03, hex("F4 01 00 00"))).threshold,
                 std::optional<quint16>(500));
    }

    // Short data, a lying N and a byte array that ends early all give nothing,
    // and nothing is read beyond the array (the sanitizer build watches).
    void shortAnswersGiveNothing_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("needed");
        QTest::newRow("hardware") << 0x08 << 4;
        QTest::newRow("firmware") << 0x0E << 4;
        QTest::newRow("range") << 0xE0 << 2;
        QTest::newRow("integration") << 0x07 << 2;
        QTest::newRow("configuration") << 0xA0 << 18;
        QTest::newRow("coefficients") << 0xD0 << 50;
        QTest::newRow("threshold") << 0x03 << 2;
    }
    void shortAnswersGiveNothing()
    {
        QFETCH(int, code);
        QFETCH(int, needed);
        const auto decoded = [](const QByteArray &frame) {
            const Answer a = decodeAnswer(frame);
            return !a.lines.isEmpty() || a.threshold.has_value();
        };
        const QByteArray full(needed, '\x31');
        QVERIFY(decoded(responseFrame(quint8(code), full)));
        for (int n = 0; n < needed; ++n)
            QVERIFY2(!decoded(responseFrame(quint8(code), full.left(n))), qPrintable(QString::number(n)));
        const QByteArray whole = responseFrame(quint8(code), full);
        for (int size = 2; size < whole.size(); ++size)
            QVERIFY2(!decoded(QByteArray(whole.constData(), size)), qPrintable(QString::number(size)));
        QByteArray lying = whole;
        lying[2] = char(0xFF);
        QVERIFY(!decoded(lying));
    }
};

QTEST_GUILESS_MAIN(TstDeviceInfo)
#include "tst_deviceinfo.moc"
