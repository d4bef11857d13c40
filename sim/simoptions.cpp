#include "simoptions.h"

#include "platform/numbers.h"

#include "simulatedbus.h"
#include "captureplayer.h"
#include "simulatedmodule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

#include <type_traits>
#include <utility>

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
    {"seed", "Seed of the noise and the line faults (default: a new one each run).", "n"},
    {"drift", "A slow drift of this many mm over minutes (default none).", "mm"},
    {"scale", "Linearity error: read scale x distance + offset (default 1).", "x"},
    {"offset", "Linearity error: the offset in mm (default 0).", "mm"},
    {"target-file", "Read the target's distance (mm) from this file, again whenever it changes, "
                    "so a script can move the target.", "file"},
    {"split", "Write each frame in pieces with short pauses.", nullptr},
    {"join", "Write frames in groups of this many.", "n"},
    {"garbage", "Noise bytes in front of every frame.", nullptr},
    {"corrupt", "Wrong check byte on every frame.", nullptr},
    {"delay", "Answer this many milliseconds late.", "ms"},
    {"silent", "Answer nothing.", nullptr},
    {"go-away", "Disappear after writing this many frames.", "n"},
    {"replug", "After disappearing, come back on a new device after this many ms.", "ms"},
    {"pull", "Pull the adapter out this many ms after the line opens, whatever is written "
             "(with --replug it comes back, freshly powered, behind the same --link).", "ms"},
    {"stream", "Start measuring at once (measuring at power-up).", nullptr},
    {"module", "A module on an RS485 bus (repeat for each; the other options apply to all): "
               "ID[,distance=MM][,noise=MM][,scale=X][,offset=MM][,firmware=B-1.2.5][,hardware=A-0.1.2]"
               "[,silent].", "module"},
    {"outliers", "Now and then a reading far off, as on a cluttered target.", nullptr},
    {"replay", "Play the rx lines of this capture file with their recorded timing instead of "
               "answering, from the program's first command on.", "file"},
    {"speed", "Replay at this many times the recorded pace (default 1).", "x"},
    {"fast", "Replay as fast as the program reads.", nullptr},
};

// A whole (int) or decimal (double) number within [low, high], when given.
template <typename T>
bool readNumber(const QCommandLineParser &parser, const char *name, T low, T high, T &value, QString *error)
{
    const QString key = QString::fromLatin1(name);
    if (!parser.isSet(key))
        return true;
    T number{};
    bool ok = false;
    if constexpr (std::is_integral_v<T>) {
        const std::optional<quint64> whole = parseWhole(parser.value(key), quint64(low), quint64(high));
        ok = whole.has_value();
        if (ok)
            number = T(*whole);
    } else {
        number = parser.value(key).toDouble(&ok);
    }
    if (!ok || !(number >= low && number <= high)) {
        if (error)
            *error = QStringLiteral("--%1 wants a number from %2 to %3, not '%4'")
                         .arg(key).arg(low).arg(high).arg(parser.value(key));
        return false;
    }
    value = number;
    return true;
}

// The linearity error's bounds: a module a tenth off at most.
constexpr double MinScale = 0.9, MaxScale = 1.1, MaxOffsetMm = 1000.0;

// A version as the program shows it, "B-1.2.5", into the four bytes the
// module sends for it (the second and third are shown swapped).
bool versionValue(const QString &value, QByteArray &version)
{
    static const QRegularExpression shown(QStringLiteral("^([!-~])-([!-~])\\.([!-~])\\.([!-~])$"));
    const QRegularExpressionMatch m = shown.match(value);
    if (!m.hasMatch())
        return false;
    version = (m.captured(1) + m.captured(3) + m.captured(2) + m.captured(4)).toLatin1();
    return true;
}

// One seed for the whole run when none is given: each run its own noise.
quint32 runSeed(const SimOptions &options)
{
    static const quint32 fresh = QRandomGenerator::global()->bounded(0x7FFFFFFFu);
    return options.seed ? quint32(*options.seed) : fresh;
}

// The distance written in a target file ("1000", "1000.4"), rounded to the
// millimetre; none while the file is missing, being written or not a distance.
std::optional<quint16> targetDistance(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const double mm = QString::fromLatin1(file.read(64)).trimmed().toDouble(&ok);
    if (!ok || !(mm >= 0.0 && mm <= 65535.0))
        return std::nullopt;
    return quint16(qRound(mm));
}

