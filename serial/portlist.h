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

// What to open for a port given by the user: a name holding a '/' is a path
// (a relative one from the current folder, made absolute, since the port
// would look it up under /dev/); any other name ("ttyUSB0", "COM3") is a
// port name as the list above gives it.
QString portLocation(const QString &given);

#endif // PORTLIST_H
