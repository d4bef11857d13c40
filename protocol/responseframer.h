#ifndef RESPONSEFRAMER_H
#define RESPONSEFRAMER_H

// Cuts the received byte stream into checked response frames.
//
// Reads carry any number of bytes: part of a frame, several frames, or noise.
// Bytes in front of a 0x89 header are skipped; a candidate frame whose check
// byte is wrong gives up only its header byte and the search resumes in the
// bytes already received, so a stray 0x89 never costs the frames behind it;
// an incomplete frame waits for the next read.

#include <QByteArray>
#include <QVector>

class ResponseFramer
{
public:
    // Appends bytes and returns every complete, checked frame now available, in order.
    QVector<QByteArray> feed(const QByteArray &bytes);

    // The line has been quiet this long with an incomplete candidate held:
    // its owner gives the candidate up.
    static constexpr int QuietGiveUpMs = 50;
    // An incomplete candidate frame is held.
    bool hasPartial() const { return !buffer.isEmpty(); }
    // Gives up the held candidate's header byte and returns the frames found
    // in the bytes behind it.
    QVector<QByteArray> giveUpPartial();

    // Bytes kept for a frame that is not complete yet.
    const QByteArray &pending() const { return buffer; }
    // Drops the pending bytes; the two counters keep counting.
    void clear();

    // Candidate frames whose check byte was wrong (each also writes "XOR err").
    quint64 checkFailures() const { return failedChecks; }
    // Bytes dropped because they were not a 0x89 where a header was sought
    // (the header byte of a failed candidate counts as a check failure only).
    quint64 skippedBytes() const { return skipped; }

private:
    QByteArray buffer;
    quint64 failedChecks = 0;
    quint64 skipped = 0;
};

#endif // RESPONSEFRAMER_H
