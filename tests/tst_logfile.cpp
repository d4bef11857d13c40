// Saving a log: the exact bytes a text stream in the locale's encoding writes
// for the joined lines, and on every failure the system's reason with the
// old file left as it was.

#include "measure/logbook.h"
#include "measure/logfile.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

namespace {
QStringList measurementLines(int n)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << QStringLiteral("%1,%2,03119,47,0000,1, ").arg(i).arg(2600 + i * 7919 % 150, 5, 10, QLatin1Char('0'));
    return lines;
}

// What the window wrote before the log was kept in a book: the view's text
// through a text stream with the locale's encoding.
QByteArray streamed(const QString &text)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QTextStream stream(&buffer);
    stream << text;
    stream.flush();
    return bytes;
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

LogBook bookOf(const QStringList &lines)
{
    LogBook log;
    log.append(lines);
    return log;
}

// Holds the process's file size limit at `bytes` while it lives; a write past
// it then fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
    bool m_set = false;
};
} // namespace

class TstLogFile : public QObject
{
    Q_OBJECT

private slots:
    void savedBytes_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QStringList>("lines");
        const QStringList chinese{"硬件版本：V1.2", "", "Ack 55", "阈值 ≥ 100 – ok"};
        const QStringList encodings{"UTF-8", "GB18030", "ISO-8859-1"};
        for (const QString &encoding : encodings) {
            const QByteArray tag = encoding.toLatin1();
            QTest::newRow(tag + ", one line") << encoding << QStringList{"02676,03243,47,0103,1, "};
            QTest::newRow(tag + ", empty lines") << encoding << QStringList{"", "", "x", ""};
            QTest::newRow(tag + ", Chinese") << encoding << chinese;
            QStringList many = measurementLines(30000);
            many.insert(12345, chinese.join(QLatin1Char('\n')));
            QTest::newRow(tag + ", many chunks") << encoding << many;
        }
    }
    void savedBytes()
    {
        QFETCH(QString, encoding);
        QFETCH(QStringList, lines);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        QTextCodec *const before = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(encoding.toLatin1()));
        auto restore = qScopeGuard([before] { QTextCodec::setCodecForLocale(before); });
#else
        if (encoding != QLatin1String("UTF-8"))
            QSKIP("Qt 6 writes the system's encoding, UTF-8 here");
#endif
        QTemporaryDir dir;
        const QString path = dir.filePath("log.csv");
        QString error;
        QVERIFY2(writeLogFile(path, bookOf(lines), &error), qPrintable(error));
        const QByteArray expected = streamed(lines.join(QLatin1Char('\n')));
        QCOMPARE(fileContent(path).size(), expected.size());
        QCOMPARE(fileContent(path), expected);
    }

    void failureKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("fileSizeLimit");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder is a file") << "old.csv/log.csv" << qint64(0) << QString::fromLocal8Bit(strerror(ENOTDIR));
        QTest::newRow("no such folder") << "none/log.csv" << qint64(0) << QString::fromLocal8Bit(strerror(ENOENT));
        // Past the limit the system refuses the write; below one chunk, at
        // the first write, and after several chunks were written.
        QTest::newRow("file too large, first write") << "old.csv" << qint64(1000) << QString::fromLocal8Bit(strerror(EFBIG));
        QTest::newRow("file too large, later write") << "old.csv" << qint64(300000) << QString::fromLocal8Bit(strerror(EFBIG));
    }
    void failureKeepsTheOldFile()
    {
        QFETCH(QString, name);
        QFETCH(qint64, fileSizeLimit);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QByteArray old("an older log\nkept as it is");
        {
            QFile file(dir.filePath("old.csv"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
        }
        const LogBook log = bookOf(measurementLines(40000));
        QVERIFY(log.byteCount() > 3 * fileSizeLimit);

        bool saved = true;
        QString error;
        if (fileSizeLimit > 0) {
            FileSizeLimit limit{rlim_t(fileSizeLimit)};
            QVERIFY(limit.isSet());
            saved = writeLogFile(dir.filePath(name), log, &error);
        } else {
            saved = writeLogFile(dir.filePath(name), log, &error);
        }
        QVERIFY(!saved);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(fileContent(dir.filePath("old.csv")), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.csv"});
    }
};

QTEST_GUILESS_MAIN(TstLogFile)
#include "tst_logfile.moc"
