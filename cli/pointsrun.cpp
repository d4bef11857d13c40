#include "pointsrun.h"

#include "exitstatus.h"
#include "fixturerun.h"
#include "measurerun.h"
#include "moduleline.h"
#include "output.h"
#include "platform/quitonsignal.h"
#include "protocol/commands.h"
#include "rangesummary.h"
#include "runkeeper.h"
#include "runsteps.h"
#include "targetmove.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// One module's run across the range, as its points come in.
struct Unit {
    Unit(const KeepOptions &options, const QString &port) : keep(options), keeper(keep, port) {}
    KeepOptions keep;  // this module's (the keeper holds on to it)
    RunKeeper keeper;
    PointsSummary summary;
    RunStatus status = RunStatus::Complete;
    QString why;             // why an ERROR or ABORTED run ended
    bool reported = false;   // the error is already on standard error
    QString hardware, firmware;
    RunSummary totals;       // frames, expected and failed checks over the points
    quint64 amplitudes = 0;
};

// "point 2 (1000 mm)"
QString pointName(int index, qint64 referenceMilli)
{
    return QStringLiteral("point %1 (%2 mm)").arg(index).arg(pointText(referenceMilli));
}

// A point measured: its figures and verdict join the unit's.
void addPoint(Unit &u, int index, const TestLimits &limits, const DistanceStatistics &d, quint64 outside,
              quint64 amplitudes, quint64 failedChecks)
{
    const Verdict v = judge(limits, d, amplitudes, outside);
    PointRow p;
    p.index = index;
    p.referenceMilli = limits.referenceMilli;
    p.frames = d.count();
    p.outside = outside;
    p.pass = v.pass;
    if (!d.isEmpty()) {
        p.meanMilli = d.meanMilli();
        p.biasMilli = d.differenceMilli(limits.referenceMilli);
        p.sigmaMilli = d.sigmaMilli();
        p.minMm = d.minimum();
        p.maxMm = d.maximum();
    }
    u.summary.points << p;
    for (const QString &f : v.failed)
        u.summary.failed << pointName(index, limits.referenceMilli) + QStringLiteral(": ") + f;
    u.totals.frames += d.count();
    u.totals.expected += limits.expectedFrames;
    u.totals.failedChecks += failedChecks;
    u.amplitudes += amplitudes;
}

// The unit's line and verdict: printed, kept, and its exit status.
int finishUnit(Unit &u, const CliOptions &o, ModuleLine &s, Output &out)
{
    PointsSummary &summary = u.summary;
    QVector<BiasPoint> biases;
    for (const PointRow &row : std::as_const(summary.points)) {
        if (row.biasMilli)
            biases.append({row.referenceMilli, *row.biasMilli});
    }
    summary.line = linearity(biases);
    if (o.points.maxSlope && !slopeWithin(summary.line, *o.points.maxSlope))
        summary.failed << QStringLiteral("slope %1 beyond %2").arg(slopeText(*summary.line.slope), slopeText(*o.points.maxSlope));
    if (u.status == RunStatus::Aborted)
        summary.failed << u.why;
    summary.pass = u.status == RunStatus::Complete && summary.failed.isEmpty();
    int exitStatus = summary.pass ? ExitStatus::Done : ExitStatus::Fail;
    if (u.status == RunStatus::Error) {
        summary.error = u.why;
        if (!u.reported)
            s.report(summary.deviceId ? QStringLiteral("id %1: %2").arg(*summary.deviceId).arg(u.why) : u.why);
        exitStatus = ExitStatus::LinkFailure;
    }
    out.write(renderPointsSummary(summary, o.output.format));

    RunRecord r = u.keeper.record(u.totals, u.amplitudes, u.status, exitStatus, false, u.why);
    r.toleranceMilli = o.test.limits.toleranceMilli;
    r.points = summary.points;
    r.linearitySlope = summary.line.slope;
    r.linearityInterceptMm = summary.line.interceptMm;
    r.linearityR2 = summary.line.r2;
    if (u.status == RunStatus::Complete) {
        r.pass = summary.pass;
        r.failed = summary.failed.join(QStringLiteral("; "));
    }
    // A run that neither its database nor the spool took is not saved.
    return u.keeper.keepRecord(r) ? exitStatus : ExitStatus::WriteFailed;
}

// Puts the target at the point; false when the run stops there (every
// unit still measuring then ends with the reason).
bool moveTo(TargetMove &mover, ModuleLine &s, int index, qint64 referenceMilli, std::vector<Unit *> &units)
{
    const TargetMove::Result moved = mover.place(referenceMilli, index);
    if (moved == TargetMove::Result::Placed)
        return true;
    for (Unit *u : units) {
        if (u->status != RunStatus::Complete)
            continue;
        u->status = moved == TargetMove::Result::Failed ? RunStatus::Error : RunStatus::Aborted;
        u->why = pointName(index, referenceMilli) + QStringLiteral(": ") + mover.reason();
    }
    // The module may have been left measuring by whatever moved the target.
    if (s.link().isOpen())
        s.link().send(commandFrame(Command::Stop), Expect::anyFrame());
    return false;
}

// A point's limits: the run's, at the point's distance and tolerance.
TestLimits pointLimits(const CliOptions &o, const PointsOptions::Point &point)
{
    TestLimits limits = o.test.limits;
    limits.referenceMilli = point.referenceMilli;
    limits.toleranceMilli = point.toleranceMilli;
    return limits;
}

