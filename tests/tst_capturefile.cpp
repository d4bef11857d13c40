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

}  // namespace

class TestCaptureFile : public QObject
{
    Q_OBJECT

private slots:
    // Written lines read back as the same events, the header's start, port and baud too.
    void roundTrip()
    {
        QTemporaryDir dir;
        const QDateTime start =
            QDateTime::fromString(QStringLiteral("2026-12-07T15:20:00.123+08:00"), Qt::ISODateWithMs);
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

        const auto described = [](const CaptureEvent &e) {
            return QStringLiteral("%1 %2 %3 line %4")
                .arg(e.offsetUs)
                .arg(int(e.direction))
                .arg(QString(e.bytes.toHex()))
                .arg(e.line);
        };
        QStringList written, read;
        for (const CaptureEvent &e : events)
            written << described(e);
        CaptureReader reader;
        QVERIFY(reader.open(writeFile(dir, content)));
        CaptureEvent got;
        CaptureReader::Result r;
        while ((r = reader.next(got)) == CaptureReader::Result::Event)
            read << described(got);
        QCOMPARE(read, written);
        QCOMPARE(r, CaptureReader::Result::End);
        QCOMPARE(reader.start().toMSecsSinceEpoch(), start.toMSecsSinceEpoch());
        QCOMPARE(reader.port(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(reader.baud(), 921600);
    }

    // Read to its end: the received bytes, and "FILE:LINE: reason" where a
    // fault stops the reading (a warning where the last line is cut off).
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("rx");    // every rx line's bytes together
        QTest::addColumn<QString>("message");  // after "FILE:"; empty: read to the end
        const auto row = [](const char *name, const QByteArray &content, const QString &message,
                            const QByteArray &rx = {}) { QTest::newRow(name) << content << rx << message; };
        row("comments, blank lines, whole seconds", header + "# a note\n\n2 rx 0102\n", "", hex("0102"));
        row("upper-case hex, CRLF, same time twice", header + "1.0 rx 0A0b\r\n1.0 tx 02\n1.0 rx 03\n", "",
            hex("0a0b03"));
        row("last line cut off", header + "0.1 rx 0102\n0.2 rx 03",
            "4: warning: the last line is incomplete; the rest was skipped", hex("0102"));
        row("empty file", "", "1: not a korvani capture");
        row("another version", "# korvani capture 2\n", "1: not a korvani capture");
        row("bad start line", "# korvani capture 1\n# start yesterday\n", "2: malformed start line");
        row("binary after the header", header + "0.1 rx 01\n\x01\x02\x03\n", "4: binary data", hex("01"));
        row("odd hex", header + "0.1 rx 123\n", "3: bad hex");
        row("not hex", header + "0.1 rx 12zz\n", "3: bad hex \"z");
        row("no bytes", header + "0.1 rx\n", "3: expected");
        row("direction", header + "0.1 xx 01\n", "3: unknown direction");
        row("negative time", header + "-0.1 rx 01\n", "3: bad time");
        row("seven decimals", header + "0.1234567 rx 01\n", "3: bad time");
        row("time overflow", header + "99999999999999999999 rx 01\n", "3: bad time");
        row("time backwards", header + "0.5 rx 01\n# fine\n0.499999 rx 02\n",
            "5: time goes backwards (0.499999 after 0.500000)", hex("01"));
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, rx);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = writeFile(dir, content);
        CaptureReader reader;
        QByteArray read;
        CaptureEvent e;
        CaptureReader::Result r = CaptureReader::Result::Error;
        if (reader.open(path)) {
            while ((r = reader.next(e)) == CaptureReader::Result::Event)
                read += e.direction == CaptureDirection::Rx ? e.bytes : QByteArray();
            // Once ended, failed or cut off, it stays ended.
            QCOMPARE(reader.next(e), CaptureReader::Result::End);
        }
        QCOMPARE(read, rx);
        const bool warning = message.contains("warning");
        QCOMPARE(r,
                 message.isEmpty() ? CaptureReader::Result::End
                     : warning     ? CaptureReader::Result::Truncated
                                   : CaptureReader::Result::Error);
        if (!message.isEmpty())
            QVERIFY2(reader.message().startsWith(path + ':' + message), qPrintable(reader.message()));
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
