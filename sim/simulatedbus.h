#ifndef SIMULATEDBUS_H
#define SIMULATEDBUS_H

// Several simulated modules on one RS485 bus, reached through one
// pseudo-terminal: what a fixture with several modules wired to one adapter
// looks like to the program.
//
// Each module is a SimulatedModule on a line of its own, set to RS485 with
// its own ID; the bus relays like the wire does: every byte the program
// writes reaches every module (each obeys only frames addressed to its ID),
// and whatever a module writes reaches the program. Modules that answer at
// the same time would garble each other as on a real bus; a program that
// waits for each answer before the next command never sees that.
//
// Modules are added before open(); each keeps its own settings, noise and
// faults (set them through module()). A module that goes away leaves the
// others on the bus.

#include "linewriter.h"
#include "pseudoterminal.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <memory>
#include <vector>

class QSocketNotifier;
class SimulatedModule;

class SimulatedBus : public QObject
{
    Q_OBJECT

public:
    explicit SimulatedBus(QObject *parent = nullptr);
    ~SimulatedBus() override;

    // A new module answering to `id`, owned by the bus; nullptr when the ID
    // is taken or the bus is already open.
    SimulatedModule *addModule(quint8 id);
    SimulatedModule *module(quint8 id) const;
    QVector<SimulatedModule *> modules() const;

    bool open();  // false on failure (see errorString)
    void close();
    bool isOpen() const { return pty.isOpen(); }
    QString portName() const { return pty.devicePath(); }
    QString errorString() const { return error; }
    // As SimulatedModule::createSymlink, for the bus's device end.
    bool createSymlink(const QString &linkPath);

private:
    struct Tap {
        std::unique_ptr<SimulatedModule> module;
        int fd = -1;  // our descriptor of the module's device end
        QSocketNotifier *readable = nullptr;
        std::unique_ptr<LineWriter> toModule;
    };

    bool fail(const QString &why);
    void fromProgram();
    void fromModule(Tap &tap);
    void closeTap(Tap &tap);

    PseudoTerminal pty;
    QSocketNotifier *readable = nullptr;
    LineWriter toProgram;
    std::vector<Tap> taps;
    QString error;
    QString linkPath;
};

#endif // SIMULATEDBUS_H
