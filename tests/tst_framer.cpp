// Cutting the received byte stream into checked response frames.

#include "protocol/frame.h"
#include "protocol/responseframer.h"
#include "support/testframes.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
QByteArray measurement(quint16 distance)
{
    QByteArray payload(8, '\0');
    payload[0] = char(distance & 0xFF);
    payload[1] = char(distance >> 8);
    payload[2] = char(0x10);
    return fixedLengthFrame(0x81, payload);
}

const QByteArray example = QByteArray::fromHex("89 81 74 0A AB 0C 2F 67 00 01 98");

// Counts the "XOR err" debug lines (and keeps them out of the output);
// every other message goes on to the test framework.
int xorErrLines = 0;
QtMessageHandler previousHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && message == QLatin1String("XOR err")) {
        ++xorErrLines;
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

struct Stream {
    QByteArray bytes;
    QVector<QByteArray> frames;
    quint64 noise = 0;
};

// Valid frames of every kind with noise between them; the noise holds no
// 0x89 unless allowHeaderInNoise is set.
Stream randomStream(quint32 seed, int frameCount, bool allowHeaderInNoise)
{
    QRandomGenerator rng(seed);
    Stream s;
    for (int i = 0; i < frameCount; ++i) {
        const int noise = rng.bounded(4) == 0 ? rng.bounded(1, 25) : 0;
        for (int n = 0; n < noise; ++n) {
            quint8 b = quint8(rng.bounded(256));
            if (!allowHeaderInNoise && b == ResponseHeader)
                b = 0x88;
            s.bytes.append(char(b));
        }
        s.noise += quint64(noise);

        QByteArray frame;
        switch (rng.bounded(3)) {
        case 0: {
            QByteArray payload(8, '\0');
            for (char &c : payload)
                c = char(rng.bounded(256));
            frame = fixedLengthFrame(0x81, payload);
            break;
        }
        case 1: {
            QByteArray payload(30, '\0');
            for (char &c : payload)
                c = char(rng.bounded(256));
            frame = fixedLengthFrame(0x82, payload);
            break;
        }
        default: {
            quint8 code;
            do {
                code = quint8(rng.bounded(256));
            } while (code == 0x81 || code == 0x82);
            QByteArray data(rng.bounded(0, 60), '\0');
            for (char &c : data)
                c = char(rng.bounded(256));
            frame = responseFrame(code, data);
            break;
        }
        }
        s.bytes.append(frame);
        s.frames.append(frame);
    }
    return s;
}

QVector<QByteArray> feedInPieces(ResponseFramer &framer, const QByteArray &bytes,
                                 const QVector<int> &pieces)
{
    QVector<QByteArray> out;
    int pos = 0;
    int i = 0;
    while (pos < bytes.size()) {
        const int n = qMin(pieces.isEmpty() ? 1 : pieces[i++ % pieces.size()], bytes.size() - pos);
        out += framer.feed(bytes.mid(pos, n));
        pos += n;
    }
    return out;
}
} // namespace

