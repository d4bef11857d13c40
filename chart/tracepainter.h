#ifndef TRACEPAINTER_H
#define TRACEPAINTER_H

// Draws a line series' trace over the chart's plot area the way the chart's
// own line item draws it: the same mapping of values to the plot area, the
// same pen, one line per pair of neighbouring points, clipped to the plot
// area widened by up to half a pixel so that a line along its edge stays
// whole. The chart window paints the trace itself over a cached picture of
// everything else (see ChartForm), and repaints only where the trace was or
// is: traceRegion().

#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QVector>

class QPainter;
class QPen;

// `range` holds the axes' ranges: x from left() to right(), y from top() to
// bottom(); `plotArea` is in the painter's coordinates.
void paintTrace(QPainter &painter, const QVector<QPointF> &points, const QPen &pen, const QRectF &plotArea,
                const QRectF &range);

// Every pixel paintTrace() may set, in the painter's coordinates: the plot
// area cut into `bands` upright bands, each as tall as the trace runs in it.
QRegion traceRegion(const QVector<QPointF> &points, const QPen &pen, const QRectF &plotArea, const QRectF &range,
                    int bands = 16);

#endif // TRACEPAINTER_H
