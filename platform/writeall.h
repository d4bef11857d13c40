#ifndef WRITEALL_H
#define WRITEALL_H

// Writes all of `bytes` to `file`, or fails with the system's reason in
// file.errorString(). Qt reports a write the disk took only part of as a
// short count with no error ("Unknown error"); the rest is written again, so
// the failing call is the one that says why (no space left, file too large).

#include <QByteArray>
#include <QFileDevice>

bool writeAll(QFileDevice &file, const QByteArray &bytes);

#endif // WRITEALL_H
