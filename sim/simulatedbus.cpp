#include "simulatedbus.h"

#include "devicelink.h"
#include "simulatedmodule.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SimulatedBus::SimulatedBus(QObject *parent)
    : QObject(parent)
{
    connect(&toProgram, &LineWriter::failed, this, [this](const QString &reason) {
        error = reason;
        close();
    });
}

SimulatedBus::~SimulatedBus()
{
    close();
}

SimulatedModule *SimulatedBus::addModule(quint8 id)
{
    if (isOpen() || module(id))
        return nullptr;
    Tap tap;
    tap.module = std::make_unique<SimulatedModule>();
    tap.module->setRs485(true, id);
    tap.toModule = std::make_unique<LineWriter>();
    taps.push_back(std::move(tap));
    return taps.back().module.get();
}

SimulatedModule *SimulatedBus::module(quint8 id) const
{
    for (const Tap &tap : taps)
        if (tap.module->deviceId() == id)
            return tap.module.get();
    return nullptr;
}

QVector<SimulatedModule *> SimulatedBus::modules() const
{
    QVector<SimulatedModule *> all;
    for (const Tap &tap : taps)
        all.append(tap.module.get());
    return all;
}

bool SimulatedBus::fail(const QString &why)
{
    error = why;
    close();
    return false;
}

bool SimulatedBus::open()
{
    close();
    error.clear();
    for (Tap &tap : taps) {
        SimulatedModule &m = *tap.module;
        if (!m.open())
            return fail(QStringLiteral("module %1: %2").arg(m.deviceId()).arg(m.errorString()));
        // The module's line is raw already: its pseudo-terminal set it so.
        tap.fd = ::open(QFile::encodeName(m.portName()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (tap.fd < 0)
            return fail(QStringLiteral("module %1: %2").arg(m.deviceId()).arg(QString::fromLocal8Bit(std::strerror(errno))));
        tap.readable = new QSocketNotifier(tap.fd, QSocketNotifier::Read, this);
        Tap *t = &tap;  // taps does not grow while open
        connect(tap.readable, &QSocketNotifier::activated, this, [this, t] { fromModule(*t); });
        tap.toModule->attach(tap.fd);
    }
    if (!pty.open())
        return fail(pty.errorString());
    readable = new QSocketNotifier(pty.masterFd(), QSocketNotifier::Read, this);
    connect(readable, &QSocketNotifier::activated, this, &SimulatedBus::fromProgram);
    toProgram.attach(pty.masterFd());
    if (!linkPath.isEmpty() && !pointLinkAt(linkPath, portName(), &error))
        return fail(error);
    return true;
}

void SimulatedBus::closeTap(Tap &tap)
{
    if (tap.readable) {
        // May run inside the notifier's own signal.
        tap.readable->setEnabled(false);
        tap.readable->deleteLater();
        tap.readable = nullptr;
    }
    tap.toModule->detach();
    if (tap.fd >= 0)
        ::close(tap.fd);
    tap.fd = -1;
}

void SimulatedBus::close()
{
    if (readable) {
        readable->setEnabled(false);
        readable->deleteLater();
        readable = nullptr;
    }
    toProgram.detach();
    for (Tap &tap : taps) {
        closeTap(tap);
        tap.module->goAway();
    }
    if (!linkPath.isEmpty() && isOpen())
        removeLinkTo(linkPath, portName());
    pty.close();
}

bool SimulatedBus::createSymlink(const QString &path)
{
    if (!isOpen()) {
        error = QStringLiteral("the line is not open");
        return false;
    }
    if (!pointLinkAt(path, portName(), &error))
        return false;
    linkPath = path;
    return true;
}

void SimulatedBus::fromProgram()
{
    QByteArray bytes;
    if (!PseudoTerminal::readWaiting(pty.masterFd(), bytes, &error)) {
        close();
        return;
    }
    for (Tap &tap : taps)
        tap.toModule->enqueue(bytes);
}

void SimulatedBus::fromModule(Tap &tap)
{
    QByteArray bytes;
    QString why;
    // A module that went away leaves the bus; the others stay.
    if (!PseudoTerminal::readWaiting(tap.fd, bytes, &why))
        closeTap(tap);
    toProgram.enqueue(bytes);
}