// test --ids --points: one move per point, then every answering module of
// the bus measured there together, each with its own points and row.
int pointsFixture(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    const QVector<quint8> &ids = o.line.ids;
    std::vector<std::unique_ptr<Unit>> units;
    std::vector<Unit *> answering;
    QVector<quint8> answeringIds;
    for (quint8 id : ids) {
        KeepOptions keep = o.keep;
        keep.id = id;
        keep.serial = o.test.serials.value(id);
        units.push_back(std::make_unique<Unit>(keep, s.portName()));
        Unit &u = *units.back();
        u.summary.deviceId = id;
        const Versions v = readVersions(s, id);
        if (s.broken())
            return s.fail(QString());
        if (!v.error.isEmpty()) {
            u.status = RunStatus::Error;
            u.why = v.error;
            continue;
        }
        u.keeper.setVersions(v.hardwareText(), v.firmwareText());
        u.summary.failed = versionFailures(v.hardwareText(), o.test.hardwarePattern, v.firmwareText(), o.test.firmwarePattern);
        answering.push_back(&u);
        answeringIds << id;
    }

    const BusPlan plan = busPlan(o.run, o.line.baud, int(answeringIds.size()));
    TargetMove mover(s, o.points);
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &mover, &TargetMove::interrupt);
    for (int i = 0; i < o.points.points.size() && !answeringIds.isEmpty(); ++i) {
        const PointsOptions::Point &point = o.points.points.at(i);
        if (!moveTo(mover, s, i + 1, point.referenceMilli, answering))
            break;
        // Polls start once the target has settled: what comes meanwhile is not asked for.
        QEventLoop settling;
        QTimer::singleShot(o.points.settleMs, &settling, &QEventLoop::quit);
        settling.exec();

        TestLimits limits = pointLimits(o, point);
        limits.expectedFrames = plan.expected;
        FixtureRun run(s, o.run.fixed, o.output.format, records, answeringIds, plan.rateHz, limits, plan.rounds,
                       o.run.durationMs ? std::nullopt : o.run.count);
        run.setPoint(point.referenceMilli, i == 0);
        run.setMeasurementSink([&units, &ids](quint8 id, qint64 at, const Measurement &m) {
            if (const auto recorder = units[size_t(ids.indexOf(id))]->keeper.recorder())
                recorder(at, m);
        });
        QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &FixtureRun::interrupt);
        run.run();

        QVector<quint8> still;
        for (const FixtureRun::Module &m : run.modules()) {
            Unit &u = *units[size_t(ids.indexOf(m.id))];
            addPoint(u, i + 1, limits, m.stats, m.outside, m.amplitudes, run.failedChecks());
            u.status = statusOf(m.end);
            if (u.status == RunStatus::Complete)
                still << m.id;
            else
                u.why = pointName(i + 1, point.referenceMilli) + QStringLiteral(": ")
                        + (m.reason.isEmpty() ? QStringLiteral("interrupted") : m.reason);
        }
        if (s.broken())
            break;
        answeringIds = still;
        answering.erase(std::remove_if(answering.begin(), answering.end(),
                                       [](const Unit *u) { return u->status != RunStatus::Complete; }),
                        answering.end());
    }

    bool anyError = false, anyFail = false, anyLost = false;
    for (const std::unique_ptr<Unit> &u : units) {
        const int status = finishUnit(*u, o, s, out);
        anyLost = anyLost || status == ExitStatus::WriteFailed;
        anyError = anyError || status == ExitStatus::LinkFailure;
        anyFail = anyFail || status != ExitStatus::Done;
    }
    return anyLost    ? ExitStatus::WriteFailed
           : anyError ? ExitStatus::LinkFailure
           : anyFail  ? ExitStatus::Fail
                      : ExitStatus::Done;
}

} // namespace

int pointsTest(ModuleLine &s, const CliOptions &o, Output &out, Output &records)
{
    if (!o.line.ids.isEmpty())
        return pointsFixture(s, o, out, records);
    Unit u(o.keep, s.portName());
    const Versions versions = readVersions(s, o.line.id);
    if (!versions.error.isEmpty()) {
        u.status = RunStatus::Error;
        u.why = versions.error;
        s.fail(u.why);
        u.reported = true;
        return finishUnit(u, o, s, out);
    }
    u.keeper.setVersions(versions.hardwareText(), versions.firmwareText());
    u.summary.failed = versionFailures(versions.hardwareText(), o.test.hardwarePattern, versions.firmwareText(),
                                       o.test.firmwarePattern);

    TargetMove mover(s, o.points);
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::quitRequested, &mover, &TargetMove::interrupt);
    std::vector<Unit *> one{&u};
    for (int i = 0; i < o.points.points.size() && u.status == RunStatus::Complete; ++i) {
        const PointsOptions::Point &point = o.points.points.at(i);
        if (!moveTo(mover, s, i + 1, point.referenceMilli, one))
            break;
        TestLimits limits = pointLimits(o, point);
        MeasureRun run(s, o.run, o.output.format, records, limits);
        run.setPoint(point.referenceMilli, i == 0);
        run.setSettleMs(o.points.settleMs);
        run.setMeasurementSink(u.keeper.recorder());
        QObject::connect(&quit, &QuitOnSignal::quitRequested, &run, &MeasureRun::interrupt);
        const MeasureRun::End end = run.run();
        limits.expectedFrames = expectedFrames(o.run, o.line, run.frameBytes());
        addPoint(u, i + 1, limits, run.distances(), run.outside(), run.amplitudeSum(), run.failedChecks());
        u.status = statusOf(end);
        if (u.status != RunStatus::Complete)
            u.why = pointName(i + 1, point.referenceMilli) + QStringLiteral(": ")
                    + (run.reason().isEmpty() ? QStringLiteral("interrupted") : run.reason());
    }
    return finishUnit(u, o, s, out);
}
