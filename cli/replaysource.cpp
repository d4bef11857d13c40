#include "replaysource.h"

#include "serial/modulelink.h"

#include <cstdio>

namespace {
// Lines per turn of the event loop: large enough that the turns cost little.
constexpr int BatchLines = 2000;

void warn(const QString &text)
{
    const QByteArray line = (QStringLiteral("korvani-cli: ") + text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}
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
            warn(text);
            break;
        case CaptureReader::Result::End:
            break;
        }
        batchTimer.stop();
        emit finished();
        return;
    }
}
