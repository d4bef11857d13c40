// The decode table: each response frame to its typed answer, and the one
// measurement-line formatter; time stamps and the frame rate text.

#include "measure/localclock.h"
#include "protocol/answers.h"
#include "support/testframes.h"

#include <QtTest>

#include <ctime>

Q_DECLARE_METATYPE(AnswerKind)

class TstMeasurement : public QObject
{
    Q_OBJECT

private slots:
    void measurementLines_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<QString>("line");

        QTest::newRow("example 0x81") << QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98")
                                      << 2676 << 47 << "02676,03243,47,0103,1, ";
        QTest::newRow("0x81 widths grow, never cut")
            << fixedLengthFrame(0x81, QByteArray::fromHex("FFFF FFFF FF FFFF FF")) << 65535 << 255
            << "65535,65535,255,65535,255, ";
        QTest::newRow("0x81 temperature unsigned")
            << fixedLengthFrame(0x81, QByteArray::fromHex("0000 0000 F6 0000 00")) << 0 << 246
            << "00000,00000,246,0000,0, ";
        QByteArray words;
        for (quint16 w : {1, 2676, 3243, 103, 0xFFFB, 0xFFF6, 12, 8, 9, 10, 11, 0xFFFF, 2, 0x8000, 0x7FFF})
            words.append(uint16Bytes(w));
        QTest::newRow("0x82 signed words 5, 6, 12-15")
            << fixedLengthFrame(0x82, words) << 2676 << -10
            << "00001,02676,03243,0103,-0005,-010,12,08,09,10,11,-00001,000002,-32768,032767,";
        QTest::newRow("0x82 zeros") << fixedLengthFrame(0x82, QByteArray(30, '\0')) << 0 << 0
                                    << "00000,00000,00000,0000,00000,0000,0,00,00,00,0,"
                                       "000000,000000,000000,000000,";
    }
    void measurementLines()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, distance);
        QFETCH(int, temperature);
        QFETCH(QString, line);
        const Answer a = decodeAnswer(frame);
        QVERIFY(a.measurement.has_value());
        QCOMPARE(int(a.measurement->distance), distance);
        QCOMPARE(a.measurement->temperature, temperature);
        QCOMPARE(measurementLine(*a.measurement), line);
        QCOMPARE(measurementLine(*a.measurement, QStringLiteral("14:03:07.250,")),
                 QStringLiteral("14:03:07.250,") + line);
    }

    void decodeTable_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<AnswerKind>("kind");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("threshold");  // -1: none

        QTest::newRow("hardware") << responseFrame(0x08, "V123") << AnswerKind::HardwareVersion
                                  << QStringList{"HARD: V-2.1.3"} << -1;
        QTest::newRow("firmware") << responseFrame(0x0E, "S401") << AnswerKind::FirmwareVersion
                                  << QStringList{"SOFT:S-0.4.1"} << -1;
        QTest::newRow("range") << responseFrame(0xE0, uint16Bytes(4000)) << AnswerKind::Range
                               << QStringList{"RANGE: 4000"} << -1;
        QTest::newRow("integration") << responseFrame(0x07, uint16Bytes(900))
                                     << AnswerKind::IntegrationTime
                                     << QStringList{"Integration: 900"} << -1;
        QTest::newRow("threshold") << responseFrame(0x03, QByteArray::fromHex("F401"))
                                   << AnswerKind::Threshold << QStringList() << 500;
        QTest::newRow("short threshold") << responseFrame(0x03, QByteArray::fromHex("F4"))
                                         << AnswerKind::Threshold << QStringList() << -1;
        QTest::newRow("short version") << responseFrame(0x08, "V1") << AnswerKind::HardwareVersion
                                       << QStringList() << -1;
        QTest::newRow("acknowledge") << responseFrame(0x55, QByteArray()) << AnswerKind::Other
                                     << QStringList() << -1;
    }
    void decodeTable()
    {
        QFETCH(QByteArray, frame);
        QFETCH(AnswerKind, kind);
        QFETCH(QStringList, lines);
        QFETCH(int, threshold);
        const Answer a = decodeAnswer(frame);
        QCOMPARE(a.kind, kind);
        QCOMPARE(int(a.code), int(quint8(frame[1])));
        QCOMPARE(a.lines, lines);
        QCOMPARE(a.threshold ? int(*a.threshold) : -1, threshold);
        QVERIFY(!a.measurement);
    }

    void shortMeasurementFramesDecodeToNothing()
    {
        const QByteArray example = QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98");
        QVERIFY(!decodeMeasurement(example.left(10)));
        QVERIFY(!decodeExtendedMeasurement(example));
        QVERIFY(!decodeAnswer(example.left(10)).measurement);
    }

    void ackLines()
    {
        QCOMPARE(ackLine(0x03), QStringLiteral("Ack  3"));
        QCOMPARE(ackLine(0xA0), QStringLiteral("Ack a0"));
        QVERIFY(isMeasurementCode(0x81) && isMeasurementCode(0x82) && !isMeasurementCode(0x80));
    }

    // The clock's cached offset must follow the zone's own changes: the local
    // time it gives equals the system's conversion at every instant, also
    // across the start of summer time and midnight.
    void localClockFollowsTheZone()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        LocalClock clock;
        const qint64 springForward = QDateTime(QDate(2024, 3, 31), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
        const qint64 midnight = QDateTime(QDate(2024, 6, 1), QTime(22, 0), Qt::UTC).toMSecsSinceEpoch();
        for (qint64 base : {springForward, midnight}) {
            for (qint64 ms : {-2001, -1000, -1, 0, 1, 999, 1000, 3600 * 1000}) {
                const QTime expected = QDateTime::fromMSecsSinceEpoch(base + ms).time();
                QCOMPARE(clock.timeOfDay(base + ms), expected);
            }
        }
        QCOMPARE(measurementTimeStamp(clock.timeOfDay(springForward)), QStringLiteral("03:00:00.000,"));
        qunsetenv("TZ");
        tzset();
    }

    void timeStampsAndRate()
    {
        const QDateTime t(QDate(2024, 5, 6), QTime(0, 0, 7, 5));
        QCOMPARE(measurementTimeStamp(t), QStringLiteral("00:00:07.005,"));
        QCOMPARE(triggerTimeStamp(t), QStringLiteral("00:00:07,"));
        QCOMPARE(frameRateText(10), std::optional<QString>(QStringLiteral("100.0 ")));
        QCOMPARE(frameRateText(300), std::optional<QString>(QStringLiteral("3.3 ")));
        QVERIFY(!frameRateText(0).has_value());
        QVERIFY(!frameRateText(-1).has_value());
    }
};

QTEST_GUILESS_MAIN(TstMeasurement)
#include "tst_measurement.moc"
