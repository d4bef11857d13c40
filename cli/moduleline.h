#ifndef MODULELINE_H
#define MODULELINE_H

// One module on one line for the command line: opens the port given (or a
// simulated module on a pseudo-terminal, with --sim; a simulated bus with
// --module or --ids), asks questions with the
// answer time-out, and reports each failure once on standard error as a
// line naming the port.
//
// ask() sends a frame through the link's one-command-in-flight rule and waits
// until an answer of the wanted kind arrives or the time-out has passed since
// the frame went out; answers of other kinds (a streamed measurement, say) do
// not end the wait. Waiting runs the event loop; it never polls.
//
// With --capture the link keeps the line in a capture file from the open on;
// with --replay no port is opened and a capture is played into the link.

#include "options.h"
#include "decode/answers.h"
#include "serial/modulelink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class SimulatedBus;
class ReplaySource;
class SimulatedModule;

class ModuleLine : public QObject
{
    Q_OBJECT

public:
    explicit ModuleLine(const CliOptions &options, QObject *parent = nullptr);
    ~ModuleLine() override;

    // Starts the simulated module if asked, then opens the port (or the
    // capture to replay, which then plays from the next event-loop turn).
    bool open();
    // open() failed on a malformed capture to replay (a usage error), not on the line.
    bool badReplay() const { return replayRefused; }
    // The capture being played, or null.
    ReplaySource *replay() const { return replaySource.get(); }

    ModuleLink &link() { return moduleLink; }
    const CliOptions &options() const { return opts; }
    QString portName() const { return port; }

    // A command frame with the module's ID when one is given (--id).
    QByteArray frame(quint8 code, const QByteArray &data = QByteArray()) const;

    std::optional<Answer> ask(const QByteArray &frame, const std::function<bool(const Answer &)> &wanted);
    std::optional<Answer> askCode(const QByteArray &frame, quint8 code);
    // Sends without waiting, then gathers every checked frame until the time-out.
    QVector<QByteArray> collect(const QByteArray &frame);

    // The port failed or could not be written: the run cannot go on.
    bool broken() const { return !failure.isEmpty(); }
    // "korvani-cli: PORT: what" on standard error.
    void report(const QString &what) const;
    // Reports the link failure if there is one, else `what`; returns 2.
    int fail(const QString &what) const;

private:
    void waitUntil(const std::function<bool()> &done, qint64 deadlineMs, const QElapsedTimer &clock);

    CliOptions opts;
    ModuleLink moduleLink;
    std::unique_ptr<SimulatedModule> sim;
    std::unique_ptr<SimulatedBus> bus;
    std::unique_ptr<ReplaySource> replaySource;
    bool replayRefused = false;
    QString port;
    QString failure;
};

#endif // MODULELINE_H
