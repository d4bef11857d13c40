#include "portprobe.h"

#include "protocol/responseframer.h"

#include <QTimer>

PortProbe::PortProbe(QObject *parent)
    : QObject(parent)
{
    connect(&port, &QSerialPort::readyRead, this, &PortProbe::readAvailable);
    connect(&port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::NoError)
            errors.append(error);
    });
}

bool PortProbe::open(const QString &name)
{
    port.setPortName(name);
    port.setBaudRate(QSerialPort::Baud115200);
    return port.open(QIODevice::ReadWrite);
}

bool PortProbe::send(const QByteArray &bytes)
{
    return port.write(bytes) == bytes.size() && port.flush();
}

void PortProbe::readLater(int ms)
{
    // The port takes one byte off the line and leaves the rest there.
    paused = true;
    port.setReadBufferSize(1);
    QTimer::singleShot(ms, this, [this] {
        paused = false;
        port.setReadBufferSize(0);
        readAvailable();
    });
}

void PortProbe::readAvailable()
{
    const QByteArray chunk = paused ? QByteArray() : port.readAll();
    if (chunk.isEmpty())
        return;
    reads.append(chunk);
    bytes.append(chunk);
}

QVector<QByteArray> scanResponses(const QByteArray &bytes)
{
    ResponseFramer framer;
    return framer.feed(bytes) + framer.giveUpPartial();
}
