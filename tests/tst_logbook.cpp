// The compact log store: the text read back, counted and cut from its end
// must be exactly the lines put in, across chunk boundaries, after a clear and
// in a book bounded to its newest lines. Its save: the bytes of the text in
// the locale's encoding, and on every failure the system's reason with the
// old file left as it was.

#include "measure/logbook.h"
#include "measure/logfile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

namespace {
// Measurement lines, with a Chinese (or empty) one every 97 lines.
QStringList measurementLines(int n)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << (i % 97 ? QStringLiteral("%1,%2,03119,47,0000,1, ").arg(i).arg(2600 + i * 7919 % 150, 5, 10, QLatin1Char('0'))
                         : QStringLiteral("系数 %1 ").arg(i).repeated(i % 5));
    return lines;
}

// The joined text, read piece by piece; "<cut>" marks a piece that did not end
// at a line end (each must decode on its own), "<stopped>" a read-back that failed.
QByteArray readBack(const LogBook &log)
{
    QByteArray text;
    const bool complete = log.forEachPiece([&](const QByteArray &piece) {
        text.append(!text.isEmpty() && !text.endsWith('\n') ? "<cut>" + piece : piece);
        return true;
    });
    return complete ? text : text + "<stopped>";
}
} // namespace

class TstLogBook : public QObject
{
    Q_OBJECT

private slots:
    void readsBackWhatWasAppended_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("one empty line") << QStringList{""};
        QTest::newRow("empty lines") << QStringList{"", "", "Ack 55", ""};
        QTest::newRow("Chinese, markup and line feeds") << QStringList{"硬件版本：V1.2", "<b>x</b>", "a\nb", "\n", "阈值 ≥ 100"};
        // The last line closes a chunk: nothing is left open.
        QTest::newRow("ends at a chunk's end") << QStringList{"a", QString(LogBook::ChunkBytes, QLatin1Char('x'))};
        QTest::newRow("many chunks") << measurementLines(40000);
    }
    void readsBackWhatWasAppended()
    {
        QFETCH(QStringList, lines);
        LogBook log;
        // In a batch and one at a time, as the window appends them.
        log.append(lines.mid(0, lines.size() / 2));
        for (const QString &line : lines.mid(lines.size() / 2))
            log.append(line);
        const QString text = lines.join(QLatin1Char('\n'));
        const QStringList split = lines.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
        QCOMPARE(readBack(log), text.toUtf8());
        QCOMPARE(log.byteCount(), qint64(text.toUtf8().size()));
        QCOMPARE(log.lineCount(), qint64(split.size()));
        for (int n : {0, 1, 2, 5, 1000, 12345, int(split.size()), int(split.size()) + 10})
            QCOMPARE(log.lastLines(n), split.mid(qMax(0, split.size() - n)));
        // Full chunks are packed far below the text's own size; a clear gives back all.
        QVERIFY2(split.size() < 1000 || log.retainedBytes() < log.byteCount() / 2, qPrintable(QString::number(log.retainedBytes())));
        log.clear();
        QVERIFY2(log.retainedBytes() < 1024, qPrintable(QString::number(log.retainedBytes())));
        log.append(QStringLiteral("Ack 55"));
        QCOMPARE(readBack(log), QByteArray("Ack 55"));
        QCOMPARE(log.lastLines(3), QStringList{"Ack 55"});
    }

    void boundedBookKeepsTheNewest()
    {
        const QStringList lines = measurementLines(100000);
        LogBook log(3000);  // keeps at least the newest 3000
        log.append(lines);
        QVERIFY2(log.retainedBytes() < 4 * LogBook::ChunkBytes, qPrintable(QString::number(log.retainedBytes())));
        // Dropped a whole chunk at a time: at most one chunk's lines (about 25 bytes each) more.
        QVERIFY2(log.lineCount() >= 3000 && log.lineCount() < 3000 + LogBook::ChunkBytes / 20, qPrintable(QString::number(log.lineCount())));
        QCOMPARE(readBack(log), lines.mid(lines.size() - log.lineCount()).join(QLatin1Char('\n')).toUtf8());
        QCOMPARE(log.lastLines(3000), lines.mid(lines.size() - 3000));
    }

    void save_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("name");       // beside an existing old.csv
        QTest::addColumn<int>("fileSizeLimit");  // 0: none
        QTest::addColumn<int>("reason");         // 0: saved
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << "old.csv" << 0 << 0;
        QTest::newRow("GB18030") << QByteArray("GB18030") << "old.csv" << 0 << 0;
        QTest::newRow("folder is a file") << QByteArray("UTF-8") << "old.csv/log.csv" << 0 << ENOTDIR;
        // Past the limit the system refuses the write: at the first write,
        // and after several chunks were written.
        QTest::newRow("file too large, first write") << QByteArray("UTF-8") << "old.csv" << 1000 << EFBIG;
        QTest::newRow("file too large, later write") << QByteArray("GB18030") << "old.csv" << 300000 << EFBIG;
    }
    void save()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, name);
        QFETCH(int, fileSizeLimit);
        QFETCH(int, reason);
        const QStringList lines = measurementLines(40000);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        QTextCodec *const codec = QTextCodec::codecForName(encoding), *const before = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(codec);
        auto restore = qScopeGuard([before] { QTextCodec::setCodecForLocale(before); });
        const QByteArray expected = codec->fromUnicode(lines.join(QLatin1Char('\n')));
#else
        if (encoding != "UTF-8")
            QSKIP("Qt 6 writes the system's encoding, UTF-8 here");
        const QByteArray expected = lines.join(QLatin1Char('\n')).toUtf8();
#endif
        QTemporaryDir dir;
        const QByteArray old("an older log\nkept as it is");
        QFile file(dir.filePath("old.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        file.close();
        LogBook log;
        log.append(lines);

        // With the file size limit lowered, a write past it fails with EFBIG
        // (SIGXFSZ ignored); the limit is restored before checking.
        rlimit was{};
        getrlimit(RLIMIT_FSIZE, &was);
        const rlimit limited{fileSizeLimit ? rlim_t(fileSizeLimit) : was.rlim_cur, was.rlim_max};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        QString error;
        const bool saved = writeLogFile(dir.filePath(name), log, &error);
        setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, handler);

        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.csv"});
        QVERIFY2(reason ? !saved && error.contains(qt_error_string(reason)) : saved, qPrintable(error));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), reason ? old : expected);
    }
};

QTEST_GUILESS_MAIN(TstLogBook)
#include "tst_logbook.moc"
