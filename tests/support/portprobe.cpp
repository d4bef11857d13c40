#include "portprobe.h"

PortProbe::PortProbe(QObject *parent)
    : QObject(parent)
{
    connect(&port, &QSerialPort::readyRead, this, &PortProbe::readAvailable);
    connect(&port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::NoError)
            errors.append(error);
    });
}

bool PortProbe::open(const QString &name, qint32 baudRate)
{
    port.setPortName(name);
    port.setBaudRate(baudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

void PortProbe::close()
{
    if (port.isOpen())
        port.close();
}

bool PortProbe::send(const QByteArray &bytes)
{
    return port.write(bytes) == bytes.size() && port.flush();
}

void PortProbe::pause(qint64 bufferSize)
{
    paused = true;
    port.setReadBufferSize(bufferSize);
}

void PortProbe::resume()
{
    paused = false;
    port.setReadBufferSize(0);
    readAvailable();
}

void PortProbe::clear()
{
    reads.clear();
    bytes.clear();
    errors.clear();
}

void PortProbe::readAvailable()
{
    if (paused)
        return;
    const QByteArray chunk = port.readAll();
    if (chunk.isEmpty())
        return;
    reads.append(chunk);
    bytes.append(chunk);
}

ResponseScan scanResponses(const QByteArray &bytes)
{
    ResponseScan scan;
    int pos = 0;
    while (pos < bytes.size()) {
        if (quint8(bytes[pos]) != 0x89 || bytes.size() - pos < 4) {
            ++scan.strayBytes;
            ++pos;
            continue;
        }
        const quint8 code = quint8(bytes[pos + 1]);
        const int length = code == 0x81 ? 11 : code == 0x82 ? 33 : quint8(bytes[pos + 2]) + 4;
        bool checked = pos + length <= bytes.size();
        if (checked) {
            quint8 check = 0;
            for (int i = pos; i < pos + length - 1; ++i)
                check ^= quint8(bytes[i]);
            checked = check == quint8(bytes[pos + length - 1]);
            if (!checked)
                ++scan.failedChecks;
        }
        if (!checked) {
            ++scan.strayBytes;
            ++scan.headersOutsideFrames;
            ++pos;
            continue;
        }
        scan.frames.append(bytes.mid(pos, length));
        pos += length;
    }
    return scan;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}
