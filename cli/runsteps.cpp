#include "runsteps.h"

#include "moduleline.h"
#include "protocol/commands.h"
#include "protocol/pollschedule.h"
#include "runkeeper.h"

#include <algorithm>
#include <tuple>

QString Versions::hardwareText() const
{
    return hardware ? versionOf(hardware->lines.first()) : QString();
}

QString Versions::firmwareText() const
{
    return firmware ? versionOf(firmware->lines.first()) : QString();
}

Versions readVersions(ModuleLine &s, std::optional<quint8> id)
{
    Versions v;
    for (const auto &[code, answer, what] :
         {std::tuple<quint8, std::optional<Answer> *, const char *>{Command::HardwareVersion, &v.hardware, "hardware version"},
          {Command::FirmwareVersion, &v.firmware, "firmware version"}}) {
        *answer = s.askCode(commandFrame(code, QByteArray(), id), code);
        if (!*answer || (*answer)->lines.isEmpty() || s.broken()) {
            answer->reset();
            v.error = QStringLiteral("the module did not answer (%1)").arg(QLatin1String(what));
            break;
        }
    }
    return v;
}

RunStatus statusOf(MeasureRun::End end)
{
    switch (end) {
    case MeasureRun::End::Done: return RunStatus::Complete;
    case MeasureRun::End::Interrupted: return RunStatus::Aborted;
    case MeasureRun::End::NoAnswer:
    case MeasureRun::End::LinkFailed:
    case MeasureRun::End::OutputFailed: break;
    }
    return RunStatus::Error;
}

BusPlan busPlan(const RunOptions &run, qint32 baud, int modules)
{
    constexpr int MeasurementBytes = 11;
    const int pollBytes = commandFrame(Command::Single, QByteArray(), quint8(0)).size();
    modules = qMax(1, modules);
    BusPlan plan;
    plan.rateHz = busRateHz(run.rateHz, baud, MeasurementBytes, pollBytes, modules);
    if (run.durationMs)
        plan.rounds = deliverableFrames(*run.durationMs, plan.rateHz, baud, MeasurementBytes * modules, pollBytes * modules);
    if (run.count && plan.rounds)
        plan.rounds = std::min(*plan.rounds, *run.count);
    plan.expected = plan.rounds ? *plan.rounds : run.count.value_or(100);
    return plan;
}
