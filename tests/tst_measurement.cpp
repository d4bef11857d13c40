// Decoding of the measurement frames into values and measurement lines,
// the time stamps and the frame rate text.

#include "measure/measurement.h"
#include "protocol/frame.h"

#include <QtTest>

namespace {
QByteArray checked(QByteArray frame)
{
    setFrameXor(frame.data(), quint16(frame.size()));
    return frame;
}

QByteArray measurementFrame(quint16 distance, quint16 amplitude, quint8 temperature,
                            quint16 ambient, quint8 dac)
{
    QByteArray f(11, '\0');
    f[0] = char(0x89);
    f[1] = char(0x81);
    f[2] = char(distance & 0xFF);
    f[3] = char(distance >> 8);
    f[4] = char(amplitude & 0xFF);
    f[5] = char(amplitude >> 8);
    f[6] = char(temperature);
    f[7] = char(ambient & 0xFF);
    f[8] = char(ambient >> 8);
    f[9] = char(dac);
    return checked(f);
}

// Words 1 to 15 as 16-bit patterns.
QByteArray extendedFrame(const QVector<quint16> &words)
{
    QByteArray f(33, '\0');
    f[0] = char(0x89);
    f[1] = char(0x82);
    for (int w = 1; w <= 15; ++w) {
        f[2 * w] = char(words[w - 1] & 0xFF);
        f[2 * w + 1] = char(words[w - 1] >> 8);
    }
    return checked(f);
}
} // namespace

class TstMeasurement : public QObject
{
    Q_OBJECT

private slots:
    void exampleFrame()
    {
        const QByteArray frame = QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98");
        const Measurement m = decodeMeasurement(frame);
        QCOMPARE(m.line, QStringLiteral("02676,03243,47,0103,1, "));
        QCOMPARE(int(m.distance), 2676);
        QCOMPARE(int(m.amplitude), 3243);
        QCOMPARE(m.temperature, 47);
        QCOMPARE(int(m.ambient), 103);
        QCOMPARE(int(m.driverCurrent), 1);
    }

    void timeStampPrefix()
    {
        const QByteArray frame = QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98");
        QCOMPARE(decodeMeasurement(frame, QStringLiteral("14:03:07.250,")).line,
                 QStringLiteral("14:03:07.250,02676,03243,47,0103,1, "));
        QCOMPARE(decodeMeasurement(frame, QString()).line,
                 QStringLiteral("02676,03243,47,0103,1, "));
    }

    void temperatureIsUnsigned()
    {
        const Measurement m = decodeMeasurement(measurementFrame(0, 0, 0xF6, 0, 0));
        QCOMPARE(m.temperature, 246);
        QCOMPARE(m.line, QStringLiteral("00000,00000,246,0000,0, "));
        QCOMPARE(decodeMeasurement(measurementFrame(0, 0, 0xFF, 0, 0)).temperature, 255);
    }

    void widthsAndLargestValues()
    {
        QCOMPARE(decodeMeasurement(measurementFrame(7, 0, 5, 9, 3)).line,
                 QStringLiteral("00007,00000,05,0009,3, "));
        const Measurement m = decodeMeasurement(measurementFrame(0xFFFF, 0xFFFF, 0xFF, 0xFFFF, 0xFF));
        QCOMPARE(int(m.distance), 65535);
        QCOMPARE(m.line, QStringLiteral("65535,65535,255,65535,255, "));
        QVERIFY(m.line.endsWith(QLatin1String(", ")));
    }

