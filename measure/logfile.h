#ifndef LOGFILE_H
#define LOGFILE_H

#include <QString>

// Writes a log view's text to a file as it is, in the locale's encoding,
// with no line feed added. The file appears only once it is complete: it is
// written beside the target and renamed into place, so a failure (no
// permission, disk full) leaves no partial file and an existing file intact.
// On failure returns false with the system's reason in *error.
bool writeLogFile(const QString &path, const QString &text, QString *error);

#endif // LOGFILE_H
