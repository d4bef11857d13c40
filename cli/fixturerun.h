#ifndef FIXTURERUN_H
#define FIXTURERUN_H

// The measurement of a fixture (test --ids): several modules on one RS485
// bus, polled in turn with addressed single measurements, so all are
// measured over the same time. One poll is in flight at a time, so a frame
// belongs to the module polled when it arrives (answers carry no ID; after a
// time-out, see ModuleLine::letLateAnswerPass). Rounds
// are timed from the end of the first round at the rate each module gets on
// the shared line (busRateHz), as a single polled run times its polls.
//
// The run ends when every module has its count, or the polls a duration can
// carry have all been sent (each module gets the same number), or Ctrl+C,
// or the port fails, or the records cannot be written. A module that brings no measurement for a second plus
// the answer time-out is no longer polled; its run ends NoAnswer while the
// others go on.
//
// With --reconnect the run waits while the port is lost and polls on once it
// is back; times (the schedule, a module's silence, its rate) count only the
// time the port was there, and a duration's rounds shrink by the gap's share.

#include "measurerun.h"
#include "protocol/pollschedule.h"
#include "stats/statistics.h"
#include "verdict.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QEventLoop;
class Output;
class ModuleLine;
class RecordWriter;

class FixtureRun : public QObject
{
    Q_OBJECT

public:
    struct Module {
        quint8 id = 0;
        DistanceStatistics stats;
        quint64 outside = 0;
        quint64 amplitudes = 0;
        MeasureRun::End end = MeasureRun::End::Done;
        QString reason;
        bool polled = true;  // still polled
        qint64 firstNs = -1, lastNs = 0, lastAnswerNs = 0;
        double rateHz() const;
    };

    // `rateHz`: the rounds per second; `rounds`: the polls each module gets
    // (a duration), else polls go on until each has `count` frames.
    FixtureRun(ModuleLine &line, bool fixed, OutputFormat format, Output &records, const QVector<quint8> &ids, int rateHz,
               std::optional<TestLimits> band, std::optional<quint64> rounds, std::optional<quint64> count);
    ~FixtureRun() override;

    // Called with each measurement counted: the module, when it was read, the values.
    void setMeasurementSink(std::function<void(quint8, qint64, const Measurement &)> sink) { measured = std::move(sink); }

    // The records carry this point's distance (a run across the range);
    // `first`: the first point's run writes what goes before the records.
    void setPoint(qint64 referenceMilli, bool first);

    MeasureRun::End run();
    void interrupt();

    const std::vector<Module> &modules() const { return all; }
    // The duration the rounds were worked out for: a gap takes its share.
    void setDuration(std::optional<qint64> ms) { durationMs = ms; }
    // The polls each module gets (a duration), after any gap.
    std::optional<quint64> roundLimit() const { return rounds; }
    QString reason() const { return endReason; }
    // Bytes the framer discarded during the run (the whole line's).
    quint64 failedChecks() const { return discardedAtEnd - discardedAtStart; }

private:
    void pollRound();
    void portBack();
    qint64 presentNs() const;
    void framesReceived(const QVector<QByteArray> &frames);
    void finish(MeasureRun::End end, const QString &why = QString());
    void writeOut();
    bool allDone() const;
    quint64 discarded() const;

    ModuleLine &line;
    bool fixed;
    Output &out;
    std::vector<Module> all;
    std::optional<TestLimits> band;
    std::optional<quint64> rounds, count;
    std::optional<quint64> roundsAtStart;
    std::optional<qint64> durationMs;
    std::unique_ptr<RecordWriter> writer;
    std::function<void(quint8, qint64, const Measurement &)> measured;
    PollSchedule schedule;
    QTimer roundTimer;
    QElapsedTimer sinceStart;
    QElapsedTimer roundClock;  // from the end of the first round: round k is due k periods later
    qint64 absentAtRoundClockMs = 0;  // the port's absence before the round clock started
    QEventLoop *loop = nullptr;
    QByteArray pending;
    quint64 roundsSent = 0;
    quint64 discardedAtStart = 0, discardedAtEnd = 0;
    qint64 silenceNs = 0;
    int inFlight = -1;  // the module whose poll is out
    bool finished = false;
    bool writesHeader = true;
    MeasureRun::End result = MeasureRun::End::Done;
    QString endReason;
};

#endif // FIXTURERUN_H