    void extendedFrameFields()
    {
        QVector<quint16> words;
        for (int w = 1; w <= 15; ++w)
            words.append(quint16(w));
        words[1] = 2676;    // word 2 distance
        words[2] = 3243;    // word 3 amplitude
        words[3] = 103;     // word 4 ambient
        words[4] = 0xFFFB;  // word 5 signed: -5
        words[5] = 0xFFF6;  // word 6 temperature: -10
        words[6] = 12;      // word 7 DAC
        words[11] = 0x8000; // word 12 signed: -32768
        words[14] = 0x7FFF; // word 15 signed: 32767
        const Measurement m = decodeExtendedMeasurement(extendedFrame(words));
        QCOMPARE(int(m.distance), 2676);
        QCOMPARE(int(m.amplitude), 3243);
        QCOMPARE(int(m.ambient), 103);
        QCOMPARE(m.temperature, -10);
        QCOMPARE(int(m.driverCurrent), 12);
        QCOMPARE(m.line, QStringLiteral("00001,02676,03243,0103,-0005,-010,12,08,09,10,11,"
                                        "-32768,000013,000014,032767,"));
        QVERIFY(m.line.endsWith(QLatin1Char(',')));
        QVERIFY(!m.line.endsWith(QLatin1String(", ")));
    }

    void extendedUnsignedWords()
    {
        QVector<quint16> words(15, 0xFFFF);
        const Measurement m = decodeExtendedMeasurement(extendedFrame(words), QStringLiteral("T,"));
        QCOMPARE(int(m.distance), 65535);
        QCOMPARE(m.temperature, -1);
        QCOMPARE(m.line, QStringLiteral("T,65535,65535,65535,65535,-0001,-001,65535,65535,65535,"
                                        "65535,65535,-00001,-00001,-00001,-00001,"));
    }

    void extendedZeros()
    {
        const Measurement m = decodeExtendedMeasurement(extendedFrame(QVector<quint16>(15, 0)));
        QCOMPARE(m.line, QStringLiteral("00000,00000,00000,0000,00000,0000,0,00,00,00,0,"
                                        "000000,000000,000000,000000,"));
    }

    void distanceSeven()
    {
        QVector<quint16> words(15, 0);
        words[1] = 7;
        QVERIFY(decodeExtendedMeasurement(extendedFrame(words)).line.startsWith(
            QLatin1String("00000,00007,")));
    }

    void shortFramesDecodeToNothing()
    {
        const QByteArray example = QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98");
        const Measurement m = decodeMeasurement(example.left(10));
        QVERIFY(m.line.isEmpty());
        QCOMPARE(int(m.distance), 0);
        QVERIFY(decodeExtendedMeasurement(example).line.isEmpty());
    }

    void timeStamps()
    {
        const QDateTime t(QDate(2024, 5, 6), QTime(14, 3, 7, 250));
        QCOMPARE(measurementTimeStamp(t), QStringLiteral("14:03:07.250,"));
        QCOMPARE(triggerTimeStamp(t), QStringLiteral("14:03:07,"));
        const QDateTime early(QDate(2024, 5, 6), QTime(0, 0, 0, 5));
        QCOMPARE(measurementTimeStamp(early), QStringLiteral("00:00:00.005,"));
        const QDateTime evening(QDate(2024, 5, 6), QTime(23, 59, 59, 999));
        QCOMPARE(measurementTimeStamp(evening), QStringLiteral("23:59:59.999,"));
        QCOMPARE(triggerTimeStamp(evening), QStringLiteral("23:59:59,"));
    }

    void frameRate()
    {
        QCOMPARE(frameRateText(20), std::optional<QString>(QStringLiteral("50.0 ")));
        QCOMPARE(frameRateText(10), std::optional<QString>(QStringLiteral("100.0 ")));
        QCOMPARE(frameRateText(1), std::optional<QString>(QStringLiteral("1000.0 ")));
        QCOMPARE(frameRateText(300), std::optional<QString>(QStringLiteral("3.3 ")));
        QCOMPARE(frameRateText(2000), std::optional<QString>(QStringLiteral("0.5 ")));
        QVERIFY(!frameRateText(0).has_value());
        QVERIFY(!frameRateText(-1).has_value());
        QVERIFY(!frameRateText(-1000).has_value());
    }
};

QTEST_GUILESS_MAIN(TstMeasurement)
#include "tst_measurement.moc"
