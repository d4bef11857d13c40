#include "modulelink.h"

#include "devicelock.h"

#include <QCoreApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLink, "korvani.link", QtWarningMsg)

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

ModuleLink::SendResult ModuleLink::send(const QByteArray &frame, bool waitForAnswer)
{
    if (!serial.isOpen())
        return SendResult::NotOpen;

    // An earlier command still waits for its answer: let it finish first.
    while (answerTimer.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!serial.isOpen())
        return SendResult::NotOpen;

    if (waitForAnswer) {
        answerReceived = false;
        waitResult = SendResult::Answered;
        answerTimer.start(timeoutMs);
    }
    emit frameSent(frame);
    const qint64 writtenUs = clock.nowUs();
    if (serial.write(frame) != frame.size()) {
        if (waitForAnswer)
            endWait(SendResult::WriteFailed);
        return SendResult::WriteFailed;
    }
    lineCapture.record(CaptureDirection::Tx, frame, writtenUs);
    if (!waitForAnswer)
        return SendResult::Sent;

    while (!answerReceived)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return waitResult;
}

void ModuleLink::endWait(SendResult result)
{
    answerTimer.stop();
    if (!answerReceived)
        waitResult = result;
    answerReceived = true;
}

void ModuleLink::readReceived()
{
    readUs = clock.nowUs();
    const QByteArray bytes = serial.readAll();
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
    emit framesReceived(frames);
    endWait(SendResult::Answered);
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
