#include "runsteps.h"

#include "moduleline.h"
#include "protocol/commands.h"
#include "runkeeper.h"

QString readVersions(ModuleLine &s, std::optional<quint8> id, QString &hardware, QString &firmware)
{
    const struct {
        quint8 code;
        QString *version;
        const char *what;
    } queries[] = {{Command::HardwareVersion, &hardware, "hardware version"},
                   {Command::FirmwareVersion, &firmware, "firmware version"}};
    for (const auto &q : queries) {
        const std::optional<Answer> a = s.askCode(commandFrame(q.code, QByteArray(), id), q.code);
        if (!a || a->lines.isEmpty() || s.broken())
            return QStringLiteral("the module did not answer (%1)").arg(QLatin1String(q.what));
        *q.version = versionOf(a->lines.first());
    }
    return QString();
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
