#ifndef MEASURERUN_H
#define MEASURERUN_H

// A run of measurements (measure, test): sets the rate and starts continuous
// measurement, or, with a device ID, polls with addressed single measurements
// at the rate (continuous measurement has no addressed form). Every
// measurement frame becomes a record, written and flushed at the end of each
// read of the port, and goes into the statistics. The run ends when
//   - the count is reached, or the duration has passed since the first frame;
//   - Ctrl+C (SIGINT) or SIGTERM arrives;
//   - no measurement arrives for a second plus the answer time-out
//     (the module did not answer / stopped sending);
//   - the port goes away or refuses a write.
// A continuous run then sends stop (0x06) if the port is still there.
// Frames after the end are not counted.

#include "stats/statistics.h"
#include "options.h"
#include "verdict.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class QEventLoop;
class QIODevice;
class RecordWriter;
class ModuleLine;

class MeasureRun : public QObject
{
    Q_OBJECT

public:
    enum class End { Done, Interrupted, NoAnswer, LinkFailed };

    // `records` receives the records; `band`, when given, counts the frames outside it.
    MeasureRun(ModuleLine &line, QIODevice &records, std::optional<TestLimits> band);
    ~MeasureRun() override;

    End run();
    // Ends the run from outside (Ctrl+C).
    void interrupt();

    QString reason() const { return endReason; }
    const DistanceStatistics &distances() const { return stats; }
    quint64 frames() const { return stats.count(); }
    quint64 outside() const { return outsideCount; }
    quint64 amplitudeSum() const { return amplitudes; }
    // Bytes the framer discarded while the run collected: one per failed
    // check, one per byte skipped outside a frame (a frame given up, noise).
    quint64 failedChecks() const;
    double rateHz() const;

private:
    void framesReceived(const QVector<QByteArray> &frames);
    void pollOnce();
    void finish(End end, const QString &why = QString());
    void writeOut();
    quint64 discarded() const;

    ModuleLine &line;
    QIODevice &out;
    std::optional<TestLimits> band;
    std::unique_ptr<RecordWriter> writer;
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
    qint64 firstReadUs = 0;  // the link's time of the first frame's read
    qint64 lastFrameNs = 0;
};

#endif // MEASURERUN_H
