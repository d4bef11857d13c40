// The bytes the log files are written in: the platform's locale encoding,
// the same under Qt 5 and Qt 6. CTest runs this under a UTF-8 locale and
// under a GB18030 one (KORVANI_EXPECT_CODESET names the one expected).

#include "protocol/qtcompat.h"

#include <QtTest>

#include <langinfo.h>

class TestQtCompat : public QObject
{
    Q_OBJECT

private slots:
    void localeEncoding_data();
    void localeEncoding();
};

void TestQtCompat::localeEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("gb18030");

    QTest::newRow("ascii log line")
        << QStringLiteral("abc\n1,2") << QByteArray("abc\n1,2") << QByteArray("abc\n1,2");
    QTest::newRow("chinese")
        << QStringLiteral("距离,幅度")
        << QByteArray::fromHex("e8b79de7a6bb2ce5b985e5baa6")
        << QByteArray::fromHex("bee0c0eb2cb7f9b6c8");
    QTest::newRow("degree sign")
        << QStringLiteral("温度°C")
        << QByteArray::fromHex("e6b8a9e5baa6c2b043")
        << QByteArray::fromHex("cec2b6c8a1e343");
    QTest::newRow("outside the basic plane")
        << QString::fromUtf8("\xe2\x82\xac \xf0\x9f\x98\x80")
        << QByteArray::fromHex("e282ac20f09f9880")
        << QByteArray::fromHex("a2e320" "9439fc36");
}

void TestQtCompat::localeEncoding()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, gb18030);

    const QByteArray codeset = QByteArray(nl_langinfo(CODESET)).toUpper();
    const QByteArray expected = qgetenv("KORVANI_EXPECT_CODESET").toUpper();
    if (!expected.isEmpty())
        QCOMPARE(codeset, expected);  // the locale under test really is in force

    if (codeset == "UTF-8")
        QCOMPARE(toLocaleEncoding(text), utf8);
    else if (codeset == "GB18030")
        QCOMPARE(toLocaleEncoding(text), gb18030);
    else
        QSKIP("no expected bytes for this locale's character set");
}

QTEST_GUILESS_MAIN(TestQtCompat)
#include "tst_qtcompat.moc"
