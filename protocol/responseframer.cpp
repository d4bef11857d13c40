#include "responseframer.h"

#include "protocol/frame.h"

#include <QDebug>

#include <cstring>

// The buffer always starts at a 0x89 that is taken for a frame header (or is
// empty) between two feeds. Each call walks the buffer once with a read
// position and removes the consumed prefix at the end, so a feed costs time in
// proportion to the bytes it consumes (times at most one frame's length for
// the check of each candidate header), never a re-copy of the buffer per frame.
QVector<QByteArray> ResponseFramer::feed(const QByteArray &bytes)
{
    QVector<QByteArray> frames;
    buffer.append(bytes);

    const char *data = buffer.constData();
    const int size = buffer.size();
    int pos = 0;

    while (pos < size) {
        if (quint8(data[pos]) != ResponseHeader) {
            // Skip straight to the next header candidate.
            const void *next = std::memchr(data + pos, ResponseHeader, size_t(size - pos));
            const int nextPos = next ? int(static_cast<const char *>(next) - data) : size;
            skipped += quint64(nextPos - pos);
            pos = nextPos;
            continue;
        }

        const int available = size - pos;
        if (available < 4)
            break; // too short to tell the length and hold a frame: wait
        const int length = expectedFrameLength(quint8(data[pos + 1]), quint8(data[pos + 2]));
        if (available < length)
            break; // incomplete: wait for the next read

        if (checkFrameXor(data + pos, length)) {
            frames.append(QByteArray(data + pos, length));
            pos += length;
        } else {
            qDebug("XOR err");
            ++failedChecks;
            // Give up only the header byte; the search resumes behind it.
            ++pos;
        }
    }

    if (pos >= size)
        buffer.clear();
    else if (pos > 0)
        buffer.remove(0, pos);
    return frames;
}

void ResponseFramer::clear()
{
    buffer.clear();
}

QVector<QByteArray> ResponseFramer::giveUpPartial()
{
    if (buffer.isEmpty())
        return {};
    buffer.remove(0, 1);
    ++skipped;
    return feed(QByteArray());
}
