#include "pointsrun.h"

#include "exitstatus.h"
#include "measurerun.h"
#include "moduleline.h"
#include "output.h"
#include "platform/quitonsignal.h"
#include "protocol/commands.h"
#include "rangesummary.h"
#include "runkeeper.h"
#include "runsteps.h"
#include "targetmove.h"

namespace {

PointRow pointRow(int index, const TestLimits &limits, const DistanceStatistics &d, quint64 outside,
                  const Verdict &verdict)
{
    PointRow p;
    p.index = index;
    p.referenceMilli = limits.referenceMilli;
    p.frames = d.count();
    p.outside = outside;
    p.pass = verdict.pass;
    if (!d.isEmpty()) {
        p.meanMilli = d.meanMilli();
        p.biasMilli = d.differenceMilli(limits.referenceMilli);
        p.sigmaMilli = d.sigmaMilli();
        p.minMm = d.minimum();
        p.maxMm = d.maximum();
    }
    return p;
}

} // namespace

int pointsTest(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    RunKeeper keeper(o.keep, s.portName());
    PointsSummary summary;
    RunStatus status = RunStatus::Complete;
    int exitStatus = ExitStatus::Done;
    QString why;

    const Versions versions = readVersions(s, o.line.id);
    if (!versions.error.isEmpty()) {
        why = versions.error;
        status = RunStatus::Error;
        exitStatus = s.fail(why);
    } else {
        keeper.setVersions(versions.hardwareText(), versions.firmwareText());
        summary.failed = versionFailures(versions.hardwareText(), o.test.hardwarePattern, versions.firmwareText(),
                                         o.test.firmwarePattern);
    }

    const PointsOptions &p = o.points;
    TargetMove mover(s, p);
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &mover, &TargetMove::interrupt);
    quint64 frames = 0, expected = 0, failedChecks = 0, amplitudes = 0;
    for (int i = 0; i < p.points.size() && status == RunStatus::Complete; ++i) {
        const PointsOptions::Point &point = p.points.at(i);
        const QString named = QStringLiteral("point %1 (%2 mm)").arg(i + 1).arg(pointText(point.referenceMilli));
        const TargetMove::Result moved = mover.place(point.referenceMilli, i + 1);
        if (moved != TargetMove::Result::Placed) {
            why = named + QStringLiteral(": ") + mover.reason();
            status = moved == TargetMove::Result::Failed ? RunStatus::Error : RunStatus::Aborted;
            // The module may have been left measuring by whatever moved the target.
            if (s.link().isOpen())
                s.link().send(commandFrame(Command::Stop), Expect::anyFrame());
            break;
        }

        TestLimits limits = o.test.limits;
        limits.referenceMilli = point.referenceMilli;
        limits.toleranceMilli = point.toleranceMilli;
        MeasureRun run(s, o.run, o.output.format, records, limits);
        run.setPoint(point.referenceMilli, i == 0);
        run.setSettleMs(p.settleMs);
        run.setMeasurementSink(keeper.recorder());
        QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
        const MeasureRun::End end = run.run();

        limits.expectedFrames = expectedFrames(o.run, o.line, run.frameBytes());
        const Verdict v = judge(limits, run.distances(), run.amplitudeSum(), run.outside());
        summary.points << pointRow(i + 1, limits, run.distances(), run.outside(), v);
        for (const QString &f : v.failed)
            summary.failed << named + QStringLiteral(": ") + f;
        frames += run.frames();
        expected += limits.expectedFrames;
        failedChecks += run.failedChecks();
        amplitudes += run.amplitudeSum();
        status = statusOf(end);
        if (status != RunStatus::Complete) {
            why = named + QStringLiteral(": ") + (run.reason().isEmpty() ? QStringLiteral("interrupted") : run.reason());
            if (end == MeasureRun::End::NoAnswer || end == MeasureRun::End::LinkFailed)
                s.report(run.reason());
        }
    }

    QVector<BiasPoint> biases;
    for (const PointRow &row : std::as_const(summary.points)) {
        if (row.biasMilli)
            biases.append({row.referenceMilli, *row.biasMilli});
    }
    summary.line = linearity(biases);
    if (p.maxSlope && !slopeWithin(summary.line, *p.maxSlope))
        summary.failed << QStringLiteral("slope %1 beyond %2").arg(slopeText(*summary.line.slope), slopeText(*p.maxSlope));
    if (status == RunStatus::Aborted)
        summary.failed << why;
    summary.pass = status == RunStatus::Complete && summary.failed.isEmpty();
    if (status == RunStatus::Error) {
        summary.error = why;
        if (exitStatus == ExitStatus::Done) {
            s.report(why);
            exitStatus = ExitStatus::LinkFailure;
        }
    } else {
        exitStatus = summary.pass ? ExitStatus::Done : ExitStatus::Fail;
    }
    out.write(renderPointsSummary(summary, o.output.format));

    RunSummary totals;
    totals.frames = frames;
    totals.expected = expected;
    totals.failedChecks = failedChecks;
    RunRecord r = keeper.record(totals, amplitudes, status, exitStatus, false, why);
    r.toleranceMilli = o.test.limits.toleranceMilli;
    r.points = summary.points;
    r.linearitySlope = summary.line.slope;
    r.linearityInterceptMm = summary.line.interceptMm;
    r.linearityR2 = summary.line.r2;
    if (status == RunStatus::Complete) {
        r.pass = summary.pass;
        r.failed = summary.failed.join(QStringLiteral("; "));
    }
    keeper.keepRecord(r);
    return exitStatus;
}
