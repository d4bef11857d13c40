#include "captureplayer.h"

#include "simulatedmodule.h"

namespace {
// No more than this waits on the line: a large capture is not read into memory.
constexpr qint64 BacklogBytes = 64 * 1024;
}

CapturePlayer::CapturePlayer(SimulatedModule &simulated, const QString &filePath, double playSpeed,
                             QObject *parent)
    : QObject(parent)
    , module(simulated)
    , path(filePath)
    , speed(playSpeed)
{
    dueTimer.setSingleShot(true);
    dueTimer.setTimerType(Qt::PreciseTimer);
    connect(&dueTimer, &QTimer::timeout, this, &CapturePlayer::play);
    connect(&module, &SimulatedModule::lineProgressed, this, [this] {
        if (started && !done && !dueTimer.isActive())
            play();
    });
}

bool CapturePlayer::open()
{
    if (!reader.openChecked(path)) {
        text = reader.message();
        return false;
    }
    return true;
}

void CapturePlayer::arm()
{
    connect(&module, &SimulatedModule::commandReceived, this, [this] {
        if (started)
            return;
        started = true;
        sinceStart.start();
        play();
    });
}

void CapturePlayer::play()
{
    while (!done) {
        if (!holding) {
            switch (reader.next(next)) {
            case CaptureReader::Result::Event:
                if (firstOffsetUs < 0)
                    firstOffsetUs = next.offsetUs;
                if (next.direction == CaptureDirection::Tx)
                    continue;
                holding = true;
                break;
            case CaptureReader::Result::Truncated:
                finish(reader.message());
                return;
            case CaptureReader::Result::Error:  // the file changed since open()
                finish(reader.message());
                return;
            case CaptureReader::Result::End:
                finish(QString());
                return;
            }
        }
        if (module.queuedBytes() > BacklogBytes)
            return;  // lineProgressed resumes
        if (speed > 0) {
            const qint64 dueUs = qint64(double(next.offsetUs - firstOffsetUs) / speed);
            const qint64 nowUs = sinceStart.nsecsElapsed() / 1000;
            if (dueUs > nowUs) {
                dueTimer.start(int(qMin<qint64>((dueUs - nowUs + 999) / 1000, 3600 * 1000)));
                return;
            }
        }
        module.writeRaw(next.bytes);
        holding = false;
    }
}

void CapturePlayer::finish(const QString &warning)
{
    done = true;
    emit finished(warning);
}
