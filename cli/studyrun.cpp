#include "studyrun.h"

#include "exitstatus.h"
#include "measurerun.h"
#include "moduleline.h"
#include "output.h"
#include "platform/quitonsignal.h"
#include "rangesummary.h"
#include "runkeeper.h"
#include "runsteps.h"

int study(ModuleLine &s, Output &out, Output &records)
{
    const CliOptions &o = s.options();
    RunKeeper keeper(o, s.portName());
    StudySummary summary;
    summary.referenceMilli = o.referenceMilli;
    summary.toleranceMilli = o.toleranceMilli;
    const DistanceStatistics none;
    summary.distances = &none;

    QString hardware, firmware;
    const QString why = readVersions(s, o.id, hardware, firmware);
    if (!why.isEmpty()) {
        const int status = s.fail(why);
        RunSummary nothing;
        keeper.keep(nothing, 0, RunStatus::Error, status, false, why);
        return status;
    }
    keeper.setVersions(hardware, firmware);

    MeasureRun run(s, records, std::nullopt);
    run.setMeasurementSink(keeper.recorder());
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
    const MeasureRun::End end = run.run();
    const RunStatus status = statusOf(end);

    const quint64 asked = o.expectedFrames(run.frameBytes());
    summary.frames = run.frames();
    summary.distances = &run.distances();
    summary.study = typeOneStudy(run.distances(), o.referenceMilli, o.toleranceMilli, o.minCg);
    const QString minimum = indexText(o.minCg);
    for (const auto &[name, value] : {std::pair<const char *, std::optional<double>>{"Cg", summary.study.cg},
                                      {"Cgk", summary.study.cgk}}) {
        if (value && indexText(*value).toDouble() < o.minCg)
            summary.failed << QStringLiteral("%1 %2 below %3").arg(QLatin1String(name), indexText(*value), minimum);
    }
    if (!summary.study.reason.isEmpty())
        summary.failed << summary.study.reason;
    if (run.frames() < asked) {
        summary.failed << QStringLiteral("frames %1 < %2").arg(run.frames()).arg(asked);
        summary.study.capable = false;
    }
    int exitStatus = summary.study.capable ? ExitStatus::Done : ExitStatus::Fail;
    if (status == RunStatus::Error) {
        summary.error = run.reason();
        s.report(run.reason());
        exitStatus = ExitStatus::LinkFailure;
    }
    out.write(renderStudySummary(summary, o.format));

    RunSummary figures;
    figures.frames = run.frames();
    figures.expected = asked;
    figures.failedChecks = run.failedChecks();
    figures.rateHz = run.rateHz();
    figures.distances = &run.distances();
    TestLimits limits;
    limits.referenceMilli = o.referenceMilli;
    limits.toleranceMilli = o.toleranceMilli;
    figures.limits = limits;
    figures.verdict.pass = summary.study.capable;
    figures.verdict.failed = summary.failed;
    RunRecord r = keeper.record(figures, run.amplitudeSum(), status, exitStatus, false, run.reason());
    r.outside.reset();
    r.cg = summary.study.cg;
    r.cgk = summary.study.cgk;
    keeper.keepRecord(r);
    return exitStatus;
}
