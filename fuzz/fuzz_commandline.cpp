// The typed command line on arbitrary text: no crash, and a line that sends
// gives one byte per token, never more than the limit.

#include "protocol/commandline.h"

#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const QString &text : {QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)),
                                QString::fromLatin1(reinterpret_cast<const char *>(data), int(size))}) {
        const std::optional<QByteArray> bytes = parseCommandLine(text);
        if (bytes && (bytes->isEmpty() || bytes->size() > MaxCommandLineTokens))
            std::abort();
    }
    return 0;
}
