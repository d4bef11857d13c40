#include "linecapture.h"

#include "platform/writeall.h"

namespace {
// Beyond this much gathered, the lines go out before the flush is due.
constexpr int WriteAheadBytes = 256 * 1024;
}

LineCapture::LineCapture(const LineClock &lineClock, QObject *parent)
    : QObject(parent)
    , clock(lineClock)
{
    flushTimer.setSingleShot(true);
    flushTimer.setInterval(FlushIntervalMs);
    connect(&flushTimer, &QTimer::timeout, this, &LineCapture::writeOut);
}

LineCapture::~LineCapture()
{
    stop();
}

bool LineCapture::start(const QString &path, const QString &port, qint32 baud)
{
    stop();
    error.clear();
    systemReason.clear();
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        systemReason = file.errorString();
        error = QStringLiteral("cannot write %1: %2").arg(path, systemReason);
        return false;
    }
    // The start sits on a whole millisecond of the link's clock, so the time
    // of every line is the start's milliseconds plus its offset, exactly.
    startUs = clock.nowUs() / 1000 * 1000;
    pending = CaptureFormat::header(QDateTime::fromMSecsSinceEpoch(startUs / 1000), port, baud);
    return writeOut();
}

void LineCapture::stop()
{
    if (!file.isOpen())
        return;
    writeOut();
    file.close();
}

void LineCapture::record(CaptureDirection direction, const QByteArray &bytes, qint64 timeUs)
{
    if (!file.isOpen() || bytes.isEmpty())
        return;
    const qint64 offset = qMax<qint64>(0, timeUs - startUs);
    for (int at = 0; at < bytes.size(); at += CaptureFormat::MaxChunkBytes)
        CaptureFormat::appendEvent(pending, offset, direction,
                                   bytes.mid(at, CaptureFormat::MaxChunkBytes));
    if (pending.size() >= WriteAheadBytes)
        writeOut();
    else if (!flushTimer.isActive())
        flushTimer.start();
}

bool LineCapture::writeOut()
{
    flushTimer.stop();
    if (pending.isEmpty() || !file.isOpen())
        return true;
    const bool written = writeAll(file, pending) && file.flush();
    pending.clear();
    if (written)
        return true;
    systemReason = file.errorString();
    error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), systemReason);
    file.close();
    emit failed(error);
    return false;
}
