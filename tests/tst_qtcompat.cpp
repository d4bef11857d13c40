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
    void localeEncoding()
    {
        const QByteArray expected = qgetenv("KORVANI_EXPECT_CODESET").toUpper();
        if (!expected.isEmpty())
            QCOMPARE(QByteArray(nl_langinfo(CODESET)).toUpper(), expected);  // the locale under test is in force
        // A log line, Chinese, a degree sign and a character outside the basic plane.
        const QByteArray utf8("abc\n1,2 \xe8\xb7\x9d\xe7\xa6\xbb \xe6\xb8\xa9\xe5\xba\xa6\xc2\xb0"
                              "C \xf0\x9f\x98\x80");
        QCOMPARE(toLocaleEncoding(QString::fromUtf8(utf8)), utf8);
    }
};

QTEST_GUILESS_MAIN(TestQtCompat)
#include "tst_qtcompat.moc"