// Before it acts on a command, the module looks where the target is now.
void followTarget(SimulatedModule &module, const QString &path, QObject *context)
{
    if (path.isEmpty())
        return;
    QObject::connect(&module, &SimulatedModule::commandReceived, context, [&module, path] {
        if (const std::optional<quint16> mm = targetDistance(path))
            module.setReferenceDistance(*mm);
    });
}

} // namespace

std::optional<BusModuleOptions> parseBusModule(const QString &text, QString *error)
{
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("--module '%1': %2").arg(text, why);
        return std::nullopt;
    };
    const QStringList parts = text.split(QLatin1Char(','));
    BusModuleOptions m;
    const std::optional<quint64> id = parseWhole(parts.first(), 0, 255);
    if (!id)
        return refuse(QStringLiteral("the ID must be a number from 0 to 255"));
    m.id = int(*id);
    for (const QString &part : parts.mid(1)) {
        if (part == QLatin1String("silent")) {
            m.silent = true;
            continue;
        }
        const int eq = part.indexOf(QLatin1Char('='));
        const QString key = part.left(eq);
        const QString value = eq < 0 ? QString() : part.mid(eq + 1);
        if (key == QLatin1String("distance")) {
            const std::optional<quint64> mm = parseWhole(value, 0, 65535);
            if (!mm)
                return refuse(QStringLiteral("distance wants 0 to 65535 mm"));
            m.distanceMm = int(*mm);
        } else if (key == QLatin1String("noise")) {
            const std::optional<qint64> milli = parseThousandths(value, 0, 1000000);
            if (!milli)
                return refuse(QStringLiteral("noise wants 0 to 1000 mm (up to three decimals)"));
            m.noiseMm = double(*milli) / 1000.0;
        } else if (key == QLatin1String("scale")) {
            bool ok = false;
            const double x = value.toDouble(&ok);
            if (!ok || !(x >= MinScale && x <= MaxScale))
                return refuse(QStringLiteral("scale wants %1 to %2").arg(MinScale).arg(MaxScale));
            m.scale = x;
        } else if (key == QLatin1String("offset")) {
            bool ok = false;
            const double mm = value.toDouble(&ok);
            if (!ok || !(mm >= -MaxOffsetMm && mm <= MaxOffsetMm))
                return refuse(QStringLiteral("offset wants %1 to %2 mm").arg(-MaxOffsetMm).arg(MaxOffsetMm));
            m.offsetMm = mm;
        } else if (key == QLatin1String("firmware") || key == QLatin1String("hardware")) {
            if (!versionValue(value, key == QLatin1String("firmware") ? m.firmware : m.hardware))
                return refuse(QStringLiteral("%1 wants a version as shown, e.g. B-1.2.5").arg(key));
        } else {
            return refuse(QStringLiteral("unknown setting '%1'").arg(part));
        }
    }
    return m;
}

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
    int seed = 0;
    if (!readNumber(parser, "rate", 10, 100, read.rateHz, error)
        || !readNumber(parser, "rs485", 0, 255, read.rs485Id, error)
        || !readNumber(parser, "distance", 0, 65535, read.distanceMm, error)
        || !readNumber(parser, "seed", 0, 0x7FFFFFFF, seed, error)
        || !readNumber(parser, "drift", 0.0, 10000.0, read.driftMm, error)
        || !readNumber(parser, "scale", MinScale, MaxScale, read.scale, error)
        || !readNumber(parser, "offset", -MaxOffsetMm, MaxOffsetMm, read.offsetMm, error)
        || !readNumber(parser, "join", 0, 1000, read.join, error)
        || !readNumber(parser, "delay", 0, 60000, read.delayMs, error)
        || !readNumber(parser, "go-away", 0, 0x7FFFFFFF, read.goAwayFrames, error)
        || !readNumber(parser, "replug", 0, 600000, read.replugMs, error)
        || !readNumber(parser, "pull", 0, 0x7FFFFFFF, read.pullMs, error))
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
    if (flag("seed"))
        read.seed = seed;
    if (flag("target-file"))
        read.targetFile = parser.value(QStringLiteral("target-file"));
    read.extended = flag("extended");
    read.split = flag("split");
    read.garbage = flag("garbage");
    read.corrupt = flag("corrupt");
    read.silent = flag("silent");
    read.stream = flag("stream");
    read.outliers = flag("outliers");
    if (flag("link"))
        read.link = parser.value(QStringLiteral("link"));
    for (const QString &given : parser.values(QStringLiteral("module"))) {
        const std::optional<BusModuleOptions> m = parseBusModule(given, error);
        if (!m)
            return false;
        for (const BusModuleOptions &other : std::as_const(read.bus)) {
            if (other.id == m->id) {
                if (error)
                    *error = QStringLiteral("--module: ID %1 given twice").arg(m->id);
                return false;
            }
        }
        read.bus.append(*m);
    }
    // A bus gives each module its ID; pulling the adapter is a single module's fault.
    if (!read.bus.isEmpty() && (read.rs485Id >= 0 || read.goAwayFrames >= 0 || read.replugMs >= 0 || read.pullMs >= 0)) {
        if (error)
            *error = QStringLiteral("--module does not go with --rs485, --go-away, --pull or --replug");
        return false;
    }
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
        const std::optional<qint64> thousandths =
            parseThousandths(parser.value(QStringLiteral("speed")), 1, qint64(1000000) * 1000);
        if (!thousandths) {
            if (error)
                *error = QStringLiteral("--speed wants a factor from 0.001 to 1000000, not '%1'")
                             .arg(parser.value(QStringLiteral("speed")));
            return false;
        }
        read.speed = double(*thousandths) / 1000.0;
    }
    if (flag("fast"))
        read.speed = 0;
    if (!read.bus.isEmpty() && !read.replay.isEmpty()) {
        if (error)
            *error = QStringLiteral("--module does not go with --replay");
        return false;
    }
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
    module.setSeed(runSeed(options));
    module.setDrift(options.driftMm);
    module.setLinearityError(options.scale, options.offsetMm);
    module.setSplitFrames(options.split);
    module.setJoinFrames(options.join);
    module.setGarbage(options.garbage);
    module.setCorruptChecks(options.corrupt);
    module.setAnswerDelayMs(options.delayMs);
    module.setSilent(options.silent);
    module.setMeasureAtPowerUp(options.stream);
    module.setOutliers(options.outliers);
}

