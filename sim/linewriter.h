#ifndef LINEWRITER_H
#define LINEWRITER_H

// Outgoing side of the line: a queue of byte chunks written to a non-blocking
// descriptor in order. When the line is full the writer waits for a write
// notification instead of retrying, so nothing is dropped, reordered or
// spun on. A chunk may ask for a pause after it, so one frame can reach the
// reader in several pieces.

#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QTimer>

class QSocketNotifier;

class LineWriter : public QObject
{
    Q_OBJECT

public:
    explicit LineWriter(QObject *parent = nullptr);
    ~LineWriter() override;

    void attach(int fd);
    // Forgets the descriptor and everything still queued.
    void detach();

    // `frames`: how many frames are complete once this chunk is out.
    void enqueue(const QByteArray &bytes, int frames = 0, int pauseAfterMs = 0);

    qint64 queuedBytes() const { return queued; }
    bool isIdle() const { return queue.isEmpty(); }

signals:
    void framesWritten(int count);
    // Some queued bytes went out; there may be room for more.
    void progressed();
    // The line refused bytes for good (the other end is gone).
    void failed(const QString &reason);

private:
    struct Chunk {
        QByteArray bytes;
        int frames;
        int pauseAfterMs;
    };

    void scheduleFlush();
    void flush();
    void waitUntilWritable();

    QQueue<Chunk> queue;
    int written = 0;  // bytes of queue.head() already out
    qint64 queued = 0;
    int fd = -1;
    QSocketNotifier *writable = nullptr;
    QTimer flushTimer;
    QTimer pauseTimer;
};

#endif // LINEWRITER_H
