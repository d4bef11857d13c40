#include "simoptions.h"

#include "captureplayer.h"
#include "simulatedmodule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

namespace {

struct Switch {
    const char *name;
    const char *help;
    const char *value;  // nullptr: a flag
};

const Switch switches[] = {
    {"link", "Also reach the device through this symbolic link.", "path"},
    {"rate", "Streaming rate: 10, 20, 50 or 100 Hz (default 50).", "hz"},
    {"extended", "Measurements as 33-byte 0x82 frames.", nullptr},
    {"rs485", "Obey only addressed frames carrying this device ID (0-255).", "id"},
    {"distance", "Reference distance in mm (default 1500).", "mm"},
    {"seed", "Seed of the noise and the line faults.", "n"},
    {"split", "Write each frame in pieces with short pauses.", nullptr},
    {"join", "Write frames in groups of this many.", "n"},
    {"garbage", "Noise bytes in front of every frame.", nullptr},
    {"corrupt", "Wrong check byte on every frame.", nullptr},
    {"delay", "Answer this many milliseconds late.", "ms"},
    {"silent", "Answer nothing.", nullptr},
    {"go-away", "Disappear after writing this many frames.", "n"},
    {"replug", "After disappearing, come back on a new device after this many ms.", "ms"},
    {"stream", "Start measuring at once (measuring at power-up).", nullptr},
    {"outliers", "Now and then a reading far off, as on a cluttered target.", nullptr},
    {"replay", "Play the rx lines of this capture file with their recorded timing instead of "
               "answering, from the program's first command on.", "file"},
    {"speed", "Replay at this many times the recorded pace (default 1).", "x"},
    {"fast", "Replay as fast as the program reads.", nullptr},
};

bool readNumber(const QCommandLineParser &parser, const char *name, int low, int high,
                int &value, QString *error)
{
    const QString key = QString::fromLatin1(name);
    if (!parser.isSet(key))
        return true;
    bool ok = false;
    const int number = parser.value(key).toInt(&ok);
    if (!ok || number < low || number > high) {
        if (error)
            *error = QStringLiteral("--%1 wants a number from %2 to %3, not '%4'")
                         .arg(key).arg(low).arg(high).arg(parser.value(key));
        return false;
    }
    value = number;
    return true;
}

} // namespace

void addSimOptions(QCommandLineParser &parser)
{
    for (const Switch &s : switches) {
        QCommandLineOption option(QString::fromLatin1(s.name), QString::fromLatin1(s.help));
        if (s.value)
            option.setValueName(QString::fromLatin1(s.value));
        parser.addOption(option);
    }
}

bool processSimOptions(const QCoreApplication &app, const QString &description,
                       SimOptions &options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    addSimOptions(parser);
    // Not process(): an unknown option is a bad option like a bad value, and
    // the caller ends with the status its manual gives for both.
    if (!parser.parse(app.arguments())) {
        if (error)
            *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);  // ends the program
    return readSimOptions(parser, options, error);
}

