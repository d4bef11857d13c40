#ifndef PORTPROBE_H
#define PORTPROBE_H

// The program's side of the line in tests: a real QSerialPort that keeps
// every read as it came, every error, and can stop reading (like a busy
// program) so the line backs up.

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

    bool open(const QString &name, qint32 baudRate = QSerialPort::Baud115200);
    void close();
    bool send(const QByteArray &bytes);

    // Paused, the port takes at most `bufferSize` bytes off the line.
    void pause(qint64 bufferSize = 1024);
    void resume();
    void clear();

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
struct ResponseScan {
    QVector<QByteArray> frames;
    int strayBytes = 0;   // bytes outside any checked frame
    int failedChecks = 0; // headers whose frame had a wrong check byte
    int headersOutsideFrames = 0;
    bool isClean() const { return strayBytes == 0; }
};
ResponseScan scanResponses(const QByteArray &bytes);

QByteArray hex(const char *text);  // "89 81 74" -> bytes

#endif // PORTPROBE_H
