#include "logfile.h"

#include "logbook.h"

#include <QCoreApplication>
#include <QSaveFile>

#include "platform/qtcompat.h"
#include "platform/writeall.h"

bool writeLogFile(const QString &path, const LogBook &log, QString *error)
{
    QSaveFile file(path);
    // Unbuffered: the pieces are large anyway, and every write error then
    // comes back from the write that caused it, with its reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    // The book holds UTF-8; pieces end at line ends, so each converts on its own.
    const bool utf8 = localeEncodingIsUtf8();
    bool writeFailed = false;
    const bool written = log.forEachPiece([&](const QByteArray &piece) {
        writeFailed = !writeAll(file, utf8 ? piece : toLocaleEncoding(QString::fromUtf8(piece)));
        return !writeFailed;
    });
    if (!written) {
        *error = writeFailed ? file.errorString()
                             : QCoreApplication::translate("LogFile", "the log could not be read back");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
