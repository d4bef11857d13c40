#ifndef MODULELINK_H
#define MODULELINK_H

// The serial link to one module: owns the port, the framer that cuts the
// received bytes into checked frames, and the answer wait. Widget-free, so
// the window and the command line speak to the module through the same code.
//
// The line is 8 data bits, no parity, one stop bit, no flow control.
//
// The one answer wait. One command is in flight at a time: send() first
// holds its frame back while an earlier send still waits, then announces
// the frame (frameSent), writes it and waits as its Expect says:
//   - nothing: returns once written;
//   - anyFrame: until any checked frame arrives (the window's rule);
//   - code(c), codes(...): until a checked frame with one of these codes
//     arrives; other frames (a streamed measurement, say) are delivered but
//     do not end the wait;
//   - wholeTimeout: the whole time-out, whatever arrives (to gather answers).
// The time-out (100 ms unless set) counts from the write. Waiting runs the
// event loop (it sleeps until the next event, it never polls), so received
// frames, timers and further sends are handled inside the wait. A send
// started there is held back until the running wait ends, then waits for its
// own answer; the earlier send returns after it, with its own result.
//
// Every read's checked frames are reported together, in order, through
// framesReceived before the wait they end returns. A port that fails under
// the link (adapter pulled out) is closed and reported once through
// portLost; a waiting send then returns at once with PortLost.
//
// Every read and every written frame passes the capture (capture()), which
// keeps them in a file while it runs. receiveRecorded() feeds bytes read
// earlier (a capture played back) through the same framing and delivery as a
// read of the port, with their recorded time.

#include "protocol/responseframer.h"
#include "serial/linecapture.h"
#include "serial/lineclock.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <QVector>

// What ends a send's wait for its answer.
class Expect
{
public:
    static Expect nothing() { return Expect(Mode::Nothing); }
    static Expect anyFrame() { return Expect(Mode::AnyFrame); }
    static Expect code(quint8 code) { return codes({code}); }
    static Expect codes(const QVector<quint8> &codes);
    static Expect wholeTimeout() { return Expect(Mode::WholeTimeout); }

    bool waits() const { return mode != Mode::Nothing; }
    // True when this checked response frame ends the wait.
    bool accepts(const QByteArray &frame) const;

private:
    enum class Mode { Nothing, AnyFrame, Codes, WholeTimeout };
    explicit Expect(Mode m) : mode(m) {}

    Mode mode;
    QVector<quint8> wanted;
};

class ModuleLink : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultAnswerTimeoutMs = 100;

    enum class SendResult {
        Sent,         // written; no answer was waited for
        Answered,     // written, and an expected frame arrived within the time-out
        TimedOut,     // written, and no expected frame arrived within the time-out
        NotOpen,      // the port is not open (also when it closed during the hold-back)
        WriteFailed,  // the port refused the bytes
        PortLost,     // the port failed while the answer was awaited
    };

    struct Reply {
        SendResult result = SendResult::NotOpen;
        QByteArray frame;  // the frame that ended the wait (Answered)
    };

    explicit ModuleLink(QObject *parent = nullptr);
    ~ModuleLink() override;

    // Applies the name, the baud rate and 8N1 without flow control, then
    // opens the port unless it is open already. A fresh open starts framing
    // anew and locks the device (see devicelock.h): a device another process
    // holds is not opened. True when the port is open afterwards;
    // errorString() says why not.
    bool open(const QString &portName, qint32 baudRate);
    void close();
    bool isOpen() const { return serial.isOpen(); }
    QString errorString() const { return lockError.isEmpty() ? serial.errorString() : lockError; }

    void setAnswerTimeout(int ms) { timeoutMs = ms; }
    int answerTimeout() const { return timeoutMs; }
    // A send is waiting for its answer.
    bool isWaiting() const { return wait != nullptr; }

    Reply send(const QByteArray &frame, const Expect &expect);

    QSerialPort &port() { return serial; }
    ResponseFramer &framer() { return rxFramer; }
    const ResponseFramer &framer() const { return rxFramer; }

    LineCapture &capture() { return lineCapture; }
    // The time of the read being delivered, in milliseconds since the epoch
    // (the link's clock; for recorded bytes, their recorded time).
    qint64 readTimeMs() const { return readUs / 1000; }
    qint64 readTimeUs() const { return readUs; }
    // Bytes read earlier, delivered as if read now; `timeUs` since the epoch,
    // never earlier than the previous call's.
    void receiveRecorded(const QByteArray &bytes, qint64 timeUs);

signals:
    // Just before the bytes of a frame are written.
    void frameSent(const QByteArray &frame);
    // The checked frames of one read, in order.
    void framesReceived(const QVector<QByteArray> &frames);
    // Candidate frames whose check byte was wrong, counted since the link was made.
    void checksFailed(quint64 total);
    void answerTimedOut();
    // Every error the port reports, with the port's own text.
    void portError(QSerialPort::SerialPortError error, const QString &reason);
    // The port failed and was closed; reason is the port's own error text.
    void portLost(const QString &reason);

private:
    void readReceived();
    void deliver(const QVector<QByteArray> &frames);
    void giveUpQuietPartial();
    void handlePortError(QSerialPort::SerialPortError error);
    struct Wait;
    void endWait(SendResult result, const QByteArray &frame = QByteArray());

    QSerialPort serial;
    ResponseFramer rxFramer;
    LineClock clock;
    LineCapture lineCapture{clock};
    qint64 readUs = 0;
    QTimer answerTimer;
    QTimer quietTimer;
    QString lockError;  // the device is held by another process
    int timeoutMs = DefaultAnswerTimeoutMs;
    Wait *wait = nullptr;  // the send that waits now, on its caller's stack
    quint64 reportedCheckFailures = 0;
};

#endif // MODULELINK_H
