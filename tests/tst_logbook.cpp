// The compact log store: the text read back, counted and cut from its end
// must be exactly the lines put in, across chunk boundaries and after a clear.

#include "measure/logbook.h"

#include <QtTest>

namespace {
QStringList measurementLines(int n)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << QStringLiteral("12:%1:%2.%3,%4,03119,47,0000,1, ")
                     .arg(i / 6000 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i / 100 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 100 * 10, 3, 10, QLatin1Char('0'))
                     .arg(2600 + i * 7919 % 150, 5, 10, QLatin1Char('0'));
    return lines;
}

QByteArray readBack(const LogBook &log, bool *piecesEndAtLineEnds)
{
    QByteArray text;
    QVector<QByteArray> pieces;
    const bool complete = log.forEachPiece([&](const QByteArray &piece) {
        pieces.append(piece);
        text.append(piece);
        return true;
    });
    *piecesEndAtLineEnds = complete;
    for (int i = 0; i + 1 < pieces.size(); ++i)
        *piecesEndAtLineEnds = *piecesEndAtLineEnds && pieces[i].endsWith('\n');
    return text;
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
        QTest::newRow("one line") << QStringList{"02676,03243,47,0103,1, "};
        QTest::newRow("one empty line") << QStringList{""};
        QTest::newRow("empty lines") << QStringList{"", "", "Ack 55", ""};
        QTest::newRow("Chinese") << QStringList{"硬件版本：V1.2", "软件版本：3.4", "阈值 ≥ 100"};
        QTest::newRow("markup and line feeds")
            << QStringList{"<b>x</b>", "a\nb", "\n", "c & d"};
        // The last line closes a chunk: nothing is left open.
        QTest::newRow("ends at a chunk's end")
            << QStringList{"a", QString(LogBook::ChunkBytes, QLatin1Char('x'))};
        QTest::newRow("many chunks") << measurementLines(20000);
        QStringList mixed = measurementLines(9000);
        for (int i = 0; i < mixed.size(); i += 97)
            mixed[i] = QStringLiteral("系数 %1 ").arg(i).repeated(i % 5);
        QTest::newRow("many chunks, mixed") << mixed;
    }
    void readsBackWhatWasAppended()
    {
        QFETCH(QStringList, lines);
        LogBook log;
        // One at a time and in batches, as the window appends them.
        for (int i = 0; i < lines.size(); i += 3) {
            if (i % 2 == 0)
                log.append(lines.mid(i, 3));
            else
                for (const QString &line : lines.mid(i, 3))
                    log.append(line);
        }
        const QByteArray expected = lines.join(QLatin1Char('\n')).toUtf8();
        const QStringList split = lines.isEmpty() ? QStringList()
                                                  : lines.join(QLatin1Char('\n')).split(QLatin1Char('\n'));

        bool piecesEndAtLineEnds = false;
        QCOMPARE(readBack(log, &piecesEndAtLineEnds), expected);
        QVERIFY(piecesEndAtLineEnds);
        QCOMPARE(log.byteCount(), qint64(expected.size()));
        QCOMPARE(log.lineCount(), qint64(split.size()));
        QCOMPARE(log.isEmpty(), lines.isEmpty());
        for (int n : {0, 1, 2, 5, 1000, 5000, 12345, int(split.size()), int(split.size()) + 10})
            QCOMPARE(log.lastLines(n), split.mid(qMax(0, split.size() - n)));
    }

    void compactAndClearedCompletely()
    {
        LogBook log;
        const QStringList lines = measurementLines(50000);
        log.append(lines);
        log.append(lines);
        // Far below the text's own size: the full chunks are packed.
        QVERIFY2(log.retainedBytes() < log.byteCount() / 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(log.retainedBytes()).arg(log.byteCount())));
        log.clear();
        QVERIFY(log.isEmpty());
        QCOMPARE(log.byteCount(), 0);
        QCOMPARE(log.lastLines(10), QStringList());
        bool ok = false;
        QCOMPARE(readBack(log, &ok), QByteArray());
        QVERIFY(log.retainedBytes() < 1024);

        log.append(QStringLiteral("Ack 55"));
        QCOMPARE(readBack(log, &ok), QByteArray("Ack 55"));
        QCOMPARE(log.lastLines(3), QStringList{"Ack 55"});
    }

    void boundedBookKeepsTheNewest()
    {
        const int keep = 3000;
        LogBook log(keep);
        const QStringList lines = measurementLines(100000);
        qint64 mostRetained = 0;
        for (const QString &line : lines) {
            log.append(line);
            mostRetained = qMax(mostRetained, log.retainedBytes());
        }
        QVERIFY(log.lineCount() >= keep);
        QVERIFY(log.lineCount() < keep + LogBook::ChunkBytes / 30);
        QCOMPARE(log.lastLines(keep), lines.mid(lines.size() - keep));
        QVERIFY2(mostRetained < 4 * LogBook::ChunkBytes, qPrintable(QString::number(mostRetained)));
        bool ok = false;
        const QByteArray text = readBack(log, &ok);
        QVERIFY(text.endsWith(lines.mid(lines.size() - keep).join(QLatin1Char('\n')).toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TstLogBook)
#include "tst_logbook.moc"
