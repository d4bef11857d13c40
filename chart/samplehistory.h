#ifndef SAMPLEHISTORY_H
#define SAMPLEHISTORY_H

#include <QPointF>
#include <QVector>

// Every sample of one chart series for the whole run, two bytes each.
// The drawn line series only ever holds a window cut out of this.
class SampleHistory
{
public:
    void append(quint16 value) { values.append(value); }
    int size() const { return values.size(); }
    quint16 at(int index) const { return values.at(index); }

    // Points (index - origin, value) for the indices first..last, clipped to
    // what exists.
    QVector<QPointF> points(int first, int last, qreal origin) const;

private:
    QVector<quint16> values;
};

#endif // SAMPLEHISTORY_H
