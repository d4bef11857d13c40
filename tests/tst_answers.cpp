// The decode table decode/answers.h: each response frame to its measurement
// or its information lines and threshold, never read past the frame's real
// end; the measurement-line formatter, time stamps, frame rate and local clock.

#include "log/localclock.h"
#include "decode/answers.h"
#include "support/testframes.h"

#include <QtTest>

#include <ctime>

class TstAnswers : public QObject
{
    Q_OBJECT

private slots:
    void measurementLines_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("distance");
        QTest::addColumn<QString>("line");
        QTest::newRow("example 0x81") << hex("89 81 74 0A AB 0C 2F 67 00 01 98") << 2676 << "02676,03243,47,0103,1, ";
        QTest::newRow("0x81 widths grow, never cut, temperature unsigned")
            << fixedLengthFrame(0x81, hex("FFFF FFFF FF FFFF FF")) << 65535 << "65535,65535,255,65535,255, ";
        QByteArray words;
        for (quint16 w : {1, 2676, 3243, 103, 0xFFFB, 0xFFF6, 12, 8, 9, 10, 11, 0xFFFF, 2, 0x8000, 0x7FFF})
            words.append(uint16Bytes(w));
        QTest::newRow("0x82 signed words 5, 6, 12-15")
            << fixedLengthFrame(0x82, words) << 2676
            << "00001,02676,03243,0103,-0005,-010,12,08,09,10,11,-00001,000002,-32768,032767,";
    }
    void measurementLines()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, line);
        const Answer a = decodeAnswer(frame);
        QVERIFY(a.measurement.has_value());
        QTEST(int(a.measurement->distance), "distance");
        QCOMPARE(measurementLine(*a.measurement, QStringLiteral("14:03:07.250,")),
                 QStringLiteral("14:03:07.250,") + line);
        QVERIFY(!decodeAnswer(frame.left(frame.size() - 1)).measurement);
    }

    void informationLines_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("lines");  // joined by |
        QTest::addColumn<int>("threshold");  // -1: none
        const auto row = [](const char *name, const QByteArray &frame, const char *lines, int threshold = -1) {
            QTest::newRow(name) << frame << QString::fromUtf8(lines) << threshold;
        };
        row("hardware: bytes 4 and 5 swapped", responseFrame(0x08, "V123"), "HARD: V-2.1.3");
        row("firmware, longer data", responseFrame(0x0E, hex("42 33 34 35 99 98")), "SOFT:B-4.3.5");
        row("Latin-1 and percent kept as they are", responseFrame(0x08, hex("E9 25 32 FF")),
            "HARD: \xc3\xa9-2.%.\xc3\xbf");
        row("range", responseFrame(0xE0, hex("FF FF")), "RANGE: 65535");
        row("integration", responseFrame(0x07, hex("A0 14")), "Integration: 5280");
        row("configuration", responseFrame(0xA0, hex("05 00 FF FF F6 FF FF FF 01 00 FF 7F 00 80 FE FF 00 00")),
            "POW_ON:1|TEMP_ON:0|AMB_ON:1|UNIT:0|CURRENT_OFF:-1|DIST_OFF:-10|AMB_COF:65535|"
            "TEMP_COF:[1][32767][-32768][-2][0]");
        row("configuration flags, high bits ignored",
            responseFrame(0xA0, hex("FA FF 00 00 10 00") + QByteArray(12, '\0')),
            "POW_ON:0|TEMP_ON:1|AMB_ON:0|UNIT:1|CURRENT_OFF:0|DIST_OFF:16|AMB_COF:0|TEMP_COF:[0][0][0][0][0]");
        // Single precision, each shown as the number it is, sign included;
        // the name up to its first zero, in UTF-8.
        const QVector<float> c = {0.5f, 1.25f, -3.0f, 2e-7f, 100000.0f, 1234567.0f, 0.1f, -2.5f, 3.14159274f, 42.0f};
        row("coefficients", responseFrame(0xD0, coefficientData(QByteArray("TOF温度\0CD", 11), c)),
            "TOF温度|温度[大]: y = 0.5x^2 + 1.25x + -3|温度[小]: y = 2e-07x^2 + 100000x + 1.23457e+06|"
            "环境: y = 0.1x + -2.5|线性: y = 3.14159x + 42");
        row("threshold, longer data", responseFrame(0x03, hex("F4 01 00 00")), "", 500);
        row("acknowledge", responseFrame(0x55, QByteArray()), "");
    }
    void informationLines()
    {
        QFETCH(QByteArray, frame);
        const Answer a = decodeAnswer(frame);
        QCOMPARE(int(a.code), int(quint8(frame[1])));
        QTEST(a.lines.join('|'), "lines");
        QTEST(a.threshold ? int(*a.threshold) : -1, "threshold");
        QVERIFY(!a.measurement);
    }

    // Short data, a lying N and a byte array that ends early all give nothing,
    // and nothing is read beyond the array (the sanitizer build watches).
    void shortAnswersGiveNothing_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("needed");
        for (auto [code, needed] :
             {std::pair{0x08, 4}, {0x0E, 4}, {0xE0, 2}, {0x07, 2}, {0xA0, 18}, {0xD0, 50}, {0x03, 2}})
            QTest::addRow("code %02x", code) << code << needed;
    }
    void shortAnswersGiveNothing()
    {
        QFETCH(int, code);
        QFETCH(int, needed);
        const auto decoded = [](const QByteArray &frame) {
            const Answer a = decodeAnswer(frame);
            return !a.lines.isEmpty() || a.threshold.has_value();
        };
        const QByteArray whole = responseFrame(quint8(code), QByteArray(needed, '\x31'));
        QVERIFY(decoded(whole));
        for (int n = 0; n < needed; ++n)
            QVERIFY2(!decoded(responseFrame(quint8(code), whole.mid(3, n))), qPrintable(QString::number(n)));
        for (int size = 2; size < whole.size(); ++size)
            QVERIFY2(!decoded(QByteArray(whole.constData(), size)), qPrintable(QString::number(size)));
        QByteArray lying = whole;
        lying[2] = char(0xFF);
        QVERIFY(!decoded(lying));
    }

    void rateAndAck()
    {
        QCOMPARE(frameRateText(300), std::optional<QString>(QStringLiteral("3.3 ")));
        QVERIFY(!frameRateText(0).has_value() && !frameRateText(-1).has_value());
        QCOMPARE(ackLine(0x03) + ackLine(0xA0), QStringLiteral("Ack  3Ack a0"));
    }

    // The clock's cached offset follows the zone's own changes, also across
    // the start of summer time and midnight.
    void localClockFollowsTheZone()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        LocalClock clock;
        const qint64 springForward = QDateTime(QDate(2024, 3, 31), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
        const qint64 midnight = QDateTime(QDate(2024, 6, 1), QTime(22, 0), Qt::UTC).toMSecsSinceEpoch();
        for (qint64 base : {springForward, midnight})
            for (qint64 ms : {-2001, -1000, -1, 0, 1, 999, 1000, 3600 * 1000})
                QCOMPARE(clock.timeOfDay(base + ms), QDateTime::fromMSecsSinceEpoch(base + ms).time());
        QCOMPARE(measurementTimeStamp(clock.timeOfDay(springForward)), QStringLiteral("03:00:00.000,"));
        qunsetenv("TZ");
        tzset();
    }
};

QTEST_GUILESS_MAIN(TstAnswers)
#include "tst_answers.moc"
