#include "logfile.h"

#include "logbook.h"

#include <QCoreApplication>
#include <QSaveFile>

#include "platform/qtcompat.h"

namespace {

// QIODevice::write may take only part of the bytes when the system does;
// what is left is written again so that a short write turns into the
// system's error.
bool writeAll(QSaveFile &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

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
