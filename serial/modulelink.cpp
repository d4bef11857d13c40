#include "modulelink.h"

#include "devicelock.h"

#include <QCoreApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLink, "korvani.link", QtWarningMsg)

Expect Expect::codes(const QVector<quint8> &codes)
{
    Expect e(Mode::Codes);
    e.wanted = codes;
    return e;
}

bool Expect::accepts(const QByteArray &frame) const
{
    switch (mode) {
    case Mode::AnyFrame:
        return true;
    case Mode::Codes:
        return frame.size() >= 2 && wanted.contains(quint8(frame.at(1)));
    case Mode::Nothing:
    case Mode::WholeTimeout:
        break;
    }
    return false;
}

// One send's wait: what ends it and how it ended.
struct ModuleLink::Wait {
    const Expect &expect;
    bool done = false;
    Reply reply{SendResult::TimedOut, QByteArray()};
};

ModuleLink::ModuleLink(QObject *parent)
    : QObject(parent)
{
    // The module is given its full time: a coarse timer may fire 5 % early.
    answerTimer.setTimerType(Qt::PreciseTimer);
    answerTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, [this] {
        endWait(SendResult::TimedOut);
        emit answerTimedOut();
    });
    quietTimer.setSingleShot(true);
    quietTimer.setInterval(ResponseFramer::QuietGiveUpMs);
    connect(&quietTimer, &QTimer::timeout, this, &ModuleLink::giveUpQuietPartial);
    connect(&serial, &QSerialPort::readyRead, this, &ModuleLink::readReceived);
    connect(&serial, &QSerialPort::errorOccurred, this, &ModuleLink::handlePortError);
}

ModuleLink::~ModuleLink() = default;

bool ModuleLink::open(const QString &portName, qint32 baudRate)
{
    serial.setPortName(portName);
    serial.setBaudRate(baudRate);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    if (serial.isOpen())
        return true;
    // Bytes held from an earlier connection belong to no frame of this one.
    rxFramer.clear();
    quietTimer.stop();
    lockError = deviceHolder(portName);
    if (!lockError.isEmpty())
        return false;
    if (!serial.open(QIODevice::ReadWrite))
        return false;
    if (lockDevice(int(serial.handle()), &lockError))
        return true;
    serial.close();
    return false;
}

void ModuleLink::close()
{
    quietTimer.stop();
    lineCapture.flush();
    if (serial.isOpen())
        serial.close();
}

ModuleLink::Reply ModuleLink::send(const QByteArray &frame, const Expect &expect)
{
    // An earlier send still waits for its answer: let it finish first.
    while (serial.isOpen() && wait)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!serial.isOpen())
        return {SendResult::NotOpen, QByteArray()};

    Wait mine{expect};
    if (expect.waits()) {
        wait = &mine;
        answerTimer.start(timeoutMs);
    }
    emit frameSent(frame);
    const qint64 writtenUs = clock.nowUs();
    if (serial.write(frame) != frame.size()) {
        if (wait == &mine)
            endWait(SendResult::WriteFailed);
        return {SendResult::WriteFailed, QByteArray()};
    }
    lineCapture.record(CaptureDirection::Tx, frame, writtenUs);
    if (!expect.waits())
        return {SendResult::Sent, QByteArray()};

    while (!mine.done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return mine.reply;
}

void ModuleLink::endWait(SendResult result, const QByteArray &frame)
{
    if (!wait)
        return;
    answerTimer.stop();
    wait->reply = {result, frame};
    wait->done = true;
    wait = nullptr;
}

void ModuleLink::readReceived()
{
    readUs = clock.nowUs();
    // Everything the port holds, read at its size: readAll() first makes
    // room for 16 KiB and then shrinks it, on every read.
    const QByteArray bytes = serial.read(serial.bytesAvailable());
    lineCapture.record(CaptureDirection::Rx, bytes, readUs);
    deliver(rxFramer.feed(bytes));
    // A candidate frame still incomplete is given up if the line stays quiet.
    if (rxFramer.hasPartial())
        quietTimer.start();
    else
        quietTimer.stop();
}

void ModuleLink::receiveRecorded(const QByteArray &bytes, qint64 timeUs)
{
    // A partial frame before a pause the live line would have given up is
    // given up here too, so framing follows the recorded timing.
    if (rxFramer.hasPartial() && timeUs - readUs >= qint64(ResponseFramer::QuietGiveUpMs) * 1000) {
        readUs += qint64(ResponseFramer::QuietGiveUpMs) * 1000;
        deliver(rxFramer.giveUpPartial());
    }
    readUs = timeUs;
    deliver(rxFramer.feed(bytes));
}

void ModuleLink::giveUpQuietPartial()
{
    // Bytes waiting unread mean the program was busy, not that the line was
    // quiet: they are read first (readyRead, which starts the wait anew).
    if (serial.waitForReadyRead(0))
        return;
    deliver(rxFramer.giveUpPartial());
    if (rxFramer.hasPartial())
        quietTimer.start();
}

void ModuleLink::deliver(const QVector<QByteArray> &frames)
{
    if (rxFramer.checkFailures() != reportedCheckFailures) {
        reportedCheckFailures = rxFramer.checkFailures();
        emit checksFailed(reportedCheckFailures);
    }
    if (frames.isEmpty())
        return;
    // The wait ends before the frames go out, so that a send started by one
    // of their receivers is not held back behind it; the waiting send itself
    // returns only once this read has been handled.
    if (wait) {
        for (const QByteArray &f : frames) {
            if (wait->expect.accepts(f)) {
                endWait(SendResult::Answered, f);
                break;
            }
        }
    }
    emit framesReceived(frames);
}

// A port that fails under the program (adapter pulled out) reports its error
// again on every turn of the event loop; closing it is the only way to stop that.
void ModuleLink::handlePortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError)
        emit portError(error, serial.errorString());
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!serial.isOpen())
        return;
    const QString reason = serial.errorString();
    qCDebug(lcLink) << "serial port lost:" << reason;
    close();
    endWait(SendResult::PortLost);
    emit portLost(reason);
}
