#ifndef OUTPUT_H
#define OUTPUT_H

// The one way out of the command line: standard output, or the --output
// file. Every byte a command writes (records, summaries, answers, reports,
// sync's counts, --help) goes through an Output. Every write is checked and
// goes straight to the descriptor (no buffer, so a reader gets each write
// when it is made); the first failure is kept and every later write is
// dropped, so nothing after a lost record is reported as written.
//
// The file is opened (and created if need be) before anything is asked of
// the module or the database, so a file that cannot be created ends the
// command at once. Devices and FIFOs are written directly and never
// replaced. A regular file is written in one of two ways:
//   AsWritten   - records, a log that must survive an interruption: written
//                 as they come; an existing file is emptied only when the
//                 first bytes come, a run that brings nothing leaves it as it
//                 was and removes one it created; a file that took only part
//                 of a failed write is cut back to where that write began, so
//                 it ends with a whole record;
//   WhenComplete - a report: written beside it (QSaveFile) and put in its
//                 place by finish() only, so an old report survives a full
//                 disk or a command that failed.

#include <QByteArray>
#include <QString>
#include <memory>

class QSaveFile;

class Output
{
public:
    enum class Mode { AsWritten, WhenComplete };

    // Standard output.
    Output();
    // The file at `path`, once open() succeeded.
    explicit Output(const QString &path, Mode mode = Mode::AsWritten);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // Called first thing in main(): a standard stream the program was started
    // without (`>&-`) is held by /dev/null, so no file opened later takes its
    // number and receives what was meant for standard output; writes to a
    // closed standard output then fail with EBADF.
    static void holdStandardStreams();

    // Opens the file for writing without emptying it; false with reason() set.
    bool open();
    // The command is done and its output complete: a WhenComplete file is
    // put in place. False with reason() set when that failed.
    bool finish();
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
    Mode mode = Mode::AsWritten;
    std::unique_ptr<QSaveFile> saveFile;  // WhenComplete onto a regular file
    QString why;
    int error = 0;  // errno of the first failed write, or -1 (open() or the save file failed)
    bool existed = false;
    bool started = false;  // bytes have been written
};

#endif // OUTPUT_H
