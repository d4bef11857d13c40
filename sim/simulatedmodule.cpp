#include "simulatedmodule.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <unistd.h>

SimulatedModule::SimulatedModule(QObject *parent)
    : QObject(parent)
{
    streamTimer.setTimerType(Qt::PreciseTimer);
    connect(&streamTimer, &QTimer::timeout, this, &SimulatedModule::streamTick);

    answerTimer.setSingleShot(true);
    answerTimer.setTimerType(Qt::PreciseTimer);
    connect(&answerTimer, &QTimer::timeout, this, &SimulatedModule::answerDueCommands);

    leaveTimer.setInterval(5);
    connect(&leaveTimer, &QTimer::timeout, this, &SimulatedModule::leaveWhenRead);

    connect(&writer, &LineWriter::framesWritten, this, &SimulatedModule::countWritten);
    connect(&writer, &LineWriter::progressed, this, &SimulatedModule::refillBenchmark);
    connect(&writer, &LineWriter::progressed, this, &SimulatedModule::lineProgressed);
    connect(&writer, &LineWriter::failed, this, [this](const QString &reason) {
        error = reason;
        goAway();
    });
}

SimulatedModule::~SimulatedModule()
{
    shutDown();
}

bool SimulatedModule::open()
{
    shutDown();
    error.clear();
    if (!pty.open()) {
        error = pty.errorString();
        return false;
    }
    readable = new QSocketNotifier(pty.masterFd(), QSocketNotifier::Read, this);
    connect(readable, &QSocketNotifier::activated, this, &SimulatedModule::readCommands);
    writer.attach(pty.masterFd());
    poweredOn.start();
    if (!linkPath.isEmpty())
        makeLink();
    if (measureAtPowerUp)
        startStreaming(0x50);
    return true;
}

void SimulatedModule::shutDown()
{
    if (readable) {
        // May run inside the notifier's own signal.
        readable->setEnabled(false);
        readable->deleteLater();
        readable = nullptr;
    }
    writer.detach();
    shaper.clear();
    parser.clear();
    pending.clear();
    answerTimer.stop();
    streamTimer.stop();
    leaveTimer.stop();
    benchmarkLeft = 0;
    lineRateActive = false;
    goAwayArmed = false;
    removeLink();
    pty.close();
}

void SimulatedModule::goAway()
{
    if (!isOpen())
        return;
    shutDown();
    emit closed();
}

bool SimulatedModule::createSymlink(const QString &path)
{
    if (!isOpen()) {
        error = QStringLiteral("the line is not open");
        return false;
    }
    removeLink();
    linkPath = path;
    makeLink();
    if (linkTarget.isEmpty()) {
        linkPath.clear();
        return false;
    }
    return true;
}

void SimulatedModule::makeLink()
{
    const QFileInfo existing(linkPath);
    if (existing.exists() && !existing.isSymLink()) {
        error = QStringLiteral("%1 exists and is not a link").arg(linkPath);
        return;
    }
    // A new link renamed over the old one: the name never points nowhere.
    const QByteArray link = QFile::encodeName(linkPath);
    const QByteArray fresh = link + ".new" + QByteArray::number(::getpid());
    const QByteArray target = QFile::encodeName(portName());
    ::unlink(fresh.constData());
    if (::symlink(target.constData(), fresh.constData()) != 0
        || ::rename(fresh.constData(), link.constData()) != 0) {
        error = QStringLiteral("%1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(fresh.constData());
        return;
    }
    linkTarget = portName();
}

void SimulatedModule::removeLink()
{
    if (linkTarget.isEmpty())
        return;
    // Only a link that still points at this module's device is ours to remove.
    const QFileInfo link(linkPath);
    if (link.isSymLink() && link.symLinkTarget() == linkTarget)
        ::unlink(QFile::encodeName(linkPath).constData());
    linkTarget.clear();
}

void SimulatedModule::readCommands()
{
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(pty.masterFd(), chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // EOF or EIO: the line itself is broken; reading on would spin.
        error = n == 0 ? QStringLiteral("end of line")
                       : QString::fromLocal8Bit(std::strerror(errno));
        goAway();
        return;
    }
    if (bytes.isEmpty())
        return;
    received.append(bytes);
    for (const CommandFrame &frame : parser.feed(bytes))
        accept(frame);
}

void SimulatedModule::accept(const CommandFrame &frame)
{
    commands.append(frame.bytes);
    emit commandReceived(frame.bytes);
    if (!isOpen() || !obeys(frame))
        return;
    pending.enqueue({frame, poweredOn.elapsed() + answerDelayMs});
    armAnswerTimer();
}

bool SimulatedModule::obeys(const CommandFrame &frame) const
{
    if (!rs485)
        return true;
    return frame.deviceId && *frame.deviceId == ownId;
}

void SimulatedModule::armAnswerTimer()
{
    if (pending.isEmpty() || answerTimer.isActive())
        return;
    answerTimer.start(int(qMax<qint64>(0, pending.head().dueMs - poweredOn.elapsed())));
}

void SimulatedModule::answerDueCommands()
{
    // Commands are answered in the order they arrived, each at its own time.
    while (isOpen() && !pending.isEmpty() && pending.head().dueMs <= poweredOn.elapsed())
        handle(pending.dequeue().frame);
    if (isOpen())
        armAnswerTimer();
}

void SimulatedModule::setRs485(bool on, quint8 id)
{
    rs485 = on;
    ownId = id;
    parser.setPreferAddressed(on);
}

void SimulatedModule::setCountingDistance(bool on)
{
    counting = on;
    distanceCounter = 0;
}

void SimulatedModule::setSeed(quint32 seed)
{
    generator.setSeed(seed);
    shaper.setSeed(seed);
}

void SimulatedModule::setCorruptChecks(bool on, int everyNth)
{
    shaper.setCorruptEvery(on ? qMax(1, everyNth) : 0);
}

void SimulatedModule::setGoAwayAfterFrames(int n)
{
    goAwayArmed = n >= 0;
    goAwayAt = written + quint64(qMax(0, n));
    if (goAwayArmed && n == 0)
        goAway();
}

void SimulatedModule::countWritten(int frames)
{
    written += quint64(frames);
    if (!goAwayArmed || written < goAwayAt)
        return;
    goAwayArmed = false;
    // Nothing more leaves the module; what is on the line may still be read.
    writer.detach();
    shaper.clear();
    pending.clear();
    answerTimer.stop();
    streamTimer.stop();
    benchmarkLeft = 0;
    lineRateActive = false;
    if (readable)
        readable->setEnabled(false);
    leaving.start();
    leaveTimer.start();
}

void SimulatedModule::leaveWhenRead()
{
    if (pty.hasUnreadBytes() && leaving.elapsed() < LeaveDrainMs)
        return;
    goAway();
}

void SimulatedModule::writeRaw(const QByteArray &bytes)
{
    shaper.release();
    writer.enqueue(bytes);
}

void SimulatedModule::streamFrames(int count)
{
    if (!isOpen() || count <= 0)
        return;
    benchmarkLeft += count;
    refillBenchmark();
}

void SimulatedModule::refillBenchmark()
{
    // Frames are made as the line takes them, a window ahead, so the queue
    // stays small however slow the reader is.
    constexpr qint64 Window = 32 * 1024;
    while ((benchmarkLeft > 0 || lineRateActive) && isOpen() && queuedBytes() < Window) {
        if (benchmarkLeft > 0)
            --benchmarkLeft;
        shaper.send(nextMeasurementFrame());
    }
}

void SimulatedModule::clearReceived()
{
    commands.clear();
    received.clear();
}
