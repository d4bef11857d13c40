// The typed hexadecimal command line and the frames built from it.

#include "protocol/commandline.h"
#include "protocol/commands.h"

#include <QtTest>

namespace {
// The frame the program sends for a typed line, as the command line does it.
std::optional<QByteArray> frameFor(const QString &line, std::optional<quint8> id = std::nullopt)
{
    const auto tokens = parseCommandLine(line);
    if (!tokens)
        return std::nullopt;
    return commandFrame(quint8(tokens->at(0)), tokens->mid(1), id);
}
} // namespace

class TstCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("02") << "02" << QByteArray::fromHex("56 02 00 54");
        QTest::newRow("31") << "31" << QByteArray::fromHex("56 31 00 67");
        QTest::newRow("threshold") << "da e8 03 00 00"
                                   << QByteArray::fromHex("56 da 04 e8 03 00 00 63");
        QTest::newRow("upper case") << "DA E8 03 00 00"
                                    << QByteArray::fromHex("56 da 04 e8 03 00 00 63");
        QTest::newRow("blanks around") << "  02   " << QByteArray::fromHex("56 02 00 54");
        QTest::newRow("blanks between") << " da   e8 03  00 00 "
                                        << QByteArray::fromHex("56 da 04 e8 03 00 00 63");
        QTest::newRow("low byte of 1FF") << "1FF" << QByteArray::fromHex("56 ff 00 a9");
        QTest::newRow("single digits") << "2 a" << QByteArray::fromHex("56 02 01 0a 5f");
    }
    void frames()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, frame);
        const auto sent = frameFor(line);
        QVERIFY(sent.has_value());
        QCOMPARE(*sent, frame);
    }

    void addressed()
    {
        const auto sent = frameFor(QStringLiteral("da e8 03 00 00"), quint8(1));
        QVERIFY(sent.has_value());
        QCOMPARE(*sent, QByteArray::fromHex("56 01 da 04 e8 03 00 00 62"));
    }

    void tokens()
    {
        QCOMPARE(parseCommandLine(QStringLiteral("1FF")), std::optional<QByteArray>(QByteArray(1, char(0xFF))));
        QCOMPARE(parseCommandLine(QStringLiteral("da e8 03 00 00")),
                 std::optional<QByteArray>(QByteArray::fromHex("da e8 03 00 00")));
    }

    void nothingSent_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks only") << "     ";
        QTest::newRow("0g") << "0g";
        QTest::newRow("0g behind a good token") << "02 0g";
        QTest::newRow("word") << "hello";
    }
    void nothingSent()
    {
        QFETCH(QString, line);
        QVERIFY(!parseCommandLine(line).has_value());
    }

    void longestLine()
    {
        QStringList forty;
        for (int i = 0; i < MaxCommandLineTokens; ++i)
            forty << QString::number(i, 16);
        const auto bytes = parseCommandLine(forty.join(QLatin1Char(' ')));
        QVERIFY(bytes.has_value());
        QCOMPARE(bytes->size(), 40);
        QCOMPARE(quint8(bytes->at(39)), quint8(39));
        const auto frame = frameFor(forty.join(QLatin1Char(' ')));
        QVERIFY(frame.has_value());
        QCOMPARE(frame->size(), 40 + 3);
        QCOMPARE(quint8(frame->at(2)), quint8(39));

        QStringList fortyOne = forty;
        fortyOne << QStringLiteral("ff");
        QVERIFY(!parseCommandLine(fortyOne.join(QLatin1Char(' '))).has_value());
    }
};

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
