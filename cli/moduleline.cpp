#include "moduleline.h"

#include "exitstatus.h"
#include "message.h"
#include "protocol/commands.h"
#include "replaysource.h"
#include "serial/portlist.h"
#include "serial/reconnector.h"
#ifdef KORVANI_WITH_SIM
#include "sim/simoptions.h"
#include "sim/simulatedbus.h"
#include "sim/simulatedmodule.h"
#include <QRandomGenerator>
#endif

#include <QEventLoop>
#include <QLoggingCategory>


Q_LOGGING_CATEGORY(lcLine, "korvani.cli.line", QtWarningMsg)

ModuleLine::ModuleLine(const LineOptions &options, QObject *parent)
    : QObject(parent)
    , opts(options)
{
    moduleLink.setAnswerTimeout(opts.timeoutMs);
    if (opts.reconnectMs) {
        // Made before the link's portLost is connected below, so the watch
        // has begun when lost() runs.
        reconnector = std::make_unique<Reconnector>(moduleLink);
        reconnector->setGiveUpMs(*opts.reconnectMs);
        connect(reconnector.get(), &Reconnector::reconnected, this, [this](qint64 gapMs) {
            absentBeforeMs += gapMs;
            lostFor.invalidate();
            ++reconnectCount;
            report(QStringLiteral("reconnected after %1 s").arg(double(gapMs) / 1000.0, 0, 'f', 1));
            emit portBack();
        });
        connect(reconnector.get(), &Reconnector::gaveUp, this, [this](qint64 gapMs) {
            absentBeforeMs += gapMs;
            lostFor.invalidate();
            failure = QStringLiteral("the port went away and was not back within %1 s")
                          .arg(double(*opts.reconnectMs) / 1000.0);
            emit portGone();
        });
    }
    connect(&moduleLink, &ModuleLink::portLost, this, &ModuleLine::lost);
    connect(&moduleLink, &ModuleLink::frameSent, this, [](const QByteArray &f) {
        qCDebug(lcLine).noquote() << "Send: " << f.toHex(' ');
    });
}

ModuleLine::~ModuleLine()
{
    // The port (and its lock file) goes before the simulated module: once the
    // module's pseudo-terminal is gone its number may be given to another
    // process's module, which must find the lock free.
    moduleLink.close();
}

bool ModuleLine::open()
{
    port = opts.port;
    if (!opts.replay.isEmpty()) {
        replaySource = std::make_unique<ReplaySource>(moduleLink, opts.replay);
        if (!replaySource->open()) {
            replayRefused = true;
            tell(replaySource->message());
            return false;
        }
        port = opts.replay;
        replaySource->start();
        return true;
    }
#ifdef KORVANI_WITH_SIM
    if (opts.sim && (!opts.simModules.isEmpty() || !opts.ids.isEmpty())) {
        // A bus: the modules given, or one plain module at each ID of a fixture.
        SimOptions bused;
        bused.bus = opts.simModules;
        if (bused.bus.isEmpty()) {
            for (quint8 id : opts.ids) {
                BusModuleOptions m;
                m.id = id;
                bused.bus.append(m);
            }
        }
        bus = makeSimulatedBus(bused);
        if (!bus->open()) {
            report(QStringLiteral("cannot start the simulated modules: %1").arg(bus->errorString()));
            return false;
        }
        port = bus->portName();
    } else if (opts.sim) {
        sim = std::make_unique<SimulatedModule>();
        // Each run its own noise, as a real module's.
        sim->setSeed(QRandomGenerator::global()->generate());
        // On a bus the simulated module answers to its own ID only; a scan finds it at 1.
        if (opts.id)
            sim->setRs485(true, *opts.id);
        else if (opts.simAddressed)
            sim->setRs485(true, 1);
        // Benchmarks of the reading side: stream as fast as the line takes it.
        sim->setLineRateStreaming(qEnvironmentVariableIntValue("KORVANI_SIM_LINE_RATE") == 1);
        if (!sim->open()) {
            report(QStringLiteral("cannot start the simulated module: %1").arg(sim->errorString()));
            return false;
        }
        port = sim->portName();
    }
#endif
    if (!moduleLink.open(portLocation(port), opts.baud)) {
        report(QStringLiteral("cannot open the port: %1").arg(moduleLink.errorString()));
        return false;
    }
    if (reconnector)
        reconnector->arm();
    if (!opts.capture.isEmpty()) {
        LineCapture &capture = moduleLink.capture();
        // The run goes on without its capture, whether it cannot start or fails later.
        if (!capture.start(opts.capture, port, opts.baud))
            report(QStringLiteral("no capture: ") + capture.errorString());
        connect(&capture, &LineCapture::failed, this,
                [this](const QString &why) { report(QStringLiteral("capture stopped: ") + why); });
    }
    return true;
}

