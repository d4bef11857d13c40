#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

// The module's end of the serial line: a pseudo-terminal whose device end
// (/dev/pts/N) the program opens like any serial port.
//
// One descriptor of the device end stays open here for the life of the line,
// so the master never reads EIO or sees a hang-up while the program has its
// port closed, and so the line is raw (no echo, no line editing) even before
// the program sets its own terminal attributes.

#include <QByteArray>
#include <QString>

class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool open();
    void close();
    bool isOpen() const { return master >= 0; }

    // Non-blocking descriptor of the master end; -1 while closed.
    int masterFd() const { return master; }
    QString devicePath() const { return path; }
    // Whether bytes written to the master have not been read by the program
    // yet, those still on their way inside the kernel included.
    bool hasUnreadBytes() const;
    QString errorString() const { return error; }

    // Appends everything waiting on the non-blocking descriptor `fd` to
    // `bytes`. False at the end of the line or on a read error (`error` then
    // says which): the line is broken, and reading on would spin.
    static bool readWaiting(int fd, QByteArray &bytes, QString *error);

private:
    bool fail(const char *what);

    int master = -1;
    int device = -1;
    QString path;
    QString error;
};

#endif // PSEUDOTERMINAL_H
