#include "replaysource.h"

#include "message.h"
#include "serial/modulelink.h"

namespace {
// Lines per turn of the event loop: large enough that the turns cost little.
constexpr int BatchLines = 2000;
} // namespace

ReplaySource::ReplaySource(ModuleLink &moduleLink, const QString &filePath, QObject *parent)
    : QObject(parent)
    , link(moduleLink)
    , path(filePath)
{
    batchTimer.setInterval(0);
    connect(&batchTimer, &QTimer::timeout, this, &ReplaySource::playBatch);
}

bool ReplaySource::open()
{
    if (!reader.openChecked(path)) {
        text = reader.message();
        return false;
    }
    startUs = reader.start().isValid() ? reader.start().toMSecsSinceEpoch() * 1000 : 0;
    return true;
}

void ReplaySource::start()
{
    batchTimer.start();
}

void ReplaySource::playBatch()
{
    CaptureEvent event;
    for (int i = 0; i < BatchLines; ++i) {
        switch (reader.next(event)) {
        case CaptureReader::Result::Event:
            if (event.direction == CaptureDirection::Rx)
                link.receiveRecorded(event.bytes, startUs + event.offsetUs);
            continue;
        case CaptureReader::Result::Truncated:
        case CaptureReader::Result::Error:
            text = reader.message();
            tell(text);
            break;
        case CaptureReader::Result::End:
            break;
        }
        batchTimer.stop();
        emit finished();
        return;
    }
}
