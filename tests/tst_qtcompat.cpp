// The bytes the log files are written in: the platform's locale encoding,
// the same under Qt 5 and Qt 6. On Linux both take the locale's text as
// UTF-8 whatever the locale's name: CTest runs this under a UTF-8 locale and
// under a GB18030 one (KORVANI_EXPECT_CODESET names the one in force), where
// Qt 5 writes UTF-8 all the same, so a Qt 6 build must not write GB18030.

#include "platform/qtcompat.h"

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

    QTest::newRow("ascii log line")
        << QStringLiteral("abc\n1,2") << QByteArray("abc\n1,2");
    QTest::newRow("chinese")
        << QStringLiteral("距离,幅度")
        << QByteArray::fromHex("e8b79de7a6bb2ce5b985e5baa6");
    QTest::newRow("degree sign")
        << QStringLiteral("温度°C")
        << QByteArray::fromHex("e6b8a9e5baa6c2b043");
    QTest::newRow("outside the basic plane")
        << QString::fromUtf8("\xe2\x82\xac \xf0\x9f\x98\x80")
        << QByteArray::fromHex("e282ac20f09f9880");
}

void TestQtCompat::localeEncoding()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, utf8);

    const QByteArray codeset = QByteArray(nl_langinfo(CODESET)).toUpper();
    const QByteArray expected = qgetenv("KORVANI_EXPECT_CODESET").toUpper();
    if (!expected.isEmpty())
        QCOMPARE(codeset, expected);  // the locale under test really is in force
    QCOMPARE(toLocaleEncoding(text), utf8);
}

QTEST_GUILESS_MAIN(TestQtCompat)
#include "tst_qtcompat.moc"
