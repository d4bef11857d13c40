// The capture file: what the program writes read back as the same events,
// and every malformed or hostile file refused with its line number (or, for
// a last line cut off, skipped with a warning), an endless line included.

#include "protocol/capturefile.h"
#include "support/testframes.h"

#include <QtTest>

namespace {

const QByteArray header = "# korvani capture 1\n# start 2026-12-07T15:20:00.123+08:00 port /dev/ttyUSB0 baud 115200\n";

// The events as the program writes them, after the header above.
QByteArray written()
{
    const QDateTime start = QDateTime::fromString(QStringLiteral("2026-12-07T15:20:00.123+08:00"), Qt::ISODateWithMs);
    QByteArray content = CaptureFormat::header(start, QStringLiteral("/dev/ttyUSB0"), 115200);
    CaptureFormat::appendEvent(content, 0, CaptureDirection::Tx, hex("56020054"));
    CaptureFormat::appendEvent(content, 4512, CaptureDirection::Rx, hex("8981740aab0c2f67000198"));
    CaptureFormat::appendEvent(content, 4512, CaptureDirection::Rx, QByteArray(1, '\0'));
    CaptureFormat::appendEvent(content, 3723000001, CaptureDirection::Rx, hex("ff00"));
    return content;
}

}  // namespace

class TestCaptureFile : public QObject
{
    Q_OBJECT

private slots:
    // Read to its end: the events "time direction bytes line", and
    // "FILE:LINE: reason" where a fault stops the reading (a warning where
    // the last line is cut off).
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("message");  // after "FILE:"; empty: read to the end
        const auto row = [](const char *name, const QByteArray &content, const QString &message,
                            const QStringList &events = {}) { QTest::newRow(name) << content << events << message; };
        row("written by the program", written(), "",
            {"0 tx 56020054 3", "4512 rx 8981740aab0c2f67000198 4", "4512 rx 00 5", "3723000001 rx ff00 6"});
        row("comments, blank lines, whole seconds", header + "# a note\n\n2 rx 0102\n", "", {"2000000 rx 0102 5"});
        row("upper-case hex, CRLF, same time twice", header + "1.0 rx 0A0b\r\n1.0 tx 02\n", "",
            {"1000000 rx 0a0b 3", "1000000 tx 02 4"});
        row("last line cut off", header + "0.1 rx 0102\n0.2 rx 03",
            "4: warning: the last line is incomplete; the rest was skipped", {"100000 rx 0102 3"});
        row("empty file", "", "1: not a korvani capture");
        row("another version", "# korvani capture 2\n", "1: not a korvani capture");
        row("bad start line", "# korvani capture 1\n# start yesterday\n", "2: malformed start line");
        row("binary after the header", header + "0.1 rx 01\n\x01\x02\x03\n", "4: binary data", {"100000 rx 01 3"});
        row("odd hex", header + "0.1 rx 123\n", "3: bad hex");
        row("not hex", header + "0.1 rx 12zz\n", "3: bad hex \"z");
        row("no bytes", header + "0.1 rx\n", "3: expected");
        row("direction", header + "0.1 xx 01\n", "3: unknown direction");
        row("negative time", header + "-0.1 rx 01\n", "3: bad time");
        row("seven decimals", header + "0.1234567 rx 01\n", "3: bad time");
        row("time overflow", header + "99999999999999999999 rx 01\n", "3: bad time");
        row("time backwards", header + "0.5 rx 01\n# fine\n0.499999 rx 02\n",
            "5: time goes backwards (0.499999 after 0.500000)", {"500000 rx 01 3"});
        // Refused once the longest line allowed has been read, not at its end.
        row("endless line", header + "0.1 rx " + QByteArray(2 * CaptureFormat::MaxLineBytes, 'a') + "\n",
            "3: line longer than 1048576 bytes");
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        CaptureReader reader;
        QStringList events;
        CaptureEvent e;
        CaptureReader::Result r = CaptureReader::Result::Error;
        if (reader.open(path)) {
            while ((r = reader.next(e)) == CaptureReader::Result::Event)
                events << QStringLiteral("%1 %2 %3 %4")
                              .arg(e.offsetUs)
                              .arg(e.direction == CaptureDirection::Rx ? "rx" : "tx")
                              .arg(QString(e.bytes.toHex()))
                              .arg(e.line);
            // Once ended, failed or cut off, it stays ended.
            QCOMPARE(reader.next(e), CaptureReader::Result::End);
        }
        QTEST(events, "events");
        const bool warning = message.contains("warning");
        QCOMPARE(r,
                 message.isEmpty() ? CaptureReader::Result::End
                     : warning     ? CaptureReader::Result::Truncated
                                   : CaptureReader::Result::Error);
        if (!message.isEmpty())
            QVERIFY2(reader.message().startsWith(path + ':' + message), qPrintable(reader.message()));
        else
            QCOMPARE((QStringList{QString::number(reader.start().toMSecsSinceEpoch()), reader.port(),
                                  QString::number(reader.baud())}),
                     (QStringList{"1796628000123", "/dev/ttyUSB0", "115200"}));
    }
};

QTEST_GUILESS_MAIN(TestCaptureFile)
#include "tst_capturefile.moc"
