#ifndef FRAMESHAPER_H
#define FRAMESHAPER_H

// The line faults a module (or its adapter) shows, applied to each outgoing
// frame on its way to the writer:
//  - corrupt checks: the check byte of every Nth frame is wrong;
//  - garbage: one to six noise bytes in front of each frame, about a quarter
//    of them 0x89 (what a reader searching for the header finds hardest: a
//    false header that may claim the frame behind it);
//  - join: frames are gathered and written `count` at a time in one write;
//    a group that does not fill up goes out HoldLimitMs after its first frame;
//  - split: each write is cut into two or three pieces with a pause of a
//    few milliseconds between them, so the reader sees several reads.
// With no fault switched on a frame is one write.

#include <QByteArray>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

class LineWriter;

class FrameShaper : public QObject
{
    Q_OBJECT

public:
    static constexpr int HoldLimitMs = 250;
    static constexpr int MinSplitPauseMs = 1;
    static constexpr int MaxSplitPauseMs = 3;
    static constexpr int MaxGarbageBytes = 6;

    explicit FrameShaper(LineWriter *writer, QObject *parent = nullptr);

    void setSeed(quint32 seed) { random.seed(seed); }
    void setSplit(bool on) { split = on; }
    void setJoin(int count);
    void setGarbage(bool on) { garbage = on; }
    void setCorruptEvery(int nth);  // 0 = off, 1 = every frame

    void send(const QByteArray &frame);
    // Hands on a group still being gathered, e.g. before raw bytes.
    void release();
    void clear();
    qint64 heldBytes() const { return held.size(); }

private:
    void write(const QByteArray &bytes, int frames);
    QByteArray noise();

    LineWriter *writer;
    QRandomGenerator random{1};
    QTimer holdTimer;
    QByteArray held;
    int heldFrames = 0;
    int joinCount = 0;
    int corruptEvery = 0;
    quint64 shaped = 0;
    bool split = false;
    bool garbage = false;
};

#endif // FRAMESHAPER_H
