#ifndef TICKLABELS_H
#define TICKLABELS_H

// The sample numbers under the chart's X ticks, painted as plain text by the
// chart window over its cached picture of the rest of the chart.
//
// The scrolling X axis stands still and its own labels are unseen (they keep
// the room the numbers need): a QValueAxis lays out each of its labels as
// rich text, several times over, on every range change, which on an axis
// that moved with every redraw cost more than the rest of the redraw. These
// labels take the axis's font and sit where the axis would put its own (to
// the pixel); only their texts change as the chart scrolls. They are drawn
// as glyphs placed by their advances (AsciiGlyphs): shaping five numbers
// anew for every redraw cost as much as drawing the trace.

#include "platform/qtcompat.h"
#include "widgets/asciiglyphs.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QStringList>

class QPainter;

class TickLabels
{
public:
    // As many labels as `axis` has ticks, in its font, under `chart`'s plot area.
    TickLabels(const QtCharts::QChart &chart, const QtCharts::QValueAxis &axis);

    // Labels for a scale running from `first` to `last` along the plot area's
    // bottom edge (ticks evenly spaced, values shown as whole numbers).
    void show(qreal first, qreal last);
    QStringList texts() const { return labels; }
    void setLabelsColor(const QColor &labelsColor) { color = labelsColor; }
    // Onto a painter in scene coordinates; where they are, in scene coordinates.
    void paint(QPainter &painter) const;
    QRectF area() const;

private:
    QPointF topLeft(int index, qreal width) const;
    qreal widthOf(const QString &text) const;

    const QtCharts::QChart &chart;
    QFont font;
    QColor color = Qt::black;
    QStringList labels;
    AsciiGlyphs glyphs;
    qreal ascent = 0;
    qreal height = 0;
};

#endif // TICKLABELS_H
