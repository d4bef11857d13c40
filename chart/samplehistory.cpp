#include "samplehistory.h"

#include <QtGlobal>

QVector<QPointF> SampleHistory::points(int first, int last, qreal origin) const
{
    first = qMax(first, 0);
    last = qMin(last, values.size() - 1);
    QVector<QPointF> result;
    if (last < first)
        return result;
    result.reserve(last - first + 1);
    for (int i = first; i <= last; ++i)
        result.append(QPointF(i - origin, values.at(i)));
    return result;
}
