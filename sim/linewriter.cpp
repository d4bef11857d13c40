#include "linewriter.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <unistd.h>

LineWriter::LineWriter(QObject *parent)
    : QObject(parent)
{
    // Writing from a zero timer rather than inside enqueue() keeps the
    // signals below from re-entering whoever is enqueueing.
    flushTimer.setSingleShot(true);
    flushTimer.setInterval(0);
    connect(&flushTimer, &QTimer::timeout, this, &LineWriter::flush);

    pauseTimer.setSingleShot(true);
    pauseTimer.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer, &QTimer::timeout, this, &LineWriter::flush);
}

LineWriter::~LineWriter()
{
    detach();
}

void LineWriter::attach(int descriptor)
{
    detach();
    fd = descriptor;
    writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    writable->setEnabled(false);
    connect(writable, &QSocketNotifier::activated, this, [this] {
        writable->setEnabled(false);
        flush();
    });
}

void LineWriter::detach()
{
    delete writable;
    writable = nullptr;
    fd = -1;
    queue.clear();
    written = 0;
    queued = 0;
    flushTimer.stop();
    pauseTimer.stop();
}

void LineWriter::enqueue(const QByteArray &bytes, int frames, int pauseAfterMs)
{
    if (fd < 0 || (bytes.isEmpty() && frames == 0))
        return;
    queue.enqueue({bytes, frames, pauseAfterMs});
    queued += bytes.size();
    scheduleFlush();
}

void LineWriter::scheduleFlush()
{
    // A pause or a full line ends by its own timer or notification.
    if (pauseTimer.isActive() || (writable && writable->isEnabled()))
        return;
    flushTimer.start();
}

void LineWriter::waitUntilWritable()
{
    writable->setEnabled(true);
}

void LineWriter::flush()
{
    bool moved = false;
    while (fd >= 0 && !queue.isEmpty() && !pauseTimer.isActive()) {
        Chunk &chunk = queue.head();
        const int left = chunk.bytes.size() - written;
        if (left > 0) {
            const ssize_t n = ::write(fd, chunk.bytes.constData() + written, size_t(left));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    waitUntilWritable();
                    break;
                }
                const QString reason = QString::fromLocal8Bit(std::strerror(errno));
                detach();
                emit failed(reason);
                return;
            }
            written += int(n);
            queued -= n;
            moved = true;
            if (n < left) {
                waitUntilWritable();
                break;
            }
        }

        const int frames = chunk.frames;
        const int pause = chunk.pauseAfterMs;
        queue.dequeue();
        written = 0;
        if (pause > 0)
            pauseTimer.start(pause);
        if (frames > 0) {
            emit framesWritten(frames);
            if (fd < 0)  // a receiver closed the line
                return;
        }
    }
    if (moved && fd >= 0)
        emit progressed();
}
