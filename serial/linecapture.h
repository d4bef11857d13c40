#ifndef LINECAPTURE_H
#define LINECAPTURE_H

// Keeps every read and write on the line in a capture file (the format is in
// protocol/capturefile.h) while it runs. Lines are gathered and written at
// least every FlushIntervalMs and on stop, so a crash or an unplug loses at
// most that much. The file is a log that grows while the line runs; a
// temporary file swapped in at the end would keep nothing of a crash, so it
// is written in place.
//
// A write that fails stops the capture and reports why (failed); the line
// itself goes on.

#include "protocol/capturefile.h"
#include "serial/lineclock.h"

#include <QFile>
#include <QObject>
#include <QTimer>

class LineCapture : public QObject
{
    Q_OBJECT

public:
    static constexpr int FlushIntervalMs = 100;

    explicit LineCapture(const LineClock &clock, QObject *parent = nullptr);
    ~LineCapture() override;

    // Starts a new capture (stopping one that runs); false with errorString() set.
    bool start(const QString &path, const QString &port, qint32 baud);
    // Writes what is gathered and closes the file.
    void stop();
    // Writes what is gathered now (the port closes, say).
    void flush() { writeOut(); }
    bool isActive() const { return file.isOpen(); }
    QString fileName() const { return file.fileName(); }
    QString errorString() const { return error; }
    // The system's own reason for the last failure (errorString() adds the file).
    QString failureReason() const { return systemReason; }

    // `timeUs` on the link's clock.
    void record(CaptureDirection direction, const QByteArray &bytes, qint64 timeUs);

signals:
    // The capture stopped because the file could not be written; `reason` names the file.
    void failed(const QString &reason);

private:
    bool writeOut();

    const LineClock &clock;
    QFile file;
    QByteArray pending;
    QTimer flushTimer;
    qint64 startUs = 0;
    QString error;
    QString systemReason;
};

#endif // LINECAPTURE_H
