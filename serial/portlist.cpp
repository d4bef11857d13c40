#include "portlist.h"

#include <QSerialPortInfo>

QVector<PortEntry> availablePorts()
{
    QVector<PortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.description()});
    return ports;
}
