#ifndef DEVICELINK_H
#define DEVICELINK_H

// A stable name for a simulated line's device end (/dev/pts/N changes with
// every new line): a symbolic link, replaced atomically so the name never
// points nowhere, and removed only while it still points at our device.

#include <QString>

// Points `linkPath` at `target`, replacing an earlier link there but never a
// file that is not a link. False with `error` set on failure.
bool pointLinkAt(const QString &linkPath, const QString &target, QString *error);
// Removes `linkPath` if it is a link to `target`.
void removeLinkTo(const QString &linkPath, const QString &target);

#endif // DEVICELINK_H
