#ifndef SAVEDIALOG_H
#define SAVEDIALOG_H

// Asks where to save a file; an empty path when the user cancels.
//
// Run as root (a common way to get at serial ports), a file dialog that
// sniffs the type of each file it lists by reading its first bytes blocks
// for ever on a file such as /proc/kmsg, and the window freezes with it.
// For root the dialog is Qt's own, listing files by name and suffix alone,
// so it never opens a file it shows.

#include <QString>

class QWidget;

QString askSaveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                        const QString &filter);

#endif // SAVEDIALOG_H
