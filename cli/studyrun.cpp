#include "studyrun.h"

#include "exitstatus.h"
#include "measurerun.h"
#include "moduleline.h"
#include "output.h"
#include "platform/quitonsignal.h"
#include "rangesummary.h"
#include "runkeeper.h"
#include "runsteps.h"

int study(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    RunKeeper keeper(o.keep, s.portName());
    const TestLimits &limits = o.test.limits;
    StudySummary summary;
    summary.referenceMilli = limits.referenceMilli;
    summary.toleranceMilli = limits.toleranceMilli;
    const DistanceStatistics none;
    summary.distances = &none;

    const Versions versions = readVersions(s, o.line.id);
    if (!versions.error.isEmpty()) {
        const int status = s.fail(versions.error);
        RunSummary nothing;
        keeper.keep(nothing, 0, RunStatus::Error, status, false, versions.error);
        return status;
    }
    keeper.setVersions(versions.hardwareText(), versions.firmwareText());

    MeasureRun run(s, o.run, o.output.format, records, std::nullopt);
    run.setMeasurementSink(keeper.recorder());
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
    const MeasureRun::End end = run.run();
    const RunStatus status = statusOf(end);

    const quint64 asked = expectedFrames(o.run, o.line, run.frameBytes());
    summary.frames = run.frames();
    summary.distances = &run.distances();
    summary.study = typeOneStudy(run.distances(), limits.referenceMilli, limits.toleranceMilli, o.study.minCg);
    const QString minimum = indexText(o.study.minCg);
    for (const auto &[name, value] : {std::pair<const char *, std::optional<double>>{"Cg", summary.study.cg},
                                      {"Cgk", summary.study.cgk}}) {
        if (value && indexText(*value).toDouble() < o.study.minCg)
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
    out.write(renderStudySummary(summary, o.output.format));

    RunSummary figures;
    figures.frames = run.frames();
    figures.expected = asked;
    figures.failedChecks = run.failedChecks();
    figures.rateHz = run.rateHz();
    figures.distances = &run.distances();
    figures.limits = limits;
    figures.verdict.pass = summary.study.capable;
    figures.verdict.failed = summary.failed;
    RunRecord r = keeper.record(figures, run.amplitudeSum(), status, exitStatus, false, run.reason());
    r.outside.reset();
    r.cg = summary.study.cg;
    r.cgk = summary.study.cgk;
    // A run that neither its database nor the spool took is not saved.
    return keeper.keepRecord(r) ? exitStatus : ExitStatus::WriteFailed;
}