class TstFramer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        xorErrLines = 0;
        previousHandler = qInstallMessageHandler(countingHandler);
    }
    void cleanup()
    {
        qInstallMessageHandler(previousHandler);
        previousHandler = nullptr;
    }

    void debugOutputIsSeen()
    {
        // Makes sure the counting below is meaningful: debug lines reach the handler.
        qDebug("XOR err");
        QCOMPARE(xorErrLines, 1);
    }

    void splitFrame()
    {
        ResponseFramer framer;
        QVERIFY(framer.feed(example.left(4)).isEmpty());
        QCOMPARE(framer.pending(), example.left(4));
        const auto frames = framer.feed(example.mid(4));
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0], example);
        QVERIFY(framer.pending().isEmpty());
        QCOMPARE(framer.checkFailures(), quint64(0));
        QCOMPARE(framer.skippedBytes(), quint64(0));
    }

    void shortHeadWaits()
    {
        ResponseFramer framer;
        QVERIFY(framer.feed(example.left(1)).isEmpty());
        QVERIFY(framer.feed(example.mid(1, 2)).isEmpty());
        QCOMPARE(framer.pending(), example.left(3));
        QCOMPARE(framer.feed(example.mid(3)), QVector<QByteArray>{example});
    }

    void twoFramesInOneRead()
    {
        ResponseFramer framer;
        const QByteArray first = measurement(1000);
        const QByteArray second = measurement(2000);
        const auto frames = framer.feed(first + second);
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0], first);
        QCOMPARE(frames[1], second);
        QVERIFY(framer.pending().isEmpty());
    }

    void frameAndStartOfNext()
    {
        ResponseFramer framer;
        const QByteArray second = measurement(2000);
        auto frames = framer.feed(example + second.left(5));
        QCOMPARE(frames, QVector<QByteArray>{example});
        QCOMPARE(framer.pending(), second.left(5));
        frames = framer.feed(second.mid(5));
        QCOMPARE(frames, QVector<QByteArray>{second});
    }

    void garbageInFront()
    {
        ResponseFramer framer;
        const auto frames = framer.feed(QByteArray::fromHex("00 11 22 FF") + example);
        QCOMPARE(frames, QVector<QByteArray>{example});
        QCOMPARE(framer.skippedBytes(), quint64(4));
        QCOMPARE(framer.checkFailures(), quint64(0));
    }

    void garbageOnlyIsDropped()
    {
        ResponseFramer framer;
        QVERIFY(framer.feed(QByteArray::fromHex("01 02 03 04 05")).isEmpty());
        QVERIFY(framer.pending().isEmpty());
        QCOMPARE(framer.skippedBytes(), quint64(5));
    }

    void readStartingMidFrame()
    {
        ResponseFramer framer;
        // The last seven bytes of a measurement frame, then a whole one.
        const auto frames = framer.feed(example.mid(4) + measurement(42));
        QCOMPARE(frames, QVector<QByteArray>{measurement(42)});
        QCOMPARE(framer.skippedBytes(), quint64(7));
    }

    void badCheckByte()
    {
        ResponseFramer framer;
        QByteArray bad = example;
        bad[10] = char(0x99);
        const QByteArray good = measurement(1234);
        const auto frames = framer.feed(bad + good);
        QCOMPARE(frames, QVector<QByteArray>{good});
        QCOMPARE(framer.checkFailures(), quint64(1));
        QCOMPARE(xorErrLines, 1);
        // The header of the bad frame is the failure; its other ten bytes are skipped.
        QCOMPARE(framer.skippedBytes(), quint64(10));
        QVERIFY(framer.pending().isEmpty());
    }

    void badCheckByteInSeparateReads()
    {
        ResponseFramer framer;
        QByteArray bad = example;
        bad[10] = char(0x99);
        QVERIFY(framer.feed(bad).isEmpty());
        QCOMPARE(xorErrLines, 1);
        QVERIFY(framer.pending().isEmpty());
        QCOMPARE(framer.feed(example), QVector<QByteArray>{example});
    }

    void strayHeaderWithLargeLength()
    {
        // A stray 0x89 followed by a code and the length byte 0xF0 claims 244
        // bytes; the frames that arrive meanwhile must all come out, in order,
        // once the false candidate can be checked.
        const QByteArray stray = QByteArray::fromHex("89 55 F0");
        QVector<QByteArray> sent;
        QByteArray stream = stray;
        for (int i = 0; i < 30; ++i) {
            sent.append(measurement(quint16(100 + i)));
            stream += sent.last();
        }
        QVERIFY(stream.size() >= 244);
        QVERIFY2(!checkFrameXor(stream.constData(), 244), "the stray candidate must fail its check");

        ResponseFramer framer;
        QVector<QByteArray> received = framer.feed(stray);
        for (const QByteArray &frame : sent)
            received += framer.feed(frame);
        QCOMPARE(received, sent);
        QCOMPARE(framer.checkFailures(), quint64(1));
        QCOMPARE(xorErrLines, 1);
        QCOMPARE(framer.skippedBytes(), quint64(2));
        QVERIFY(framer.pending().isEmpty());
    }

    void strayHeaderInOneRead()
    {
        QByteArray stream = QByteArray::fromHex("89 55 F0");
        QVector<QByteArray> sent;
        for (int i = 0; i < 25; ++i) {
            sent.append(measurement(quint16(7 * i)));
            stream += sent.last();
        }
        QVERIFY(!checkFrameXor(stream.constData(), 244));
        ResponseFramer framer;
        QCOMPARE(framer.feed(stream), sent);
    }

    void fourByteAnswer()
    {
        ResponseFramer framer;
        const QByteArray ack = QByteArray::fromHex("89 08 00 81");
        QCOMPARE(framer.feed(ack), QVector<QByteArray>{ack});
        QCOMPARE(framer.feed(QByteArray::fromHex("89 55 00 DC")),
                 QVector<QByteArray>{QByteArray::fromHex("89 55 00 DC")});
        QCOMPARE(framer.checkFailures(), quint64(0));
    }

    void longestFrame()
    {
        QByteArray data(255, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char((i * 13 + 1) & 0x7F); // no 0x89 inside
        const QByteArray frame = responseFrame(0x55, data);
        QCOMPARE(frame.size(), 259);
        QCOMPARE(quint8(frame[2]), quint8(0xFF));

        ResponseFramer framer;
        QVERIFY(framer.feed(frame.left(100)).isEmpty());
        QVERIFY(framer.feed(frame.mid(100, 158)).isEmpty());
        QCOMPARE(framer.feed(frame.mid(258)), QVector<QByteArray>{frame});

        // A wrong byte anywhere in the frame fails the check over all 258 bytes.
        for (int index : {1, 3, 200, 257}) {
            QByteArray bad = frame;
            bad[index] = char(bad[index] ^ 0x01);
            ResponseFramer f;
            QVERIFY(f.feed(bad).isEmpty());
            QCOMPARE(f.checkFailures(), quint64(1));
        }
    }

    void extendedFrameLength()
    {
        // 0x82 is 33 bytes whatever byte 2 holds.
        QByteArray payload(30, '\0');
        payload[0] = char(0x01);
        const QByteArray frame = fixedLengthFrame(0x82, payload);
        QCOMPARE(frame.size(), 33);
        ResponseFramer framer;
        QVERIFY(framer.feed(frame.left(32)).isEmpty());
        QCOMPARE(framer.feed(frame.mid(32)), QVector<QByteArray>{frame});
    }

    void clearDropsPending()
    {
        ResponseFramer framer;
        framer.feed(example.left(6));
        framer.clear();
        QVERIFY(framer.pending().isEmpty());
        QCOMPARE(framer.feed(example), QVector<QByteArray>{example});
    }

    void randomStreamByteByByte()
    {
        const Stream s = randomStream(20240601u, 3000, false);
        ResponseFramer framer;
        const QVector<QByteArray> received = feedInPieces(framer, s.bytes, {});
        QCOMPARE(received.size(), s.frames.size());
        QVERIFY(received == s.frames);
        QCOMPARE(framer.checkFailures(), quint64(0));
        QCOMPARE(framer.skippedBytes(), s.noise);
        QVERIFY(framer.pending().isEmpty());
    }

    void randomStreamInRandomPieces()
    {
        const Stream s = randomStream(7u, 3000, false);
        QRandomGenerator rng(99u);
        QVector<int> pieces;
        for (int i = 0; i < 500; ++i)
            pieces.append(rng.bounded(1, 400));
        ResponseFramer framer;
        QVERIFY(feedInPieces(framer, s.bytes, pieces) == s.frames);
        QCOMPARE(framer.checkFailures(), quint64(0));
    }

    void randomStreamWithStrayHeaders()
    {
        // Noise may now hold 0x89: a false candidate can (rarely) pass its check
        // and hide real frames, but every frame returned is a checked one, each
        // failure is reported, and nearly all frames come out in order.
        const Stream s = randomStream(4242u, 3000, true);
        ResponseFramer framer;
        const QVector<QByteArray> received = feedInPieces(framer, s.bytes, {1, 3, 64, 7});
        for (const QByteArray &frame : received) {
            QVERIFY(frame.size() >= 4);
            QCOMPARE(quint8(frame[0]), quint8(ResponseHeader));
            QCOMPARE(frame.size(), expectedFrameLength(frame));
            QVERIFY(checkFrameXor(frame.constData(), frame.size()));
        }
        int matched = 0;
        for (const QByteArray &frame : received) {
            if (matched < s.frames.size() && frame == s.frames[matched])
                ++matched;
        }
        QVERIFY2(matched >= s.frames.size() * 95 / 100,
                 qPrintable(QStringLiteral("%1 of %2").arg(matched).arg(s.frames.size())));
        QCOMPARE(quint64(xorErrLines), framer.checkFailures());
    }

    void longStreamInOneRead()
    {
        // Linear work: a few megabytes in one read and in small reads finish quickly.
        const Stream s = randomStream(1u, 100000, false);
        QVERIFY(s.bytes.size() > 2000000);
        QElapsedTimer timer;
        timer.start();
        ResponseFramer framer;
        const auto received = framer.feed(s.bytes);
        QVERIFY(received == s.frames);
        ResponseFramer small;
        QVERIFY(feedInPieces(small, s.bytes, {64, 200, 17}) == s.frames);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }
};

int main(int argc, char *argv[])
{
    // The test counts the framer's debug lines, so debug output must be on.
    qputenv("QT_LOGGING_RULES", "default.debug=true");
    QCoreApplication app(argc, argv);
    TstFramer test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_framer.moc"
