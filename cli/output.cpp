#include "output.h"

#include "platform/writeall.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString reasonOf(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool standardOutputClosed = false;
}

void Output::holdStandardStreams()
{
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free number: this one.
        if (::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) == fd && fd == STDOUT_FILENO)
            standardOutputClosed = true;
    }
}

Output::Output()
    : fd(STDOUT_FILENO)
{
}

Output::Output(const QString &filePath, Mode writeMode)
    : path(filePath)
    , mode(writeMode)
{
}

// A save file not finished is discarded by its destructor: the old file stays.
Output::~Output()
{
    if (!isFile() || fd < 0)
        return;
    ::close(fd);
    if (!started && !existed)
        QFile::remove(path);
}

bool Output::open()
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    existed = ::stat(name.constData(), &info) == 0;
    if (mode == Mode::WhenComplete && (!existed || S_ISREG(info.st_mode))) {
        // Unbuffered: every write reaches the file at once and fails with its own reason.
        saveFile = std::make_unique<QSaveFile>(path);
        if (saveFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return true;
        error = -1;
        why = saveFile->errorString();
        return false;
    }
    // No O_TRUNC: opening must not empty the file; write() empties it on its first bytes.
    fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0)
        return true;
    error = -1;
    why = reasonOf(errno);
    return false;
}

bool Output::write(const QByteArray &bytes)
{
    if (failed())
        return false;
    if (saveFile) {
        if (writeAll(*saveFile, bytes))
            return true;
        error = -1;
        why = saveFile->errorString();
        return false;
    }
    if (fd < 0)
        return false;
    if (!isFile() && standardOutputClosed) {
        error = EBADF;
        why = reasonOf(error);
        return false;
    }
    if (!started && isFile()) {
        // A regular file with old contents is emptied now; devices and pipes have no length.
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 && ::ftruncate(fd, 0) != 0) {
            error = errno;
            why = reasonOf(error);
            return false;
        }
    }
    started = true;
    const off_t before = isFile() ? ::lseek(fd, 0, SEEK_CUR) : -1;
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            why = reasonOf(error);
            // A full disk takes part of a write: the file is cut back to its
            // last whole record rather than end in half a line.
            if (before >= 0 && left < bytes.size())
                [[maybe_unused]] const int ignored = ::ftruncate(fd, before);
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool Output::finish()
{
    if (!saveFile || failed())
        return !failed();
    if (saveFile->commit())
        return true;
    error = -1;
    why = saveFile->errorString();
    return false;
}

bool Output::readerGone() const
{
    return error == EPIPE;
}

QString Output::name() const
{
    return isFile() ? path : QStringLiteral("standard output");
}