void ModuleLine::lost(const QString &reason)
{
    if (!awaitsPort()) {
        failure = QStringLiteral("the port went away (%1)").arg(reason);
        return;
    }
    lostFor.start();
    report(QStringLiteral("the port went away (%1); waiting up to %2 s for it")
               .arg(reason).arg(double(*opts.reconnectMs) / 1000.0));
}

bool ModuleLine::awaitsPort() const
{
    return reconnector && reconnector->isWatching();
}

qint64 ModuleLine::absentMs() const
{
    return absentBeforeMs + (lostFor.isValid() ? lostFor.elapsed() : 0);
}

bool ModuleLine::moveSimulatedTarget(quint16 mm)
{
#ifdef KORVANI_WITH_SIM
    if (sim)
        sim->setReferenceDistance(mm);
    if (bus) {
        for (SimulatedModule *m : bus->modules())
            m->setReferenceDistance(mm);
    }
    return sim || bus;
#else
    Q_UNUSED(mm);
    return false;
#endif
}

QByteArray ModuleLine::frame(quint8 code, const QByteArray &data) const
{
    return commandFrame(code, data, opts.id);
}

void ModuleLine::noteFailure(ModuleLink::SendResult result)
{
    if (!failure.isEmpty())
        return;
    if (result == ModuleLink::SendResult::WriteFailed)
        failure = QStringLiteral("cannot write to the port (%1)").arg(moduleLink.errorString());
    else if (result == ModuleLink::SendResult::NotOpen)
        failure = QStringLiteral("the port is closed");
}

std::optional<Answer> ModuleLine::ask(const QByteArray &frame, const Expect &expect)
{
    const ModuleLink::Reply reply = moduleLink.send(frame, expect);
    noteFailure(reply.result);
    if (reply.result == ModuleLink::SendResult::TimedOut && !opts.ids.isEmpty())
        letLateAnswerPass();
    if (reply.result != ModuleLink::SendResult::Answered)
        return std::nullopt;
    return decodeAnswer(reply.frame);
}

void ModuleLine::letLateAnswerPass()
{
    QEventLoop quiet;
    QTimer::singleShot(moduleLink.answerTimeout(), &quiet, &QEventLoop::quit);
    quiet.exec();
    moduleLink.framer().clear();
}

QVector<QByteArray> ModuleLine::collect(const QByteArray &frame)
{
    QVector<QByteArray> frames;
    const QMetaObject::Connection watch = connect(
        &moduleLink, &ModuleLink::framesReceived, this,
        [&frames](const QVector<QByteArray> &received) { frames += received; });
    noteFailure(moduleLink.send(frame, Expect::wholeTimeout()).result);
    disconnect(watch);
    return frames;
}

void ModuleLine::report(const QString &what) const
{
    tell(QStringLiteral("%1: %2").arg(port.isEmpty() ? QStringLiteral("(no port)") : port, what));
}

int ModuleLine::fail(const QString &what) const
{
    report(broken() ? failure : what);
    return ExitStatus::LinkFailure;
}
