#ifndef PORTLIST_H
#define PORTLIST_H

// The serial ports present on this machine, as the system lists them.

#include <QString>
#include <QVector>

struct PortEntry {
    QString name;         // "ttyUSB0", "COM3": what QSerialPort takes as its port name
    QString description;  // the adapter's own description, possibly empty
};

QVector<PortEntry> availablePorts();

#endif // PORTLIST_H
