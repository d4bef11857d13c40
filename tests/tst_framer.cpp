// Cutting the received byte stream into checked response frames.

#include "protocol/responseframer.h"
#include "support/testframes.h"

#include <QtTest>

namespace {
using Frames = QVector<QByteArray>;

QByteArray measurement(quint16 mm)
{
    return fixedLengthFrame(0x81, uint16Bytes(mm) + hex("ab 0c 2f 00 00 00"));
}

const QByteArray example = hex("89 81 74 0A AB 0C 2F 67 00 01 98");

// Everything the framer gives for `stream` handed over in reads of the given
// sizes (cycled; empty: the whole stream at once); `atQuiet` counts what only
// giving up a quiet line brings out, and bytes still held after that show as
// a bogus frame "held".
Frames run(const QByteArray &stream, const QVector<int> &reads, int *atQuiet = nullptr)
{
    ResponseFramer framer;
    Frames out;
    for (int pos = 0, i = 0, n = 0; pos < stream.size(); pos += n) {
        n = reads.isEmpty() ? stream.size() : qMin(reads[i++ % reads.size()], stream.size() - pos);
        out += framer.feed(stream.mid(pos, n));
    }
    Frames quiet = framer.giveUpPartial();
    quiet += framer.hasPartial() ? Frames{"held"} : Frames();
    if (atQuiet)
        *atQuiet = quiet.size();
    return out + quiet;
}

}  // namespace

class TstFramer : public QObject
{
    Q_OBJECT

private slots:
    void streams_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<Frames>("expected");
        // How many of the expected frames (the last ones) come out only
        // when a quiet line is given up.
        QTest::addColumn<int>("heldUntilQuiet");

        const QByteArray m1 = measurement(1000), m2 = measurement(2000), m3 = measurement(3000),
                         extended = fixedLengthFrame(0x82, QByteArray(30, '\x01'));
        const QByteArray frame259 = responseFrame(0x55, QByteArray(255, '\x11')),
                         bad259 = frame259.left(200) + char(frame259[200] ^ 1) + frame259.mid(201);
        // 2441 mm: 89 81 89 09 ab ...: a candidate inside claims 175 bytes.
        const QByteArray headerInData = measurement(0x0989), falseInside = hex("89 55 04 01 89 20 06 76");

        QTest::newRow("every length, joined") << m1 + hex("89 08 00 81") + extended + frame259 + m2
                                              << Frames{m1, hex("89 08 00 81"), extended, frame259, m2} << 0;
        QTest::newRow("damage and garbage, 0x89 in it") << example.mid(4) + hex("00 89 03 02") + m1 + example.left(10)
                + hex("99 89 04 01 77") + m2 + example.left(5) + bad259 + m3
                + hex("12 89") << Frames{m1, m2, m3} << 0;
        // A damaged frame whose inside checks as 89 55 0c ..., 16 bytes
        // reaching into the next frame: "Ack 55" must not swallow 2676 mm.
        QTest::newRow("damaged frame, checked candidate inside")
            << hex("89 81 89 55 0c 00 00 00 00 00 2e 89 81 74 0a ab 0c 2f 67 00 01 98"
                   "89 81 dc 05 ab 0c 2f 67 00 01 3f")
            << Frames{example, hex("89 81 dc 05 ab 0c 2f 67 00 01 3f")} << 0;
        // Both readings are well-formed; the one that would leave a header
        // in the middle of nowhere ("Ack 89") is not taken.
        QTest::newRow("89 89 00 00 89") << hex("89 89 00 00 89") << Frames{hex("89 00 00 89")} << 1;
        QTest::newRow("stray header, large length") << hex("89 55 f0") + m1 + m2 + m3 << Frames{m1, m2, m3} << 3;
        QTest::newRow("stray header, its length runs out") << hex("89 55 10") + m1 + m2 << Frames{m1, m2} << 0;
        // 89 55 04 01 [89 20 06 76 | 89 55 00 00 | 00 05] 00: inside the frame a
        // candidate checks and ends where a read may end; the byte after it,
        // not the end of the read, says it is no frame.
        QTest::newRow("checked candidate inside, ending at a read's end")
            << falseInside + hex("89 55 00 00 00 05 00") + m1 << Frames{falseInside, m1} << 0;
        // 89 55 04 d8 [89 55 16 ca | m1 | m2] m3: the candidate inside checks and
        // is followed by a header, but runs over confirmed frames: no veto.
        QTest::newRow("checked candidate inside, running over frames")
            << hex("89 55 04 d8 89 55 16 ca") + m1 + m2 + m3 << Frames{hex("89 55 04 d8 89 55 16 ca"), m1, m2, m3} << 0;
        QTest::newRow("0x89 in data, last frame") << headerInData << Frames{headerInData} << 1;
        QTest::newRow("0x89 in data, two follow") << headerInData + m1 + m2 << Frames{headerInData, m1, m2} << 0;
    }

    void streams()
    {
        QFETCH(QByteArray, stream);
        QFETCH(Frames, expected);
        QFETCH(int, heldUntilQuiet);
        for (const QVector<int> &reads : {QVector<int>{}, QVector<int>{1}, QVector<int>{4, 7, 2}}) {
            int atQuiet = -1;
            QCOMPARE(run(stream, reads, &atQuiet), expected);
            QCOMPARE(atQuiet, heldUntilQuiet);
        }
    }
};

QTEST_GUILESS_MAIN(TstFramer)
#include "tst_framer.moc"
