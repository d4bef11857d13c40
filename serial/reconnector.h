#ifndef RECONNECTOR_H
#define RECONNECTOR_H

// Finds a lost port's device again and reopens it, for the window and the
// command line alike. While armed, a port the link loses (the adapter pulled
// or knocked, the module power-cycled with it; never one the program closed)
// is watched for: every PollMs the reconnector looks for the same device and,
// once it is back, opens it through the link with the baud rate and line
// settings it had, which takes the device lock again.
//
// The same device is
//   - for a USB adapter with a serial number: the adapter with that serial
//     number, under whatever name the system gives it now (ttyUSB0 may come
//     back as ttyUSB1); another adapter that got the old name is not taken;
//   - otherwise the same path: a /dev/serial/by-id/ link (made anew for the
//     same adapter), a link made by hand, or the same device name.
//
// Usage: arm() after every open the user asked for (it remembers the device),
// disarm() when the user closes the port (a closed port is never reopened
// behind the user's back). reconnected() reports the device open again;
// with a give-up time, gaveUp() that it did not come back within it.

#include "serial/modulelink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class Reconnector : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollMs = 200;

    explicit Reconnector(ModuleLink &link, QObject *parent = nullptr);

    // Remembers the device of the open port and watches for it once lost.
    void arm();
    // Ends the watch, and no lost port is watched for until arm().
    void disarm();
    bool isArmed() const { return armed; }
    bool isWatching() const { return poll.isActive(); }
    // How long a lost port is waited for; -1 (the default): for ever.
    void setGiveUpMs(qint64 ms) { giveUpMs = ms; }
    // The serial number the device is known by, empty when by its path.
    QString serialNumber() const { return serial; }

signals:
    // The port is open again, `gapMs` after it was lost.
    void reconnected(qint64 gapMs);
    // The device was not back within the give-up time; the watch has ended.
    void gaveUp(qint64 gapMs);

private:
    void startWatch();
    void look();
    QString findDevice() const;

    ModuleLink &link;
    QString location;  // the device's path, as opened
    QString serial;
    qint32 baud = 0;
    bool armed = false;
    qint64 giveUpMs = -1;
    QTimer poll;
    QElapsedTimer since;
};

#endif // RECONNECTOR_H
