#include "devicelink.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

bool pointLinkAt(const QString &linkPath, const QString &target, QString *error)
{
    const QFileInfo existing(linkPath);
    if (existing.exists() && !existing.isSymLink()) {
        *error = QStringLiteral("%1 exists and is not a link").arg(linkPath);
        return false;
    }
    // A new link renamed over the old one: the name never points nowhere.
    const QByteArray link = QFile::encodeName(linkPath);
    const QByteArray fresh = link + ".new" + QByteArray::number(::getpid());
    const QByteArray device = QFile::encodeName(target);
    ::unlink(fresh.constData());
    if (::symlink(device.constData(), fresh.constData()) != 0
        || ::rename(fresh.constData(), link.constData()) != 0) {
        *error = QStringLiteral("%1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(fresh.constData());
        return false;
    }
    return true;
}

void removeLinkTo(const QString &linkPath, const QString &target)
{
    const QFileInfo link(linkPath);
    if (link.isSymLink() && link.symLinkTarget() == target)
        ::unlink(QFile::encodeName(linkPath).constData());
}
