#ifndef MEASURERUN_H
#define MEASURERUN_H

// A run of measurements (measure, test): sets the rate and starts continuous
// measurement, or, with a device ID, polls with addressed single measurements
// at the rate (continuous measurement has no addressed form). Every
// measurement frame becomes a record, written and flushed at the end of each
// read of the port, and goes into the statistics.
//
// Polls are timed against the run's start (PollSchedule), one in flight at a
// time: a poll held up by a late answer goes out as soon as that answer is
// in, and the later ones keep their times. A polled run with a duration sends
// the polls the duration can carry (CliOptions::expectedFrames), every one of
// them however late, and keeps the answer to each: a module is judged by the
// polls it was sent, and one slower than the rate lengthens the run (the rate
// measured shows it) rather than failing for polls never sent.
//
// The run ends when
//   - the count is reached; or the duration has passed since the first frame
//     (streamed), or the last poll is answered or timed out (polled);
//   - SIGINT (Ctrl+C), SIGTERM, SIGHUP or SIGPIPE arrives, or the records'
//     reader has gone (EPIPE): interrupted, with that signal;
//   - a record cannot be written (the output failed);
//   - no measurement arrives for a second plus the answer time-out
//     (the module did not answer / stopped sending);
//   - the port goes away (with --reconnect: and is not back in time) or
//     refuses a write.
// A continuous run then sends stop (0x06) if the port is still there.
//
// With --reconnect the run waits while the port is lost: no frame is made up
// for the gap and the watchdog rests; once the port is back a continuous run
// sends its rate and start again (the module was most likely power-cycled),
// a polled one polls on. A duration goes on running through the gap; the
// polls it carries and the frames expected count only the time the port was
// there.
// Frames after the end are not counted, nor those that arrive within the
// settling time after the start (the target may still be moving).
// One run of a run across the range measures one point: its records carry
// the point's distance, and only the first point's run writes the CSV header.

#include "decode/measurement.h"
#include "protocol/pollschedule.h"
#include "stats/statistics.h"
#include "options.h"
#include "verdict.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QEventLoop;
class Output;
class RecordWriter;
class ModuleLine;

class MeasureRun : public QObject
{
    Q_OBJECT

public:
    enum class End { Done, Interrupted, NoAnswer, LinkFailed, OutputFailed };

    // `records` receives the records in `format`; `band`, when given, counts the frames outside it.
    MeasureRun(ModuleLine &line, const RunOptions &options, OutputFormat format, Output &records,
               std::optional<TestLimits> band);
    ~MeasureRun() override;

    // Called with every measurement counted, and the time it was read
    // (milliseconds since the epoch); for keeping the records elsewhere too.
    void setMeasurementSink(std::function<void(qint64, const Measurement &)> sink) { measured = std::move(sink); }

    // Frames arriving within `ms` of the start are discarded (a polled run
    // sends its first poll only then).
    void setSettleMs(int ms) { settleMs = ms; }
    // The records carry this point's distance; `first`: the first point (its
    // run writes what goes before the records).
    void setPoint(qint64 referenceMilli, bool first);

    End run();
    // Ends the run from outside: signal `signalNumber` arrived (0: no signal,
    // the replayed capture ended).
    void interrupt(int signalNumber);
    // The signal that cut the run short (Interrupted).
    int interruptedBy() const { return signalNumber; }

    QString reason() const { return endReason; }
    const DistanceStatistics &distances() const { return stats; }
    quint64 frames() const { return stats.count(); }
    quint64 outside() const { return outsideCount; }
    quint64 amplitudeSum() const { return amplitudes; }
    // Bytes the framer discarded while the run collected: one per failed
    // check, one per byte skipped outside a frame (a frame given up, noise).
    quint64 failedChecks() const;
    double rateHz() const;
    // The length of the measurement frames received (11 until one arrived).
    int frameBytes() const { return measurementBytes; }

private:
    void framesReceived(const QVector<QByteArray> &frames);
    void startStreaming();
    void portLost(const QString &reason);
    void portBack();
    // Nanoseconds since the start the port was there.
    qint64 presentNs() const;
    void pollOnce();
    void startDeadline(qint64 durationNs);
    void armDeadline();
    void finish(End end, const QString &why = QString());
    void writeOut();
    quint64 discarded() const;

    ModuleLine &line;
    const RunOptions &opts;
    Output &out;
    std::optional<TestLimits> band;
    std::unique_ptr<RecordWriter> writer;
    std::function<void(qint64, const Measurement &)> measured;
    QByteArray pending;
    DistanceStatistics stats;
    quint64 outsideCount = 0;
    quint64 amplitudes = 0;
    quint64 discardedAtStart = 0;
    quint64 discardedAtEnd = 0;
    bool collecting = false;
    bool finished = false;
    bool polled = false;
    End result = End::Done;
    QString endReason;
    QEventLoop *loop = nullptr;
    QTimer durationTimer;
    QTimer watchdog;
    QTimer pollTimer;
    PollSchedule schedule;
    QElapsedTimer sinceStart;
    QElapsedTimer deadlineClock;
    qint64 deadlineNs = -1;  // -1: no duration running
    qint64 firstReadUs = 0;  // the link's time of the first frame's read
    qint64 lastFrameNs = 0;  // since the first frame, the port's gaps left out
    qint64 gapsNs = 0;       // the gaps since the first frame
    QElapsedTimer gapClock;
    quint64 pollsSent = 0;
    std::optional<quint64> pollLimit;
    int measurementBytes = 11;
    int signalNumber = 0;
    int settleMs = 0;
    bool writesHeader = true;
};

#endif // MEASURERUN_H
