// What the module does with each command it obeys.

#include "simulatedmodule.h"

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/pollschedule.h"
#include "responseframes.h"

#include <QDebug>

namespace {
constexpr quint8 SingleMeasurementMode = 0x20;  // the same code with no data
constexpr quint8 ContinuousMeasurementMode = 0x21;
constexpr quint8 Standby = 0x40;
constexpr quint8 PowerUpMeasuringOff = 0x60;
constexpr quint8 PowerUpMeasuringOn = 0x61;
constexpr quint8 HexOutput = 0x70;

bool isMeasurementCommand(quint8 code)
{
    return code == Command::SingleFixed || code == Command::Single
           || code == Command::ContinuousFixed || code == Command::Continuous;
}

int rateOfCommand(quint8 code)
{
    switch (code) {
    case Command::Rate10Hz: return 10;
    case Command::Rate20Hz: return 20;
    case Command::Rate50Hz: return 50;
    case Command::Rate100Hz: return 100;
    default: return 0;
    }
}
}

void SimulatedModule::handle(const CommandFrame &frame)
{
    if (silent)
        return;
    const quint8 code = frame.code;
    switch (code) {
    case Command::SingleFixed:
    case Command::Single:
        answerMeasurement(code);
        return;
    case Command::ContinuousFixed:
    case Command::Continuous:
        startStreaming(code);
        return;
    case Command::Stop:
        stopStreaming();
        answer(code);
        return;
    case Command::Rate10Hz:
    case Command::Rate20Hz:
    case Command::Rate50Hz:
    case Command::Rate100Hz:
        setRateHz(rateOfCommand(code));
        answer(code);
        return;
    case Command::Restart:
        answer(code);
        restart();
        return;
    case Command::HardwareVersion:
        answer(code, settings.hardwareVersion);
        return;
    case Command::FirmwareVersion:
        answer(code, settings.firmwareVersion);
        return;
    case Command::GetThreshold:
        answer(code, uint16Bytes(settings.threshold));
        return;
    case Command::SetThreshold:
        if (frame.data.size() < 2)
            break;
        settings.threshold = readUInt16(frame.data, 0);
        answer(code, uint16Bytes(settings.threshold));
        return;
    case Command::SetIntegration:  // also SingleMeasurementMode
        if (frame.data.isEmpty()) {
            answer(SingleMeasurementMode);
            return;
        }
        if (frame.data.size() < 2)
            break;
        settings.integrationTime = readUInt16(frame.data, 0);
        answer(code, uint16Bytes(settings.integrationTime));
        return;
    case Command::ReadIntegration:
        answer(code, uint16Bytes(settings.integrationTime));
        return;
    case Command::Range:
        answer(code, uint16Bytes(settings.range));
        return;
    case Command::Configuration:
        answer(code, settings.configuration);
        return;
    case Command::Coefficients:
        answer(code, settings.coefficients);
        return;
    case ContinuousMeasurementMode:
    case HexOutput:
        answer(code);
        return;
    case Standby:
        stopStreaming();
        answer(code);
        return;
    case PowerUpMeasuringOff:
    case PowerUpMeasuringOn:
        measureAtPowerUp = code == PowerUpMeasuringOn;
        answer(code);
        return;
    default:
        break;
    }
    // Commands the module does not take are answered only when told to.
    if (answerData.contains(code))
        answer(code);
}

void SimulatedModule::answer(quint8 code, const QByteArray &data)
{
    const auto replaced = answerData.constFind(code);
    shaper.send(answerFrame(code, replaced != answerData.cend() ? *replaced : data));
}

void SimulatedModule::answerMeasurement(quint8 commandCode)
{
    const auto replaced = answerData.constFind(commandCode);
    if (replaced == answerData.cend()) {
        shaper.send(nextMeasurementFrame());
        return;
    }
    const quint8 code = extended ? Response::ExtendedMeasurement : Response::Measurement;
    shaper.send(rawPayloadFrame(code, *replaced));
}

QByteArray SimulatedModule::nextMeasurementFrame()
{
    Reading reading = fixedReading ? *fixedReading : generator.next(poweredOn.elapsed());
    if (counting)
        reading.distance = distanceCounter++;
    if (!extended)
        return measurementFrame(reading);
    ExtendedFields extra;
    extra.sequence = sequence++;
    extra.integrationTime = settings.integrationTime;
    return extendedMeasurementFrame(reading, extra);
}

bool SimulatedModule::setRateHz(int hz)
{
    if (hz != 10 && hz != 20 && hz != 50 && hz != 100)
        return false;
    rate = hz;
    if (streamTimer.isActive()) {
        streamClock.start();
        streamed = 0;
        streamTimer.start(1000 / rate);
    }
    return true;
}

void SimulatedModule::startStreaming(quint8 commandCode)
{
    streamCode = commandCode;
    if (lineRate) {
        lineRateActive = true;
        refillBenchmark();
        return;
    }
    if (streamTimer.isActive())
        return;
    // The first measurement goes out at once, so the command has its answer
    // well inside the program's wait even at 10 Hz.
    streamClock.start();
    streamed = 0;
    streamTimer.start(1000 / rate);
    streamTick();
}

void SimulatedModule::stopStreaming()
{
    streamTimer.stop();
    lineRateActive = false;
}

void SimulatedModule::streamTick()
{
    if (silent || !isOpen())
        return;
    // A module measures at its rate whatever its host does: every measurement
    // due since streaming began goes out, also after a late tick (a busy
    // machine), so the frames keep the rate over a run instead of drifting.
    const PollSchedule schedule(rate);
    const qint64 now = streamClock.nsecsElapsed();
    while (schedule.dueNs(streamed) <= now) {
        ++streamed;
        // Nobody is reading: measuring on would only pile up stale frames.
        if (queuedBytes() <= StreamBacklogLimit)
            answerMeasurement(streamCode);
    }
}

void SimulatedModule::restart()
{
    stopStreaming();
    setRateHz(ModuleSettings::DefaultRateHz);
    if (measureAtPowerUp)
        startStreaming(Command::Continuous);
}

void SimulatedModule::setAnswerData(quint8 code, const QByteArray &data)
{
    if (data.size() > 255 && !isMeasurementCommand(code))
        qWarning("SimulatedModule: answer data for %02x cut to 255 bytes", code);
    answerData.insert(code, isMeasurementCommand(code) ? data : data.left(255));
}

void SimulatedModule::clearAnswerData(quint8 code)
{
    answerData.remove(code);
}

static bool sizedSetting(QByteArray &setting, const QByteArray &value, int size, const char *what)
{
    if (value.size() != size) {
        qWarning("SimulatedModule: %s must be %d bytes, not %d", what, size, int(value.size()));
        return false;
    }
    setting = value;
    return true;
}

bool SimulatedModule::setHardwareVersion(const QByteArray &four)
{
    return sizedSetting(settings.hardwareVersion, four, ModuleSettings::VersionSize,
                        "hardware version");
}

bool SimulatedModule::setFirmwareVersion(const QByteArray &four)
{
    return sizedSetting(settings.firmwareVersion, four, ModuleSettings::VersionSize,
                        "firmware version");
}

bool SimulatedModule::setConfiguration(const QByteArray &eighteen)
{
    return sizedSetting(settings.configuration, eighteen, ModuleSettings::ConfigurationSize,
                        "configuration");
}

bool SimulatedModule::setCoefficients(const QByteArray &fifty)
{
    return sizedSetting(settings.coefficients, fifty, ModuleSettings::CoefficientsSize,
                        "coefficients");
}
