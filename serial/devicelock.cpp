#include "devicelock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

namespace {
// The process holding a write lock on the device open on `fd`, or 0.
qint64 holderOf(int fd)
{
    struct flock holder = {};
    holder.l_type = F_WRLCK;
    holder.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole device
    if (::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK)
        return holder.l_pid;
    return 0;
}

QString inUse(qint64 pid)
{
    return pid > 0 ? QStringLiteral("in use by process %1").arg(pid) : QStringLiteral("in use by another process");
}
} // namespace

QString deviceHolder(const QString &path)
{
    const QString location = path.contains(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path;
    const int fd = ::open(QFile::encodeName(location).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString();  // the port's own open says why
    const qint64 pid = holderOf(fd);
    ::close(fd);
    return pid > 0 ? inUse(pid) : QString();
}

bool lockDevice(int fd, QString *why)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &lock) == 0)
        return true;
    const int error = errno;
    if (error == EACCES || error == EAGAIN) {
        *why = inUse(holderOf(fd));
        return false;
    }
    // Some devices take no locks (EINVAL, ENOLCK): they stay usable, unlocked.
    if (error == EINVAL || error == ENOLCK || error == EBADF)
        return true;
    *why = QString::fromLocal8Bit(std::strerror(error));
    return false;
}
