// The compact log store: the text read back, counted and cut from its end
// must be exactly the lines put in, across chunk boundaries, after a clear and
// in a book bounded to its newest lines. Its save: the bytes of the text in
// the locale's encoding, and on every failure the system's reason with the
// old file left as it was.

#include "log/logbook.h"
#include "log/logfile.h"

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
        lines << (i % 97 ? QString::asprintf("%d,%05d,03119,47,0000,1, ", i, 2600 + i * 7919 % 150)
                         : QStringLiteral("系数 %1 ").arg(i).repeated(i % 5));
    return lines;
}

// The joined text, read piece by piece; "<cut>" marks a piece that did not end
// at a line end (each must decode on its own), "<stopped>" a read-back that failed.
QByteArray readBack(const LogBook &log)
{
    QByteArray text;
    const auto take = [&](const QByteArray &piece) {
        return text.append(text.isEmpty() || text.endsWith('\n') ? piece : "<cut>" + piece), true;
    };
    return log.forEachPiece(take) ? text : text + "<stopped>";
}
}  // namespace

class TstLogBook : public QObject
{
    Q_OBJECT

private slots:
    void readsBackWhatWasAppended_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("keep");  // the newest lines a bounded book keeps at least; 0: all
        QTest::newRow("nothing") << QStringList() << 0;
        QTest::newRow("one empty line") << QStringList{""} << 0;
        QTest::newRow("empty lines, Chinese, markup, line feeds")
            << QStringList{"", "", "硬件版本：V1.2", "<b>x</b>", "a\nb", "\n", "阈值 ≥ 100", ""} << 0;
        // The last line closes a chunk: nothing is left open.
        QTest::newRow("ends at a chunk's end") << QStringList{"a", QString(LogBook::ChunkBytes, QLatin1Char('x'))} << 0;
        QTest::newRow("many chunks") << measurementLines(40000) << 0;
        // More than a chunk holds, so that keeping too few shows at any end.
        QTest::newRow("bounded to the newest 10000") << measurementLines(100000) << 10000;
    }
    void readsBackWhatWasAppended()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, keep);
        LogBook log(keep);
        log.append(measurementLines(5000));
        log.clear();  // gives back everything
        // In a batch and one at a time, as the window appends them.
        log.append(lines.mid(0, lines.size() / 2));
        for (const QString &line : lines.mid(lines.size() / 2))
            log.append(line);
        // Full chunks are packed far below the text's own size; a bounded book
        // drops a whole chunk at a time: at most one chunk's lines (about 25
        // bytes each) more than it keeps.
        const qint64 retained = log.retainedBytes(), count = log.lineCount();
        QVERIFY2(lines.isEmpty() ? retained < 1024
                     : keep
                     ? retained < 4 * LogBook::ChunkBytes && count >= keep && count < keep + LogBook::ChunkBytes / 20
                     : lines.size() < 1000 || retained < log.byteCount() / 2,
                 qPrintable(QString("%1 bytes, %2 lines").arg(retained).arg(count)));
        const QString text = lines.mid(keep ? lines.size() - log.lineCount() : 0).join(QLatin1Char('\n'));
        const QStringList split = lines.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
        QCOMPARE(readBack(log), text.toUtf8());
        QCOMPARE(log.byteCount(), qint64(text.toUtf8().size()));
        QCOMPARE(log.lineCount(), qint64(split.size()));
        for (int n : {0, 1, 2, 5, 1000, 3000, 12345, int(split.size()), int(split.size()) + 10})
            QCOMPARE(log.lastLines(n), split.mid(qMax(0, split.size() - n)));
    }

    void save_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<int>("reason");  // 0: saved
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << 0;
        QTest::newRow("GB18030") << QByteArray("GB18030") << 0;
        QTest::newRow("folder is a file") << QByteArray("UTF-8") << ENOTDIR;  // old.csv/log.csv
        // Past the limit the system refuses a write after several chunks were written.
        QTest::newRow("file too large") << QByteArray("GB18030") << EFBIG;
    }
    void save()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(int, reason);
        const QStringList lines = measurementLines(40000);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        QTextCodec *const codec = QTextCodec::codecForName(encoding);  // nothing after this depends on the locale's
        QTextCodec::setCodecForLocale(codec);
        const QByteArray expected = codec->fromUnicode(lines.join(QLatin1Char('\n')));
#else
        if (encoding != "UTF-8")
            QSKIP("Qt 6 writes the system's encoding, UTF-8 here");
        const QByteArray expected = lines.join(QLatin1Char('\n')).toUtf8();
#endif
        QTemporaryDir dir;
        QFile file(dir.filePath("old.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
        file.close();
        LogBook log;
        log.append(lines);

        // With the file size limit lowered to 300000 bytes, a write past it fails
        // with EFBIG (SIGXFSZ ignored); the limit is restored before checking.
        rlimit was{};
        getrlimit(RLIMIT_FSIZE, &was);
        const rlimit limited{reason == EFBIG ? rlim_t(300000) : was.rlim_cur, was.rlim_max};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        std::signal(SIGXFSZ, SIG_IGN);
        QString error;
        const bool saved = writeLogFile(dir.filePath(reason == ENOTDIR ? "old.csv/log.csv" : "old.csv"), log, &error);
        setrlimit(RLIMIT_FSIZE, &was);

        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.csv"});
        QVERIFY2(reason ? !saved && error.contains(qt_error_string(reason)) : saved, qPrintable(error));
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"),
                 reason ? QByteArray("old") : expected);
    }
};

QTEST_GUILESS_MAIN(TstLogBook)
#include "tst_logbook.moc"
