#ifndef RESPONSEFRAMER_H
#define RESPONSEFRAMER_H

// Cuts the received byte stream into checked response frames.
//
// Reads carry any number of bytes: part of a frame, several frames, noise
// (0x89 bytes included) or frames damaged on the line. An 8-bit check passes
// by chance once in 256, so a 0x89 that is not a header (noise, the inside of
// a damaged frame) sometimes starts a candidate that checks although it is no
// frame; it may claim up to 259 bytes and would swallow the real frames
// inside it. A check alone is therefore not enough. Words used below:
//  - candidate: a 0x89 and the length its bytes 1 and 2 give (11 for 0x81,
//    33 for 0x82, byte 2 + 4 otherwise); complete once all its bytes are here;
//  - checked: complete, and its last byte is the XOR of the bytes before it;
//  - confirmed: checked and followed by a 0x89, as a frame in a stream of
//    frames is. The end of what has arrived counts only once the line has
//    been given up as quiet: a read may end anywhere, so a decision that
//    hangs on the byte after a candidate waits for that byte;
//  - inner: starting at a 0x89 inside another candidate's bytes; nested when
//    it also ends inside them;
//  - contested: some inner candidate of it is confirmed.
//
// Rule. Bytes up to the next 0x89 are skipped. A candidate whose check fails
// gives up its header byte only, and the search resumes behind it. A checked
// candidate C is a frame unless an inner candidate Q vetoes it: Q is checked,
// not contested, and C is not confirmed, or Q is nested, or Q is confirmed.
// A vetoed C gives up its header byte and the search goes on (and reaches Q).
//
// Why. A false candidate that swallows a real frame F has F as an inner
// candidate: F checks, and nothing inside F is confirmed (but by a chance of
// its own), so F vetoes unless the false candidate ends at a 0x89 inside F
// while F is followed by noise.
// A real frame C is vetoed only by a false candidate starting at a 0x89 in
// its data that passes its check by chance, is not contested (so it cannot
// run over confirmed frames behind C) and, when C is confirmed, ends inside C
// or at a 0x89. So a real frame followed by noise is kept, and so is nearly
// every frame that carries 0x89 bytes in its data. Exactly: when frames carry
// no 0x89 after their header and no stretch of noise holds a whole checked
// candidate, every frame comes out, in order, and nothing else. Beyond that
// it is a matter of chance: a stretch of noise may hold what is, byte for
// byte, a frame (bench/bench_framer measures how often on a hostile line).
//
// Waiting. An incomplete candidate waits for more bytes; so does a checked
// candidate while an inner candidate that might veto it cannot be judged yet
// (incomplete, or hanging on a byte not yet here; an incomplete one no longer
// counts once a confirmed candidate starts inside what it has). Fewer than
// 780 bytes are ever held (a candidate, one inside it, one inside that). A
// stray 0x89 holds the frames behind it until its claimed length has arrived,
// up to 259 bytes: the owner calls giveUpPartial() once the line has been
// quiet for QuietGiveUpMs, and clear() when the port is opened again. A frame
// that ends a read with no 0x89 inside it is returned at once. Whether a
// frame comes out never depends on where the reads end.
//
// Cost: each feed walks the held and the new bytes once; a candidate checks in
// constant time (running XOR) and looks at most at the 0x89 bytes inside its
// own span and inside its inner candidates' spans.

#include <QByteArray>
#include <QVector>

class ResponseFramer
{
public:
    // Longer than a USB-to-UART adapter pauses inside one frame (pieces come
    // up to ~16 ms apart, a 30 ms pause must not cost the frame), shorter than
    // the 100 ms answer time-out, so a held answer still ends its waiting send.
    static constexpr int QuietGiveUpMs = 50;

    // Appends bytes and returns every frame now decided, in order.
    QVector<QByteArray> feed(const QByteArray &bytes);

    // True while bytes are held for a frame not decided yet.
    bool hasPartial() const { return !buffer.isEmpty(); }
    // For a line quiet for QuietGiveUpMs: nothing more of a held frame is
    // coming, so every incomplete candidate held is given up (its header byte
    // dropped, the bytes behind it searched again) and every checked candidate
    // is decided on what has arrived. Returns the frames found, in order;
    // afterwards nothing is held.
    QVector<QByteArray> giveUpPartial();

    // Bytes held for a frame not decided yet.
    const QByteArray &pending() const { return buffer; }
    // Drops the held bytes (the port was opened again); the counters keep counting.
    void clear();

    // Complete candidates whose check byte was wrong (each also logs "XOR err"
    // as a debug line in the category korvani.framer, off by default).
    quint64 checkFailures() const { return failedChecks; }
    // Bytes dropped otherwise: bytes that were not a 0x89 where a header was
    // sought, and the header bytes of vetoed and given-up candidates.
    quint64 skippedBytes() const { return skipped; }

private:
    QVector<QByteArray> scan(bool final);

    QByteArray buffer;
    quint64 failedChecks = 0;
    quint64 skipped = 0;
};

#endif // RESPONSEFRAMER_H
