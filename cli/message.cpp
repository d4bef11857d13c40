#include "message.h"

#include <cstdio>

void tell(const QString &what)
{
    const QByteArray line = (QStringLiteral("korvani-cli: ") + what + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}
