#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

// The simulated module's switches, shared by korvani-sim and korvani-demo:
// one list of command-line options, one check of their values and one way
// to put them on a SimulatedModule, so the two programs cannot drift apart.
//
// Usage: processSimOptions(app, description, options, &error) (false with a
// one-line reason on an unknown option or a bad value; --help prints the
// options and ends the program with 0); then a SimSession applies
// the options to a module, opens its line, arms the go-away fault and the
// pull (once, a while after the start) and, when the module goes away with
// --replug, opens a new line after the pause: a module freshly powered, quiet
// unless --stream, behind the same --link.
// With --replay the module stays silent and a CapturePlayer plays the
// capture on its line from the program's first command on.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

class CapturePlayer;
class QCommandLineParser;
class QCoreApplication;
class SimulatedBus;
class SimulatedModule;

// One module of a simulated bus (--module ID[,distance=MM][,noise=MM]
// [,scale=X][,offset=MM][,firmware=B-1.2.5][,hardware=A-0.1.2][,silent],
// versions written as the program shows them); unset values come from the
// module-wide options.
struct BusModuleOptions {
    int id = 1;
    std::optional<int> distanceMm;
    std::optional<double> noiseMm;
    std::optional<double> scale, offsetMm;  // a linearity error: reads scale x distance + offset
    QByteArray firmware;  // the four bytes the module sends; empty: its default
    QByteArray hardware;
    bool silent = false;
};

// One --module value; nullopt with a one-line reason when it is not one.
std::optional<BusModuleOptions> parseBusModule(const QString &text, QString *error);

struct SimOptions {
    int rateHz = 50;
    bool extended = false;
    int rs485Id = -1;        // -1: not on an RS485 bus
    int distanceMm = 1500;
    // Not set: a fresh seed per run, so two runs do not give the same figures.
    std::optional<int> seed;
    double driftMm = 0;      // 0: no drift
    double scale = 1.0;      // a linearity error: reads scale x distance + offset
    double offsetMm = 0;
    QString targetFile;      // not empty: the target's distance (mm) is read from it
    bool split = false;
    int join = 0;            // 0: frames written one by one
    bool garbage = false;
    bool corrupt = false;
    int delayMs = 0;
    bool silent = false;
    int goAwayFrames = -1;   // -1: never
    int replugMs = -1;       // -1: stays away
    int pullMs = -1;         // -1: never pulled; else once, this long after the start
    bool stream = false;
    bool outliers = false;
    QString link;            // empty: no symbolic link
    // Not empty: a bus of these modules instead of one module.
    QVector<BusModuleOptions> bus;
    QString replay;          // a capture to play instead of answering
    double speed = 1.0;      // replay pace; 0: as fast as the program reads
};

void addSimOptions(QCommandLineParser &parser);
bool readSimOptions(const QCommandLineParser &parser, SimOptions &options, QString *error);
// The program's whole command line: help, the switches above, their values.
bool processSimOptions(const QCoreApplication &app, const QString &description,
                       SimOptions &options, QString *error);

// Everything but the line itself: rate, RS485, frames, noise and faults.
void applySimOptions(const SimOptions &options, SimulatedModule &module);
// A bus of options.bus, each module set by the options and then by its own
// values; nullptr when options.bus is empty.
std::unique_ptr<SimulatedBus> makeSimulatedBus(const SimOptions &options);

class SimSession : public QObject
{
    Q_OBJECT

public:
    // With options.bus set, `module` stays unused and a bus of those
    // modules is opened instead.
    SimSession(SimulatedModule &module, const SimOptions &options, QObject *parent = nullptr);
    ~SimSession() override;

    // Applies the options and opens the line; false with errorString() set.
    bool start();
    QString errorString() const { return error; }
    // The device the program opens: the module's or the bus's.
    QString portName() const;
    // start() refused a malformed capture (errorString() is "FILE:LINE: reason").
    bool badReplay() const { return replayRefused; }

signals:
    // The device path to open, on start and after every replug.
    void portReady(const QString &devicePath);
    // The module went away; `returning` when --replug brings it back.
    void wentAway(bool returning);
    // A replug failed; the module stays away.
    void failed(const QString &reason);
    // The capture has been played; `warning` when its cut-off last line was skipped.
    void replayFinished(const QString &warning);

private:
    void reopen();

    SimulatedModule &module;
    std::unique_ptr<SimulatedBus> bus;
    SimOptions options;
    QString error;
    std::unique_ptr<CapturePlayer> player;
    bool replayRefused = false;
};

#endif // SIMOPTIONS_H
