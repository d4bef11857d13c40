#include "commandline.h"

#include <QStringList>

std::optional<QByteArray> parseCommandLine(const QString &text)
{
    // Only the blank separates tokens.
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (tokens.isEmpty() || tokens.size() > MaxCommandLineTokens)
        return std::nullopt;

    QByteArray bytes;
    bytes.reserve(tokens.size());
    for (const QString &token : tokens) {
        bool ok = false;
        const int value = token.toInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        bytes.append(char(value & 0xFF));
    }
    return bytes;
}
