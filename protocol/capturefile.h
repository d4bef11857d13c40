#ifndef CAPTUREFILE_H
#define CAPTUREFILE_H

// The capture file: every read and write on the line with its time, one line
// each, as text:
//
//   # korvani capture 1
//   # start 2026-12-07T15:20:00.123+08:00 port /dev/ttyUSB0 baud 115200
//   0.000000 tx 56020054
//   0.004512 rx 8981740aab0c2f67000198
//
// Seconds since the start with microseconds, tx (written) or rx (read), the
// bytes in lower-case hex, exactly as they went (frames split or joined as
// they came). Lines starting with '#' are comments; the first line must be
// the "# korvani capture 1" line. A read too large for one line is written
// as several lines with the same time (MaxChunkBytes each).
//
// Reading is strict and bounded: a line is never read past MaxLineBytes, so
// a hostile file costs no more memory than that. Every fault is reported as
// "FILE:LINE: reason" and ends the reading (Result::Error):
//   no or unknown first line, a line too long, control bytes (a binary
//   file), a malformed time, direction or hex field, a time earlier than
//   the line before, a start line that does not parse.
// Only a last line without its newline (the writer was cut off mid-line) is
// not an error: it is skipped with a warning (Result::Truncated, then End).
// Blank lines are ignored; upper-case hex is accepted.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

enum class CaptureDirection { Tx, Rx };

struct CaptureEvent {
    qint64 offsetUs = 0;  // since the start
    CaptureDirection direction = CaptureDirection::Rx;
    QByteArray bytes;
    qint64 line = 0;
};

namespace CaptureFormat {
constexpr int MaxLineBytes = 1 << 20;                   // newline included
constexpr int MaxChunkBytes = (MaxLineBytes - 64) / 2;  // bytes on one line

// The two header lines. `start` is written in its own UTC offset.
QByteArray header(const QDateTime &start, const QString &port, qint32 baud);
// One event line, newline included; `bytes` at most MaxChunkBytes.
void appendEvent(QByteArray &out, qint64 offsetUs, CaptureDirection direction, const QByteArray &bytes);
} // namespace CaptureFormat

class CaptureReader
{
public:
    enum class Result { Event, End, Error, Truncated };

    // Opens the file and reads its header; false with message() set.
    bool open(const QString &path);
    // Reads the whole file once first, so a fault anywhere refuses it before
    // any event is taken (a cut-off last line is no fault); then opens it as
    // open() does, with start() known from the outset.
    bool openChecked(const QString &path);

    // The next event; Error and Truncated set message(). After Truncated the
    // next call gives End.
    Result next(CaptureEvent &event);

    // "FILE:LINE: reason"
    QString message() const { return text; }
    // From the "# start" line once it has been read; invalid before and when the file has none.
    QDateTime start() const { return startTime; }
    QString port() const { return portName; }
    qint32 baud() const { return baudRate; }

private:
    enum class LineRead { Line, End, TooLong, Unterminated };
    LineRead readLine();
    Result fail(const QString &reason);
    bool parseStart();
    bool parseEvent(CaptureEvent &event);

    QFile file;
    QString path;
    QByteArray buffer;
    int length = 0;
    qint64 lineNumber = 0;
    qint64 lastOffsetUs = 0;
    bool ended = false;
    QString text;
    QDateTime startTime;
    QString portName;
    qint32 baudRate = 0;
};

#endif // CAPTUREFILE_H
