#ifndef MODULELINE_H
#define MODULELINE_H

// One module on one line for the command line: opens the port given (or a
// simulated module on a pseudo-terminal, with --sim; a simulated bus with
// --module or --ids), asks questions with the
// answer time-out, and reports each failure once on standard error as a
// line naming the port.
//
// ask() sends a frame through the link's one answer wait: it returns the
// first answer with an expected code that arrives within the time-out
// (counted from the moment the frame went out); answers with other codes (a
// streamed measurement, say) do not end the wait.
//
// With --capture the link keeps the line in a capture file from the open on;
// with --replay no port is opened and a capture is played into the link.
//
// With --reconnect a lost port is waited for (serial/reconnector.h): standard
// error says when it went and when it came back ("reconnected after 1.6 s"),
// portBack() reports it open again, portGone() that it was not back in time
// (broken() from then on). Without it, a lost port is broken at once.

#include "options.h"
#include "decode/answers.h"
#include "serial/modulelink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QVector>
#include <memory>
#include <optional>

class SimulatedBus;
class Reconnector;
class ReplaySource;
class SimulatedModule;

class ModuleLine : public QObject
{
    Q_OBJECT

public:
    explicit ModuleLine(const LineOptions &options, QObject *parent = nullptr);
    ~ModuleLine() override;

    // Starts the simulated module if asked, then opens the port (or the
    // capture to replay, which then plays from the next event-loop turn).
    bool open();
    // open() failed on a malformed capture to replay (a usage error), not on the line.
    bool badReplay() const { return replayRefused; }
    // The capture being played, or null.
    ReplaySource *replay() const { return replaySource.get(); }
    // A simulated rail (--sim): puts the simulated target (every module's,
    // on a bus) at `mm`. False when the line is no simulated module.
    bool moveSimulatedTarget(quint16 mm);

    ModuleLink &link() { return moduleLink; }
    const LineOptions &options() const { return opts; }
    QString portName() const { return port; }

    // A command frame with the module's ID when one is given (--id).
    QByteArray frame(quint8 code, const QByteArray &data = QByteArray()) const;

    std::optional<Answer> ask(const QByteArray &frame, const Expect &expect);
    std::optional<Answer> askCode(const QByteArray &frame, quint8 code) { return ask(frame, Expect::code(code)); }
    // Answers carry no ID: on a bus, an answer that comes after its question
    // timed out would be taken for the next module's. This waits one more
    // answer time-out, in which nothing is asked and what arrives goes to no
    // question, then drops any part of a frame the framer holds. ask() does
    // it after a time-out when the line is a bus (--ids).
    void letLateAnswerPass();
    // Sends without waiting, then gathers every checked frame until the time-out.
    QVector<QByteArray> collect(const QByteArray &frame);

    // The port failed or could not be written: the run cannot go on.
    bool broken() const { return !failure.isEmpty(); }
    // The port is lost and waited for.
    bool awaitsPort() const;
    // Times the lost port was found again.
    int reconnects() const { return reconnectCount; }
    // The time the port was lost, the gap still running included.
    qint64 absentMs() const;
    // Why the run cannot go on (broken()).
    QString failureReason() const { return failure; }
    // "korvani-cli: PORT: what" on standard error.
    void report(const QString &what) const;
    // Reports the link failure if there is one, else `what`; returns ExitStatus::LinkFailure.
    int fail(const QString &what) const;

signals:
    void portBack();
    void portGone();

private:
    void lost(const QString &reason);
    // Keeps the first reason a send failed for (a lost port keeps its own).
    void noteFailure(ModuleLink::SendResult result);

    LineOptions opts;
    ModuleLink moduleLink;
#ifdef KORVANI_WITH_SIM
    std::unique_ptr<SimulatedModule> sim;
    std::unique_ptr<SimulatedBus> bus;
#endif
    std::unique_ptr<ReplaySource> replaySource;
    std::unique_ptr<Reconnector> reconnector;
    int reconnectCount = 0;
    qint64 absentBeforeMs = 0;  // the gaps that have ended
    QElapsedTimer lostFor;
    bool replayRefused = false;
    QString port;
    QString failure;
};

#endif // MODULELINE_H
