#ifndef LOGFILE_H
#define LOGFILE_H

// Saving a log as a file: the log's text as it is (lines joined by single
// line feeds, no line feed after the last, no byte-order mark), in the
// platform's locale encoding, written piece by piece. The file appears only
// once it is complete: it is written beside the target and renamed into
// place, so any failure (no permission, disk full, file too large) leaves no
// partial file and an existing file byte for byte as it was.
// On failure returns false with the system's reason in *error.

#include <QString>

class LogBook;

bool writeLogFile(const QString &path, const LogBook &log, QString *error);

#endif // LOGFILE_H
