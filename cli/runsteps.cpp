#include "runsteps.h"

#include "moduleline.h"
#include "protocol/commands.h"
#include "runkeeper.h"

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
