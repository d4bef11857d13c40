#include "frameshaper.h"

#include "linewriter.h"
#include "protocol/frame.h"

FrameShaper::FrameShaper(LineWriter *lineWriter, QObject *parent)
    : QObject(parent)
    , writer(lineWriter)
{
    holdTimer.setSingleShot(true);
    holdTimer.setInterval(HoldLimitMs);
    connect(&holdTimer, &QTimer::timeout, this, &FrameShaper::release);
}

void FrameShaper::setJoin(int count)
{
    joinCount = count > 1 ? count : 0;
    if (joinCount == 0)
        release();
}

void FrameShaper::setCorruptEvery(int nth)
{
    corruptEvery = qMax(0, nth);
    shaped = 0;
}

QByteArray FrameShaper::noise()
{
    QByteArray bytes;
    const int count = 1 + int(random.bounded(MaxGarbageBytes));
    while (bytes.size() < count)
        bytes.append(random.bounded(4) == 0 ? char(ResponseHeader) : char(random.bounded(256)));
    return bytes;
}

void FrameShaper::send(const QByteArray &frame)
{
    QByteArray bytes = frame;
    ++shaped;
    if (corruptEvery > 0 && shaped % quint64(corruptEvery) == 0 && !bytes.isEmpty())
        bytes[bytes.size() - 1] = char(bytes.at(bytes.size() - 1) ^ 0x5A);
    if (garbage)
        bytes.prepend(noise());

    if (joinCount == 0) {
        write(bytes, 1);
        return;
    }
    held.append(bytes);
    ++heldFrames;
    if (heldFrames >= joinCount)
        release();
    else if (!holdTimer.isActive())
        holdTimer.start();
}

void FrameShaper::release()
{
    holdTimer.stop();
    if (heldFrames == 0)
        return;
    const QByteArray group = held;
    const int frames = heldFrames;
    held.clear();
    heldFrames = 0;
    write(group, frames);
}

void FrameShaper::clear()
{
    holdTimer.stop();
    held.clear();
    heldFrames = 0;
}

void FrameShaper::write(const QByteArray &bytes, int frames)
{
    if (!split || bytes.size() < 2) {
        writer->enqueue(bytes, frames);
        return;
    }
    const int pieces = qMin(bytes.size(), 2 + int(random.bounded(2)));
    int start = 0;
    for (int piece = 0; piece < pieces; ++piece) {
        const int remainingPieces = pieces - piece;
        const int left = bytes.size() - start;
        int size = left;
        if (remainingPieces > 1) {
            // Each later piece keeps at least one byte.
            const int most = left - (remainingPieces - 1);
            size = 1 + int(random.bounded(most));
        }
        const bool last = remainingPieces == 1;
        const int pause = last ? 0
                               : MinSplitPauseMs
                                     + int(random.bounded(MaxSplitPauseMs - MinSplitPauseMs + 1));
        writer->enqueue(bytes.mid(start, size), last ? frames : 0, pause);
        start += size;
    }
}
