#ifndef PORTPROBE_H
#define PORTPROBE_H

// The program's side of the line in tests: a real QSerialPort that keeps
// every read as it came and every error, and can stop reading for a while
// (like a busy program) so the bytes wait on the line.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QVector>

class PortProbe : public QObject
{
    Q_OBJECT

public:
    explicit PortProbe(QObject *parent = nullptr);

    bool open(const QString &name);
    bool send(const QByteArray &bytes);
    void readLater(int ms);

    QSerialPort port;
    QList<QByteArray> reads;
    QByteArray bytes;
    QList<QSerialPort::SerialPortError> errors;

private:
    void readAvailable();
    bool paused = false;
};

// Response frames as a careful reader finds them: a 0x89 header, the length
// its code gives (11 for 0x81, 33 for 0x82, byte 2 + 4 otherwise) and a right
// check byte; anything else costs one byte and the search goes on.
QVector<QByteArray> scanResponses(const QByteArray &bytes);

#endif // PORTPROBE_H
