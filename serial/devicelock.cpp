#include "devicelock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

bool lockDevice(int fd, QString *why)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole device
    if (::fcntl(fd, F_SETLK, &lock) == 0)
        return true;
    const int error = errno;
    if (error == EACCES || error == EAGAIN) {
        struct flock holder = {};
        holder.l_type = F_WRLCK;
        holder.l_whence = SEEK_SET;
        if (::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK) {
            *why = QStringLiteral("in use by process %1").arg(holder.l_pid);
            return false;
        }
        *why = QStringLiteral("in use by another process");
        return false;
    }
    // Some devices take no locks (EINVAL, ENOLCK): they stay usable, unlocked.
    if (error == EINVAL || error == ENOLCK || error == EBADF)
        return true;
    *why = QString::fromLocal8Bit(std::strerror(error));
    return false;
}
