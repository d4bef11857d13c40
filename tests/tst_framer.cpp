// Cutting the received byte stream into checked response frames.

#include "protocol/frame.h"
#include "protocol/responseframer.h"
#include "support/testframes.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QtTest>

namespace {
using Frames = QVector<QByteArray>;

QByteArray bytes(const char *hexText)
{
    return QByteArray::fromHex(hexText);
}

QByteArray measurement(quint16 distance, quint16 amplitude = 0x0CAB)
{
    QByteArray payload(8, '\0');
    payload[0] = char(distance & 0xFF);
    payload[1] = char(distance >> 8);
    payload[2] = char(amplitude & 0xFF);
    payload[3] = char(amplitude >> 8);
    payload[4] = char(0x2F);
    return fixedLengthFrame(0x81, payload);
}

const QByteArray example = bytes("89 81 74 0A AB 0C 2F 67 00 01 98");

// Everything the framer gives for `stream` handed over in reads of the given
// sizes (cycled; empty: the whole stream at once), and separately what only
// giving up a quiet line brings out.
struct Output {
    Frames beforeQuiet;
    Frames atQuiet;
    Frames all() const { return beforeQuiet + atQuiet; }
};
Output run(const QByteArray &stream, const QVector<int> &reads)
{
    ResponseFramer framer;
    Output out;
    int pos = 0;
    int i = 0;
    while (pos < stream.size()) {
        const int n = reads.isEmpty() ? stream.size() : qMin(reads[i++ % reads.size()], stream.size() - pos);
        out.beforeQuiet += framer.feed(stream.mid(pos, n));
        pos += n;
    }
    out.atQuiet = framer.giveUpPartial();
    if (framer.hasPartial() || !framer.pending().isEmpty())
        qWarning("bytes still held after giving up");
    return out;
}

// The one fact about noise a receiver cannot see through: a stretch holding
// a whole checked candidate looks exactly like a frame.
bool holdsCheckedCandidate(const QByteArray &noise)
{
    for (int k = 0; k + 3 <= noise.size(); ++k) {
        if (quint8(noise[k]) != ResponseHeader)
            continue;
        const int len = expectedFrameLength(quint8(noise[k + 1]), quint8(noise[k + 2]));
        if (k + len <= noise.size() && checkFrameXor(noise.constData() + k, len))
            return true;
    }
    return false;
}

QByteArray randomBytes(QRandomGenerator &rng, int count, bool headers)
{
    QByteArray b(count, '\0');
    for (char &c : b) {
        c = char(rng.bounded(256));
        if (!headers && quint8(c) == ResponseHeader)
            c = char(0x88);
    }
    return b;
}

// A frame of any kind; `headers` allows 0x89 in its data and check byte.
QByteArray randomFrame(QRandomGenerator &rng, bool headers)
{
    for (;;) {
        QByteArray f;
        switch (rng.bounded(3)) {
        case 0:
            f = fixedLengthFrame(0x81, randomBytes(rng, 8, headers));
            break;
        case 1:
            f = fixedLengthFrame(0x82, randomBytes(rng, 30, headers));
            break;
        default: {
            quint8 code = quint8(rng.bounded(256));
            if (code == 0x81 || code == 0x82 || (!headers && code == ResponseHeader))
                code = 0x55;
            f = responseFrame(code, randomBytes(rng, int(rng.bounded(rng.bounded(4) == 0 ? 256 : 12)), headers));
        }
        }
        if (headers || !f.mid(1).contains(char(ResponseHeader)))
            return f;
    }
}

// Line damage: a frame with a byte changed, a frame cut short, noise where a
// quarter of the bytes are 0x89, a stray header with a code and a length.
QByteArray randomNoise(QRandomGenerator &rng)
{
    QByteArray noise;
    const int pieces = int(rng.bounded(3));
    for (int p = 0; p < pieces; ++p) {
        switch (rng.bounded(4)) {
        case 0: {
            QByteArray f = randomFrame(rng, true);
            const int at = int(rng.bounded(f.size()));
            f[at] = char(f[at] ^ char(1 + rng.bounded(255)));
            noise += f;
            break;
        }
        case 1:
            noise += randomFrame(rng, true).left(1 + int(rng.bounded(10)));
            break;
        case 2:
            for (int n = 1 + int(rng.bounded(8)); n > 0; --n)
                noise += rng.bounded(4) == 0 ? char(ResponseHeader) : char(rng.bounded(256));
            break;
        default:
            noise += char(ResponseHeader) + randomBytes(rng, int(rng.bounded(3)), true);
        }
    }
    return noise;
}

struct Stream {
    QByteArray bytes;
    Frames frames;
};

// Intact frames with damage between them. `exact`: frames carry no 0x89 past
// their header and no stretch of damage holds a whole checked candidate, the
// conditions under which every frame and nothing else must come out.
Stream randomStream(quint32 seed, int frameCount, bool exact)
{
    QRandomGenerator rng(seed);
    Stream s;
    for (int i = 0; i <= frameCount; ++i) {
        QByteArray noise;
        do
            noise = randomNoise(rng);
        while (exact && holdsCheckedCandidate(noise));
        s.bytes += noise;
        if (i == frameCount)
            break;
        const QByteArray f = randomFrame(rng, !exact);
        s.bytes += f;
        s.frames += f;
    }
    return s;
}

QVector<int> randomReads(quint32 seed)
{
    QRandomGenerator rng(seed);
    QVector<int> reads;
    for (int i = 0; i < 997; ++i)
        reads += 1 + int(rng.bounded(rng.bounded(8) == 0 ? 600 : 40));
    return reads;
}

int debugLines = 0;
QtMessageHandler previousHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && qstrcmp(context.category, "korvani.framer") == 0 && message == QLatin1String("XOR err")) {
        ++debugLines;
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

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

        const QByteArray m1 = measurement(1000), m2 = measurement(2000), m3 = measurement(3000);
        QByteArray badCheck = example;
        badCheck[10] = char(0x99);
        QByteArray longest(255, '\0');
        for (int i = 0; i < longest.size(); ++i)
            longest[i] = char((i * 13 + 1) & 0x7F);
        const QByteArray frame259 = responseFrame(0x55, longest);
        QByteArray longestBad = frame259;
        longestBad[200] = char(longestBad[200] ^ 1);
        const QByteArray extended = fixedLengthFrame(0x82, QByteArray(30, '\x01'));
        // 2441 mm: 89 81 89 09 ab ...: a candidate inside claims 175 bytes.
        const QByteArray headerInData = measurement(0x0989);

        QTest::newRow("one frame") << example << Frames{example} << 0;
        QTest::newRow("joined") << m1 + m2 + m3 << Frames{m1, m2, m3} << 0;
        QTest::newRow("four-byte answer") << bytes("89 08 00 81 89 55 00 dc")
                                          << Frames{bytes("89 08 00 81"), bytes("89 55 00 dc")} << 0;
        QTest::newRow("259 bytes") << frame259 << Frames{frame259} << 0;
        QTest::newRow("259 bytes, one bit wrong, then a frame") << longestBad + m1 << Frames{m1} << 0;
        QTest::newRow("extended, byte 2 not a length") << extended << Frames{extended} << 0;
        QTest::newRow("garbage around, 0x89 in it")
            << bytes("00 89 03 02") + m1 + bytes("89 04 01 77") + m2 + bytes("12 89") << Frames{m1, m2} << 0;
        QTest::newRow("frame followed by garbage") << m1 + bytes("00 11 22 33") + m2 << Frames{m1, m2} << 0;
        QTest::newRow("read starting mid-frame") << example.mid(4) + m1 << Frames{m1} << 0;
        QTest::newRow("wrong check byte") << badCheck + m1 << Frames{m1} << 0;
        QTest::newRow("cut short") << example.left(5) + m1 + m2 << Frames{m1, m2} << 0;
        // A damaged frame whose inside checks as 89 55 0c ..., 16 bytes
        // reaching into the next frame: "Ack 55" must not swallow 2676 mm.
        QTest::newRow("damaged frame, checked candidate inside")
            << bytes("89 81 89 55 0c 00 00 00 00 00 2e 89 81 74 0a ab 0c 2f 67 00 01 98"
                     "89 81 dc 05 ab 0c 2f 67 00 01 3f")
            << Frames{example, bytes("89 81 dc 05 ab 0c 2f 67 00 01 3f")} << 0;
        // Both readings are well-formed; the one that would leave a header
        // in the middle of nowhere ("Ack 89") is not taken.
        QTest::newRow("89 89 00 00 89") << bytes("89 89 00 00 89") << Frames{bytes("89 00 00 89")} << 1;
        QTest::newRow("stray header, large length") << bytes("89 55 f0") + m1 + m2 + m3 << Frames{m1, m2, m3} << 3;
        QTest::newRow("stray header alone") << bytes("89") + m1 << Frames{m1} << 1;
        QTest::newRow("stray header, its length runs out")
            << bytes("89 55 10") + m1 + m2 << Frames{m1, m2} << 0;
        // 89 55 04 01 [89 20 06 76 | 89 55 00 00 | 00 05] 00: inside the frame a
        // candidate checks and ends where a read may end; the byte after it,
        // not the end of the read, says it is no frame.
        const QByteArray falseInside = bytes("89 55 04 01 89 20 06 76");
        QTest::newRow("checked candidate inside, ending at a read's end")
            << falseInside + bytes("89 55 00 00 00 05 00") + m1 << Frames{falseInside, m1} << 0;
        QTest::newRow("0x89 in data, last frame") << headerInData << Frames{headerInData} << 1;
        QTest::newRow("0x89 in data, two frames follow")
            << headerInData + m1 + m2 << Frames{headerInData, m1, m2} << 0;
    }

    void streams()
    {
        QFETCH(QByteArray, stream);
        QFETCH(Frames, expected);
        QFETCH(int, heldUntilQuiet);
        for (const QVector<int> &reads : {QVector<int>{}, QVector<int>{1}, QVector<int>{4, 7, 2}}) {
            const Output out = run(stream, reads);
            QCOMPARE(out.all(), expected);
            QCOMPARE(out.atQuiet.size(), heldUntilQuiet);
        }
    }

    void countersPendingAndClear()
    {
        ResponseFramer framer;
        QByteArray bad = example;
        bad[10] = char(0x99);
        QCOMPARE(framer.feed(bytes("00 11") + bad + example.left(6)), Frames{});
        QCOMPARE(framer.checkFailures(), quint64(1));
        QCOMPARE(framer.skippedBytes(), quint64(2 + 10));
        QCOMPARE(framer.pending(), example.left(6));
        QVERIFY(framer.hasPartial());

        // Reopening the port: the held half frame is gone, the next frame whole.
        framer.clear();
        QVERIFY(!framer.hasPartial());
        QCOMPARE(framer.feed(example.mid(6) + example), Frames{example});
        QCOMPARE(framer.giveUpPartial(), Frames{});
    }

    void xorErrLoggedOnlyWhenAsked()
    {
        previousHandler = qInstallMessageHandler(countingHandler);
        QByteArray bad = example;
        bad[10] = char(0x99);
        debugLines = 0;
        ResponseFramer().feed(bad);
        QCOMPARE(debugLines, 0);
        QLoggingCategory::setFilterRules(QStringLiteral("korvani.framer.debug=true"));
        ResponseFramer().feed(bad);
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previousHandler);
        QCOMPARE(debugLines, 1);
    }

    void everyFrameOutAndNothingElse_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u})
            QTest::addRow("seed %u", seed) << seed;
    }

    void everyFrameOutAndNothingElse()
    {
        QFETCH(quint32, seed);
        const Stream s = randomStream(seed, 2000, true);
        QVERIFY(s.bytes.count(char(ResponseHeader)) > 3 * s.frames.size() / 2); // damage rich in headers
        QVERIFY(run(s.bytes, {}).all() == s.frames);
        QVERIFY(run(s.bytes, {1}).all() == s.frames);
        QVERIFY(run(s.bytes, randomReads(seed)).all() == s.frames);
    }

    void sameFramesWhateverTheReads()
    {
        // Frames carry 0x89 anywhere: decisions never depend on where a read
        // ends, and each frame given out is a checked, whole frame.
        const Stream s = randomStream(77u, 2000, false);
        const Frames whole = run(s.bytes, {}).all();
        QVERIFY(run(s.bytes, {1}).all() == whole);
        QVERIFY(run(s.bytes, randomReads(5u)).all() == whole);
        int kept = 0;
        for (const QByteArray &f : whole) {
            QCOMPARE(f.size(), expectedFrameLength(f));
            QVERIFY(checkFrameXor(f.constData(), f.size()));
            kept += s.frames.contains(f) ? 1 : 0;
        }
        QVERIFY2(kept >= s.frames.size() - 2, qPrintable(QString::number(kept)));
    }
};

int main(int argc, char *argv[])
{
    // The category's own default is under test, not the rules of the environment.
    qunsetenv("QT_LOGGING_RULES");
    QCoreApplication app(argc, argv);
    TstFramer test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_framer.moc"
