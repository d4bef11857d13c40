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

// The response frames in bytes that have all come: the program's own framer,
// its partial frame given up at the end as on a quiet line.
QVector<QByteArray> scanResponses(const QByteArray &bytes);

#endif  // PORTPROBE_H