std::unique_ptr<SimulatedBus> makeSimulatedBus(const SimOptions &options)
{
    if (options.bus.isEmpty())
        return nullptr;
    auto bus = std::make_unique<SimulatedBus>();
    for (const BusModuleOptions &m : options.bus) {
        SimulatedModule *module = bus->addModule(quint8(m.id));
        if (!module)
            continue;  // an ID given twice: the first one holds
        applySimOptions(options, *module);
        module->setRs485(true, quint8(m.id));
        // Each module its own noise: the seed differs by the ID.
        module->setSeed(runSeed(options) + quint32(m.id) * 7919u);
        module->setLinearityError(m.scale.value_or(options.scale), m.offsetMm.value_or(options.offsetMm));
        if (m.distanceMm)
            module->setReferenceDistance(quint16(*m.distanceMm));
        if (m.noiseMm)
            module->setNoise(*m.noiseMm);
        if (!m.firmware.isEmpty())
            module->setFirmwareVersion(m.firmware);
        if (!m.hardware.isEmpty())
            module->setHardwareVersion(m.hardware);
        module->setSilent(options.silent || m.silent);
    }
    return bus;
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

QString SimSession::portName() const
{
    return bus ? bus->portName() : module.portName();
}

bool SimSession::start()
{
    if (!options.bus.isEmpty()) {
        bus = makeSimulatedBus(options);
        if (!bus->open() || (!options.link.isEmpty() && !bus->createSymlink(options.link))) {
            error = bus->errorString();
            return false;
        }
        for (SimulatedModule *m : bus->modules())
            followTarget(*m, options.targetFile, this);
        emit portReady(bus->portName());
        return true;
    }
    applySimOptions(options, module);
    followTarget(module, options.targetFile, this);
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
    if (options.pullMs >= 0)
        QTimer::singleShot(options.pullMs, &module, &SimulatedModule::goAway);
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
