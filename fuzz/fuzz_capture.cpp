// The capture reader on arbitrary file contents: it ends (an event count no
// larger than the lines), never reads outside its buffer, and an event's
// bytes are exactly half its hex digits.

#include "protocol/capturefile.h"

#include <QFile>
#include <QString>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = QStringLiteral("/tmp/fuzz_capture_%1.txt").arg(getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    CaptureReader reader;
    if (!reader.openChecked(path))
        return 0;
    CaptureEvent event;
    size_t events = 0;
    while (reader.next(event) == CaptureReader::Result::Event) {
        if (++events > size)
            __builtin_trap();  // more events than bytes: the reader does not end
    }
    return 0;
}
