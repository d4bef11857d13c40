#include "pseudoterminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::fail(const char *what)
{
    error = QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                         QString::fromLocal8Bit(std::strerror(errno)));
    close();
    return false;
}

bool PseudoTerminal::open()
{
    close();
    error.clear();

    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return fail("posix_openpt");
    if (::grantpt(master) != 0)
        return fail("grantpt");
    if (::unlockpt(master) != 0)
        return fail("unlockpt");

    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0)
        return fail("ptsname");
    path = QString::fromLocal8Bit(name);

    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");

    device = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device < 0)
        return fail("open device end");

    termios attributes;
    if (::tcgetattr(device, &attributes) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&attributes);
    attributes.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&attributes, B115200);
    if (::tcsetattr(device, TCSANOW, &attributes) != 0)
        return fail("tcsetattr");
    return true;
}

bool PseudoTerminal::hasUnreadBytes() const
{
    // Not FIONREAD: the kernel moves bytes written to the master into the
    // device end's input queue from a worker thread, and FIONREAD counts only
    // what has been moved, so it can say 0 while the last frame is still on
    // its way (more so on a loaded machine, or when the queue was full and
    // the program has just emptied it). poll() on the device end first waits
    // for that worker, then reports whether input is waiting.
    if (device < 0)
        return false;
    pollfd p{device, POLLIN, 0};
    int n;
    do
        n = ::poll(&p, 1, 0);
    while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & POLLIN);
}

void PseudoTerminal::close()
{
    if (device >= 0)
        ::close(device);
    if (master >= 0)
        ::close(master);
    device = -1;
    master = -1;
    path.clear();
}

bool PseudoTerminal::readWaiting(int fd, QByteArray &bytes, QString *error)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        *error = n == 0 ? QStringLiteral("end of line") : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
}
