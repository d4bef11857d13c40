#include "reconnector.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSerialPortInfo>

Q_LOGGING_CATEGORY(lcReconnect, "korvani.link.reconnect", QtWarningMsg)

namespace {
// The system's entry for the device at `path` (a link is followed), or none.
QSerialPortInfo listedAt(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return QSerialPortInfo();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() == device)
            return info;
    }
    return QSerialPortInfo();
}
} // namespace

Reconnector::Reconnector(ModuleLink &l, QObject *parent)
    : QObject(parent)
    , link(l)
{
    poll.setInterval(PollMs);
    connect(&poll, &QTimer::timeout, this, &Reconnector::look);
    connect(&link, &ModuleLink::portLost, this, [this] {
        if (armed)
            startWatch();
    });
}

void Reconnector::arm()
{
    poll.stop();
    armed = link.isOpen();
    if (!armed)
        return;
    const QSerialPort &port = link.port();
    baud = port.baudRate();
    // The port keeps a name under /dev/ without that folder (also a by-id
    // link's, "serial/by-id/..."): reopened by its whole path.
    const QString name = port.portName();
    location = name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
    serial = listedAt(location).serialNumber();
}

void Reconnector::disarm()
{
    armed = false;
    poll.stop();
}

void Reconnector::startWatch()
{
    since.start();
    poll.start();
    qCDebug(lcReconnect) << "watching for" << location << serial;
}

QString Reconnector::findDevice() const
{
    if (serial.isEmpty())
        return QFileInfo::exists(location) ? location : QString();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.serialNumber() == serial)
            return info.systemLocation();
    }
    return QString();
}

void Reconnector::look()
{
    if (link.isOpen()) {  // opened meanwhile by other means
        poll.stop();
        return;
    }
    const QString found = findDevice();
    // A device that has just come back may not take an open yet (its
    // permissions still being set): it is tried again on the next look.
    if (!found.isEmpty() && link.open(found, baud)) {
        poll.stop();
        qCDebug(lcReconnect) << "reopened" << found;
        emit reconnected(since.elapsed());
        return;
    }
    if (giveUpMs >= 0 && since.elapsed() >= giveUpMs) {
        poll.stop();
        emit gaveUp(since.elapsed());
    }
}
