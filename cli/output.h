#ifndef OUTPUT_H
#define OUTPUT_H

// One destination of the command line's output: standard output, or the
// --output file. Every write is checked and goes straight to the descriptor
// (no buffer, so a reader gets each write when it is made); the first failure
// is kept and every later write is dropped, so nothing after a lost record is
// reported as written. A file that took only part of a failed write is cut
// back to where that write began, so it ends with a whole record.
//
// The --output file is opened (and created if need be) before anything is
// asked of the module, so a file that cannot be written ends the command at
// once; but it is emptied only when the first bytes come. A run that brings
// nothing leaves an existing file as it was and removes one it created.
// The records are a log that must survive an interruption: they are written
// as they come, not swapped in at the end as a QSaveFile would.

#include <QByteArray>
#include <QString>

class Output
{
public:
    // Standard output.
    Output();
    // The file at `path`, once open() succeeded.
    explicit Output(const QString &path);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // Opens the file for writing without emptying it; false with reason() set.
    bool open();
    bool isFile() const { return !path.isEmpty(); }

    // All of `bytes`, or false (now or after an earlier failure).
    bool write(const QByteArray &bytes);
    bool failed() const { return error != 0; }
    // The failure was a pipe whose reader went away (EPIPE).
    bool readerGone() const;
    // The file's name as given, or "standard output".
    QString name() const;
    // Why the open or the first failed write failed.
    QString reason() const { return why; }

private:
    int fd = -1;
    QString path;
    QString why;
    int error = 0;  // errno of the first failed write, or -1 when open() failed
    bool existed = false;
    bool started = false;  // bytes have been written
};

#endif // OUTPUT_H
