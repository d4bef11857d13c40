#include "portlist.h"

#include <QDir>
#include <QSerialPortInfo>

QVector<PortEntry> availablePorts()
{
    QVector<PortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.description()});
    return ports;
}

QString portLocation(const QString &given)
{
    if (!given.contains(QLatin1Char('/')) || QDir::isAbsolutePath(given))
        return given;
    return QDir::current().absoluteFilePath(given);
}
