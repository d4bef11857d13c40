#include "figuretext.h"

namespace {
// Fixed decimals; a negative value that rounds to zero prints as zero.
QString fixed(double v, int decimals)
{
    QString t = QString::number(v, 'f', decimals);
    if (t.startsWith(QLatin1Char('-')) && t.count(QLatin1Char('0')) == t.size() - 2)
        t.remove(0, 1);
    return t;
}
}

QString mmText(double mm) { return fixed(mm, 3); }
QString slopeText(double slope) { return fixed(slope, 6); }
QString r2Text(double r2) { return fixed(r2, 4); }
