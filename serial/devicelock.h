#ifndef DEVICELOCK_H
#define DEVICELOCK_H

// An exclusive lock on an opened serial device, so that two programs never
// share one module's line (each would take the other's frames). The lock is
// on the device itself, not on its name: a second opener that came through
// another name (a link, /dev/serial/by-id/...) is refused as well, and the
// lock holds for root too, whom the port's exclusive mode lets through.
// It is a POSIX record lock: it names its holder's process, and it goes when
// the holder closes the device or ends.

#include <QString>

// Locks the device open on `fd`. False when another process holds it, with
// `why` "in use by process N" (or the system's reason when locking failed).
bool lockDevice(int fd, QString *why);

// Before opening: "in use by process N" when another process holds the
// device at `path` (a port name without a '/' is under /dev/), else empty.
// Asked first because the port's own lock file, kept by name, would refuse
// the same name with a less helpful message.
QString deviceHolder(const QString &path);

#endif // DEVICELOCK_H
