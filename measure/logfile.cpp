#include "logfile.h"

#include "logbook.h"

#include <QCoreApplication>
#include <QSaveFile>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#else
#include <QStringEncoder>
#endif

namespace {

// The platform's locale encoding, as a text stream on the file would use it
// (and the only place where Qt 5 and Qt 6 differ here). Text is handed over
// in pieces that end at line ends, so each converts on its own.
class LocaleEncoder
{
public:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    LocaleEncoder() : m_codec(QTextCodec::codecForLocale()), m_state(QTextCodec::IgnoreHeader) {}
    bool isUtf8() const { return m_codec->mibEnum() == 106; }
    QByteArray encode(const QString &text) { return m_codec->fromUnicode(text.constData(), text.size(), &m_state); }

private:
    QTextCodec *m_codec;
    QTextCodec::ConverterState m_state;
#else
    LocaleEncoder() : m_encoder(QStringConverter::System) {}
    // Qt 6 takes the system's encoding to be UTF-8 everywhere but Windows.
#ifdef Q_OS_WIN
    bool isUtf8() const { return false; }
#else
    bool isUtf8() const { return true; }
#endif
    QByteArray encode(const QString &text) { return m_encoder.encode(text); }

private:
    QStringEncoder m_encoder;
#endif
};

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
    LocaleEncoder encoder;
    const bool utf8 = encoder.isUtf8();
    bool writeFailed = false;
    const bool written = log.forEachPiece([&](const QByteArray &piece) {
        writeFailed = !writeAll(file, utf8 ? piece : encoder.encode(QString::fromUtf8(piece)));
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
