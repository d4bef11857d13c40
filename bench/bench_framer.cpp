// The framer on a hostile line: every second frame damaged (a flipped byte,
// cut short, or replaced by noise rich in 0x89 and stray headers), the bytes
// handed over in reads of random size. Prints the intact frames lost, the
// frames dispatched that were never sent, how long an intact frame was held
// back after its last byte had arrived, and the cost per frame.
//
//   bench_framer [frames per seed] [seeds]     (default 1000000 frames, 3 seeds)

#include "protocol/frame.h"
#include "protocol/responseframer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QVector>

#include <cstdio>

namespace {

QByteArray randomBytes(QRandomGenerator &rng, int count)
{
    QByteArray b(count, '\0');
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

bool measurementsOnly = false;

// Mostly measurement frames, some extended ones and answers of every length
// (or measurement frames only).
QByteArray randomFrame(QRandomGenerator &rng)
{
    QByteArray f;
    const int kind = measurementsOnly ? 0 : int(rng.bounded(10));
    if (kind < 6) {
        f = char(0x89) + QByteArray(1, char(0x81)) + randomBytes(rng, 8) + '\0';
    } else if (kind < 8) {
        f = char(0x89) + QByteArray(1, char(0x82)) + randomBytes(rng, 30) + '\0';
    } else {
        quint8 code;
        do
            code = quint8(rng.bounded(256));
        while (code == 0x81 || code == 0x82);
        const int n = kind == 8 ? int(rng.bounded(8)) : int(rng.bounded(256));
        f = char(0x89) + QByteArray(1, char(code)) + QByteArray(1, char(n)) + randomBytes(rng, n) + '\0';
    }
    setFrameXor(f.data(), quint16(f.size()));
    return f;
}

// Noise where a quarter of the bytes are 0x89, sometimes a stray header with
// a code and a length byte.
QByteArray noise(QRandomGenerator &rng)
{
    QByteArray b;
    const int count = 1 + int(rng.bounded(12));
    for (int i = 0; i < count; ++i)
        b.append(rng.bounded(4) == 0 ? char(0x89) : char(rng.bounded(256)));
    if (rng.bounded(3) == 0)
        b.append(char(0x89) + randomBytes(rng, int(rng.bounded(3))));
    return b;
}

QByteArray damaged(QRandomGenerator &rng)
{
    QByteArray f = randomFrame(rng);
    switch (rng.bounded(3)) {
    case 0: {
        const int at = int(rng.bounded(f.size()));
        f[at] = char(f[at] ^ char(1 + rng.bounded(255)));
        return f;
    }
    case 1:
        return f.left(1 + int(rng.bounded(f.size() - 1)));
    default:
        return noise(rng);
    }
}

struct Result {
    quint64 frames = 0;
    quint64 lost = 0;
    quint64 bogus = 0;
    quint64 bogusOverlapping = 0;  // bogus frames that overlap an intact one
    quint64 bytes = 0;
    qint64 worstHeldBytes = 0;
    quint64 heldUntilQuiet = 0;
    double seconds = 0;
};

Result run(quint32 seed, int frameCount)
{
    QRandomGenerator rng(seed);
    QVector<QByteArray> intact;
    QVector<qint64> intactEnd;  // stream offset just past each intact frame
    QByteArray stream;
    for (int i = 0; i < frameCount; ++i) {
        if (i % 2 == 1) {
            stream += damaged(rng);
            continue;
        }
        const QByteArray f = randomFrame(rng);
        stream += f;
        intact.append(f);
        intactEnd.append(stream.size());
    }

    Result r;
    r.frames = quint64(frameCount);
    r.bytes = quint64(stream.size());
    ResponseFramer framer;
    int next = 0;  // intact frame expected next
    int searchFrom = 0;  // where the latest frame given out starts, plus one
    // fedBefore: stream bytes handed over before the read that gave `out`.
    auto account = [&](const QVector<QByteArray> &out, qint64 fedBefore, bool quiet) {
        for (const QByteArray &f : out) {
            // The frame must be one of the next intact ones; those passed over are lost.
            int k = next;
            while (k < intact.size() && k < next + 64 && intact[k] != f)
                ++k;
            if (k < intact.size() && intact[k] == f) {
                searchFrom = int(intactEnd[k]) - f.size() + 1;
                r.lost += quint64(k - next);
                if (k > next && qEnvironmentVariableIsSet("BENCH_FRAMER_DEBUG")) {
                    for (int j = next; j < k; ++j)
                        std::printf("lost %s\n  context %s\n", intact[j].toHex(' ').constData(),
                                    stream.mid(int(intactEnd[j] - intact[j].size() - 40), intact[j].size() + 80).toHex(' ').constData());
                }
                if (quiet)
                    ++r.heldUntilQuiet;
                else
                    r.worstHeldBytes = qMax(r.worstHeldBytes, fedBefore - intactEnd[k]);
                next = k + 1;
            } else {
                ++r.bogus;
                // Wholly inside noise (bytes that are a frame, nobody can
                // tell) or over an intact frame (what a framer must avoid)?
                const int at = stream.indexOf(f, searchFrom);
                searchFrom = at + 1;
                for (int j = next; at >= 0 && j < qMin(next + 64, intact.size()); ++j) {
                    const qint64 start = intactEnd[j] - intact[j].size();
                    if (start < at + f.size() && intactEnd[j] > at) {
                        ++r.bogusOverlapping;
                        break;
                    }
                }
                if (qEnvironmentVariableIsSet("BENCH_FRAMER_DEBUG")) {
                    std::printf("bogus %s\n  at %d, context %s\n", f.toHex(' ').constData(), at,
                                stream.mid(at - 30, f.size() + 60).toHex(' ').constData());
                }
            }
        }
    };

    QElapsedTimer timer;
    timer.start();
    QRandomGenerator reads(seed ^ 0x5EED);
    qint64 pos = 0;
    while (pos < stream.size()) {
        // Mostly small reads as an adapter hands them over, sometimes large ones.
        const int want = reads.bounded(8) == 0 ? 1 + int(reads.bounded(2000)) : 1 + int(reads.bounded(40));
        const int n = int(qMin<qint64>(want, stream.size() - pos));
        const QVector<QByteArray> out = framer.feed(QByteArray::fromRawData(stream.constData() + pos, n));
        account(out, pos, false);
        pos += n;
    }
    account(framer.giveUpPartial(), pos, true);
    r.seconds = timer.elapsed() / 1000.0;
    r.lost += quint64(intact.size() - next);
    return r;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? atoi(argv[1]) : 1000000;
    const int seeds = argc > 2 ? atoi(argv[2]) : 3;
    bool clean = true;
    for (bool onlyMeasurements : {false, true}) {
        measurementsOnly = onlyMeasurements;
        std::printf("%s\n", onlyMeasurements ? "measurement frames only:"
                                             : "measurement, extended and answer frames of every length:");
        Result total;
        for (int s = 1; s <= seeds; ++s) {
            const Result r = run(quint32(s), frames);
            std::printf("  seed %d: %llu frames (%llu intact), %llu bytes: lost %llu, bogus %llu "
                        "(%llu over intact frames), worst hold %lld bytes, held until quiet %llu, "
                        "%.3f us/frame\n",
                        s, (unsigned long long)r.frames, (unsigned long long)(r.frames + 1) / 2,
                        (unsigned long long)r.bytes, (unsigned long long)r.lost,
                        (unsigned long long)r.bogus, (unsigned long long)r.bogusOverlapping,
                        (long long)r.worstHeldBytes,
                        (unsigned long long)r.heldUntilQuiet, 1e6 * r.seconds / double(r.frames));
            total.frames += r.frames;
            total.lost += r.lost;
            total.bogus += r.bogus;
            total.bogusOverlapping += r.bogusOverlapping;
            total.worstHeldBytes = qMax(total.worstHeldBytes, r.worstHeldBytes);
            total.seconds += r.seconds;
        }
        // 115200 baud sends 11.52 bytes per ms; a 100 Hz measurement stream 1.1.
        std::printf("  total: %llu frames, intact lost %llu, bogus dispatched %llu (%llu over intact "
                    "frames, the rest wholly inside noise), worst hold %lld bytes "
                    "(%.1f ms on a busy 115200 baud line, %.0f ms in a 100 Hz measurement stream), "
                    "%.3f us/frame\n",
                    (unsigned long long)total.frames, (unsigned long long)total.lost,
                    (unsigned long long)total.bogus, (unsigned long long)total.bogusOverlapping,
                    (long long)total.worstHeldBytes,
                    double(total.worstHeldBytes) / 11.52, double(total.worstHeldBytes) / 1.1,
                    1e6 * total.seconds / double(total.frames));
        clean = clean && total.lost == 0 && total.bogus == 0;
    }
    return clean ? 0 : 1;
}
