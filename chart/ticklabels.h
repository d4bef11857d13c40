#ifndef TICKLABELS_H
#define TICKLABELS_H

// The sample numbers under the chart's X ticks, as plain text items on the
// chart that its scene never paints: they change with every redraw, so the
// chart window paints them itself over its cached picture of the rest.
//
// The scrolling X axis stands still and its own labels are unseen (they keep
// the room the numbers need): a QValueAxis lays out each of its labels as
// rich text, several times over, on every range change, which on an axis
// that moved with every redraw cost more than the rest of the redraw. These
// labels take the axis's font, sit where the axis would put its own (to the
// pixel), and change only their texts as the chart scrolls.

#include "platform/qtcompat.h"

#include <QObject>
#include <QStringList>
#include <QVector>

class QGraphicsSimpleTextItem;
class QPainter;

class TickLabels
{
public:
    // As many labels as `axis` has ticks, in its font; items of `chart`.
    TickLabels(QtCharts::QChart &chart, const QtCharts::QValueAxis &axis);
    ~TickLabels();
    TickLabels(const TickLabels &) = delete;
    TickLabels &operator=(const TickLabels &) = delete;

    // Labels for a scale running from `first` to `last` along the plot area's
    // bottom edge (ticks evenly spaced, values shown as whole numbers).
    void show(qreal first, qreal last);
    QStringList texts() const;
    void setLabelsColor(const QColor &color);
    // The labels as the scene would paint them, onto a painter in scene
    // coordinates; where they are, in scene coordinates.
    void paint(QPainter &painter) const;
    QRectF area() const;

private:
    void place();

    QtCharts::QChart &chart;
    QVector<QGraphicsSimpleTextItem *> items;  // the chart's children
    QMetaObject::Connection followsPlotArea;
};

#endif // TICKLABELS_H
