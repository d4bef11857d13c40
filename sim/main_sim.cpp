// korvani-sim: a simulated module on a pseudo-terminal, for trying the
// program without hardware. Prints the device path and runs until SIGINT or
// SIGTERM.

#include "quitonsignal.h"
#include "simulatedmodule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {
QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool readNumber(const QCommandLineParser &parser, const QString &name, int low, int high, int &value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < low || number > high) {
        err() << "korvani-sim: --" << name << " wants a number from " << low << " to " << high
              << ", not '" << parser.value(name) << "'\n";
        err().flush();
        return false;
    }
    value = number;
    return true;
}

void announce(const SimulatedModule &module)
{
    out() << module.portName() << '\n';
    out().flush();
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvani-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated laser distance module on a pseudo-terminal. Prints the device path "
        "to open as the serial port, then answers the module's commands until interrupted."));
    parser.addHelpOption();
    const auto option = [&parser](const char *name, const char *help, const char *value = nullptr) {
        QCommandLineOption opt(QString::fromLatin1(name), QString::fromLatin1(help));
        if (value)
            opt.setValueName(QString::fromLatin1(value));
        parser.addOption(opt);
    };
    option("link", "Also reach the device through this symbolic link.", "path");
    option("rate", "Streaming rate: 10, 20, 50 or 100 Hz (default 50).", "hz");
    option("extended", "Measurements as 33-byte 0x82 frames.");
    option("rs485", "Obey only addressed frames carrying this device ID.", "id");
    option("distance", "Reference distance in mm (default 1500).", "mm");
    option("seed", "Seed of the noise and the line faults.", "n");
    option("split", "Write each frame in pieces with short pauses.");
    option("join", "Write frames in groups of this many.", "n");
    option("garbage", "Noise bytes in front of every frame.");
    option("corrupt", "Wrong check byte on every frame.");
    option("delay", "Answer this many milliseconds late.", "ms");
    option("silent", "Answer nothing.");
    option("go-away", "Disappear after writing this many frames.", "n");
    option("replug", "After disappearing, come back on a new device after this many ms.", "ms");
    option("stream", "Start measuring at once (measuring at power-up).");
    parser.process(app);

    int rate = 50, id = -1, distance = 1500, seed = 1, join = 0, delay = 0, goAway = -1,
        replug = -1;
    if (!readNumber(parser, QStringLiteral("rate"), 10, 100, rate)
        || !readNumber(parser, QStringLiteral("rs485"), 0, 255, id)
        || !readNumber(parser, QStringLiteral("distance"), 0, 65535, distance)
        || !readNumber(parser, QStringLiteral("seed"), 0, 0x7FFFFFFF, seed)
        || !readNumber(parser, QStringLiteral("join"), 0, 1000, join)
        || !readNumber(parser, QStringLiteral("delay"), 0, 60000, delay)
        || !readNumber(parser, QStringLiteral("go-away"), 0, 0x7FFFFFFF, goAway)
        || !readNumber(parser, QStringLiteral("replug"), 0, 600000, replug))
        return 2;

    SimulatedModule module;
    if (!module.setRateHz(rate)) {
        err() << "korvani-sim: --rate wants 10, 20, 50 or 100\n";
        err().flush();
        return 2;
    }
    if (id >= 0)
        module.setRs485(true, quint8(id));
    module.setExtendedMode(parser.isSet(QStringLiteral("extended")));
    module.setReferenceDistance(quint16(distance));
    module.setSeed(quint32(seed));
    module.setSplitFrames(parser.isSet(QStringLiteral("split")));
    module.setJoinFrames(join);
    module.setGarbage(parser.isSet(QStringLiteral("garbage")));
    module.setCorruptChecks(parser.isSet(QStringLiteral("corrupt")));
    module.setAnswerDelayMs(delay);
    module.setSilent(parser.isSet(QStringLiteral("silent")));
    module.setMeasureAtPowerUp(parser.isSet(QStringLiteral("stream")));

    QuitOnSignal quit;
    if (!quit.isWatching()) {
        err() << "korvani-sim: cannot watch for signals\n";
        err().flush();
        return 1;
    }
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &app, [] { QCoreApplication::quit(); });

    if (!module.open()) {
        err() << "korvani-sim: " << module.errorString() << '\n';
        err().flush();
        return 1;
    }
    if (parser.isSet(QStringLiteral("link"))
        && !module.createSymlink(parser.value(QStringLiteral("link")))) {
        err() << "korvani-sim: " << module.errorString() << '\n';
        err().flush();
        return 1;
    }
    if (goAway >= 0)
        module.setGoAwayAfterFrames(goAway);

    QObject::connect(&module, &SimulatedModule::closed, &app, [&module, replug] {
        err() << "korvani-sim: the module went away\n";
        err().flush();
        if (replug < 0) {
            QCoreApplication::exit(0);
            return;
        }
        QTimer::singleShot(replug, &module, [&module] {
            if (!module.open()) {
                err() << "korvani-sim: " << module.errorString() << '\n';
                err().flush();
                QCoreApplication::exit(1);
                return;
            }
            announce(module);
        });
    });

    announce(module);
    return app.exec();
}