bool readSimOptions(const QCommandLineParser &parser, SimOptions &options, QString *error)
{
    SimOptions read;
    if (!readNumber(parser, "rate", 10, 100, read.rateHz, error)
        || !readNumber(parser, "rs485", 0, 255, read.rs485Id, error)
        || !readNumber(parser, "distance", 0, 65535, read.distanceMm, error)
        || !readNumber(parser, "seed", 0, 0x7FFFFFFF, read.seed, error)
        || !readNumber(parser, "join", 0, 1000, read.join, error)
        || !readNumber(parser, "delay", 0, 60000, read.delayMs, error)
        || !readNumber(parser, "go-away", 0, 0x7FFFFFFF, read.goAwayFrames, error)
        || !readNumber(parser, "replug", 0, 600000, read.replugMs, error))
        return false;
    // The module streams at one of its four rates only.
    if (read.rateHz != 10 && read.rateHz != 20 && read.rateHz != 50 && read.rateHz != 100) {
        if (error)
            *error = QStringLiteral("--rate wants 10, 20, 50 or 100, not '%1'").arg(read.rateHz);
        return false;
    }
    const auto flag = [&parser](const char *name) {
        return parser.isSet(QString::fromLatin1(name));
    };
    read.extended = flag("extended");
    read.split = flag("split");
    read.garbage = flag("garbage");
    read.corrupt = flag("corrupt");
    read.silent = flag("silent");
    read.stream = flag("stream");
    read.outliers = flag("outliers");
    if (flag("link"))
        read.link = parser.value(QStringLiteral("link"));
    if (flag("replay"))
        read.replay = parser.value(QStringLiteral("replay"));
    if ((flag("speed") || flag("fast")) && read.replay.isEmpty()) {
        if (error)
            *error = QStringLiteral("--speed and --fast go with --replay");
        return false;
    }
    if (flag("speed") && flag("fast")) {
        if (error)
            *error = QStringLiteral("--speed and --fast exclude each other");
        return false;
    }
    if (flag("speed")) {
        bool ok = false;
        read.speed = parser.value(QStringLiteral("speed")).toDouble(&ok);
        if (!ok || !(read.speed >= 0.001 && read.speed <= 1000000)) {
            if (error)
                *error = QStringLiteral("--speed wants a factor from 0.001 to 1000000, not '%1'")
                             .arg(parser.value(QStringLiteral("speed")));
            return false;
        }
    }
    if (flag("fast"))
        read.speed = 0;
    options = read;
    return true;
}

void applySimOptions(const SimOptions &options, SimulatedModule &module)
{
    module.setRateHz(options.rateHz);
    if (options.rs485Id >= 0)
        module.setRs485(true, quint8(options.rs485Id));
    else
        module.setRs485(false);
    module.setExtendedMode(options.extended);
    module.setReferenceDistance(quint16(options.distanceMm));
    module.setSeed(quint32(options.seed));
    module.setSplitFrames(options.split);
    module.setJoinFrames(options.join);
    module.setGarbage(options.garbage);
    module.setCorruptChecks(options.corrupt);
    module.setAnswerDelayMs(options.delayMs);
    module.setSilent(options.silent);
    module.setMeasureAtPowerUp(options.stream);
    module.setOutliers(options.outliers);
}

SimSession::SimSession(SimulatedModule &module, const SimOptions &options, QObject *parent)
    : QObject(parent)
    , module(module)
    , options(options)
{
    connect(&module, &SimulatedModule::closed, this, [this] {
        const bool returning = this->options.replugMs >= 0;
        emit wentAway(returning);
        if (returning)
            QTimer::singleShot(this->options.replugMs, this, &SimSession::reopen);
    });
}

SimSession::~SimSession() = default;

bool SimSession::start()
{
    applySimOptions(options, module);
    if (!options.replay.isEmpty()) {
        module.setSilent(true);
        player = std::make_unique<CapturePlayer>(module, options.replay, options.speed);
        if (!player->open()) {
            error = player->message();
            replayRefused = true;
            return false;
        }
        connect(player.get(), &CapturePlayer::finished, this, &SimSession::replayFinished);
    }
    if (!module.open()) {
        error = module.errorString();
        return false;
    }
    if (!options.link.isEmpty() && !module.createSymlink(options.link)) {
        error = module.errorString();
        return false;
    }
    // Announced before the go-away fault is armed: with --go-away 0 the
    // module leaves at once, and its path is gone with it.
    emit portReady(module.portName());
    if (options.goAwayFrames >= 0)
        module.setGoAwayAfterFrames(options.goAwayFrames);
    if (player)
        player->arm();
    return true;
}

void SimSession::reopen()
{
    if (!module.open()) {
        emit failed(module.errorString());
        return;
    }
    emit portReady(module.portName());
}
