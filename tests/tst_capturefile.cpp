// The capture file: lines written and read back, and every malformed or
// hostile file refused with its line number (or, for a last line cut off,
// skipped with a warning), with bounded reading of an endless line.

#include "protocol/capturefile.h"
#include "support/testframes.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeFile(const QTemporaryDir &dir, const QByteArray &content)
{
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("capture%1.txt").arg(++serial));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

const QByteArray header = "# korvani capture 1\n# start 2026-12-07T15:20:00.123+08:00 port /dev/ttyUSB0 baud 115200\n";

} // namespace

class TestCaptureFile : public QObject
{
    Q_OBJECT

private slots:
    // Written lines read back as the same events, the header's start, port and baud too.
    void roundTrip()
    {
        QTemporaryDir dir;
        const QDateTime start = QDateTime::fromString(QStringLiteral("2026-12-07T15:20:00.123+08:00"), Qt::ISODateWithMs);
        QByteArray content = CaptureFormat::header(start, QStringLiteral("/dev/ttyUSB0"), 921600);
        const QVector<CaptureEvent> events = {
            {0, CaptureDirection::Tx, hex("56020054"), 3},
            {4512, CaptureDirection::Rx, hex("8981740aab0c2f67000198"), 4},
            {4512, CaptureDirection::Rx, QByteArray(1, '\0'), 5},
            {3723000001, CaptureDirection::Rx, hex("ff00"), 6},
        };
        for (const CaptureEvent &e : events)
            CaptureFormat::appendEvent(content, e.offsetUs, e.direction, e.bytes);
        QVERIFY(content.contains("\n0.004512 rx 8981740aab0c2f67000198\n"));
        QVERIFY(content.contains("\n3723.000001 rx ff00\n"));

        CaptureReader reader;
        QVERIFY(reader.open(writeFile(dir, content)));
        for (const CaptureEvent &want : events) {
            CaptureEvent got;
            QCOMPARE(reader.next(got), CaptureReader::Result::Event);
            QCOMPARE(got.offsetUs, want.offsetUs);
            QCOMPARE(got.direction, want.direction);
            QCOMPARE(got.bytes, want.bytes);
            QCOMPARE(got.line, want.line);
        }
        CaptureEvent end;
        QCOMPARE(reader.next(end), CaptureReader::Result::End);
        QCOMPARE(reader.start().toMSecsSinceEpoch(), start.toMSecsSinceEpoch());
        QCOMPARE(reader.port(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(reader.baud(), 921600);
    }

    void acceptedVariants_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("bytes");  // every rx line's bytes together
        QTest::newRow("comments, blank lines, whole seconds") << QByteArray("# a note\n\n2 rx 0102\n") << QByteArray("\x01\x02");
        QTest::newRow("upper-case hex, CRLF, same time twice") << QByteArray("1.0 rx 0A0b\r\n1.0 tx 02\n1.0 rx 03\n") << QByteArray("\x0a\x0b\x03");
    }

    void acceptedVariants()
    {
        QFETCH(QByteArray, body);
        QTemporaryDir dir;
        CaptureReader reader;
        QVERIFY(reader.open(writeFile(dir, header + body)));
        QByteArray rx;
        CaptureEvent e;
        CaptureReader::Result r;
        while ((r = reader.next(e)) == CaptureReader::Result::Event) {
            if (e.direction == CaptureDirection::Rx)
                rx += e.bytes;
        }
        QCOMPARE(r, CaptureReader::Result::End);
        QTEST(rx, "bytes");
    }

    // Each fault stops the reading at its line, with "FILE:LINE: reason".
    void malformed_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty file") << QByteArray() << 1 << "not a korvani capture";
        QTest::newRow("no header") << QByteArray("0.0 rx 01\n") << 1 << "not a korvani capture";
        QTest::newRow("another version") << QByteArray("# korvani capture 2\n") << 1 << "not a korvani capture";
        QTest::newRow("binary after the header") << header + "0.1 rx 01\n\x01\x02\x03\n" << 4 << "binary data";
        QTest::newRow("odd hex") << header + "0.1 rx 123\n" << 3 << "bad hex";
        QTest::newRow("not hex") << header + "0.1 rx 12zz\n" << 3 << "bad hex \"z";
        QTest::newRow("no bytes") << header + "0.1 rx\n" << 3 << "expected";
        QTest::newRow("direction") << header + "0.1 xx 01\n" << 3 << "unknown direction";
        QTest::newRow("negative time") << header + "-0.1 rx 01\n" << 3 << "bad time";
        QTest::newRow("seven decimals") << header + "0.1234567 rx 01\n" << 3 << "bad time";
        QTest::newRow("time overflow") << header + "99999999999999999999 rx 01\n" << 3 << "bad time";
        QTest::newRow("time backwards") << header + "0.5 rx 01\n# fine\n0.499999 rx 02\n" << 5 << "time goes backwards (0.499999 after 0.500000)";
        QTest::newRow("bad start line") << QByteArray("# korvani capture 1\n# start yesterday\n") << 2 << "malformed start line";
    }

    void malformed()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, line);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = writeFile(dir, content);
        CaptureReader reader;
        bool refused = !reader.open(path);
        if (!refused) {
            CaptureEvent e;
            CaptureReader::Result r;
            while ((r = reader.next(e)) == CaptureReader::Result::Event) {
            }
            QCOMPARE(r, CaptureReader::Result::Error);
            // Once failed, it stays ended.
            QCOMPARE(reader.next(e), CaptureReader::Result::End);
        }
        const QString prefix = QStringLiteral("%1:%2: ").arg(path).arg(line);
        QVERIFY2(reader.message().startsWith(prefix + reason), qPrintable(reader.message()));
    }

    // A capture cut off mid-line: what came before is read, the rest skipped with a warning.
    void cutOffLastLine()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, header + "0.1 rx 0102\n0.2 rx 03");
        CaptureReader reader;
        QVERIFY(reader.open(path));
        CaptureEvent e;
        QCOMPARE(reader.next(e), CaptureReader::Result::Event);
        QCOMPARE(reader.next(e), CaptureReader::Result::Truncated);
        QCOMPARE(reader.message(), QStringLiteral("%1:4: warning: the last line is incomplete; the rest was skipped").arg(path));
        QCOMPARE(reader.next(e), CaptureReader::Result::End);
    }

    // A 100 MB line is refused after reading no more than the longest line allowed.
    void endlessLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.txt"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(header + "0.1 rx ");
            const QByteArray block(1 << 20, 'a');
            for (int i = 0; i < 100; ++i)
                QCOMPARE(file.write(block), qint64(block.size()));
            file.write("\n0.2 rx 01\n");
        }
        CaptureReader reader;
        QVERIFY(reader.open(path));
        CaptureEvent e;
        QCOMPARE(reader.next(e), CaptureReader::Result::Error);
        QVERIFY2(reader.message().startsWith(path + QStringLiteral(":3: line longer than 1048576 bytes")),
                 qPrintable(reader.message()));
    }
};

QTEST_GUILESS_MAIN(TestCaptureFile)
#include "tst_capturefile.moc"
