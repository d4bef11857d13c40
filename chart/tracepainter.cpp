#include "tracepainter.h"

#include <QPainter>
#include <cmath>

namespace {

// Values to the plot area's coordinates, as the chart's own domain maps them.
struct TraceMapping
{
    TraceMapping(const QSizeF &plotSize, const QRectF &axesRange)
        : size(plotSize)
        , range(axesRange)
        , deltaX(size.width() / range.width())
        , deltaY(size.height() / range.height())
    {
    }
    QPointF operator()(const QPointF &p) const
    {
        return QPointF((p.x() - range.left()) * deltaX, (p.y() - range.top()) * -deltaY + size.height());
    }

    QSizeF size;
    QRectF range;
    qreal deltaX;
    qreal deltaY;
};

bool drawable(const QVector<QPointF> &points, const QRectF &range)
{
    return points.size() >= 2 && range.width() > 0 && range.height() > 0;
}

// The plot area, half a pixel wider where its edges fall between pixels but
// never so much that the line runs beyond it; relative to its top left.
QRectF clipRect(const QRectF &plotArea)
{
    const QPointF pos = plotArea.topLeft();
    const QSizeF size = plotArea.size();
    const qreal x1 = pos.x() - int(pos.x());
    const qreal y1 = pos.y() - int(pos.y());
    const qreal x2 = (size.width() + 0.5) - int(size.width() + 0.5);
    const qreal y2 = (size.height() + 0.5) - int(size.height() + 0.5);
    return QRectF(QPointF(0, 0), size).adjusted(-x1, -y1, qMax(x1, x2), qMax(y1, y2));
}

} // namespace

void paintTrace(QPainter &painter, const QVector<QPointF> &points, const QPen &pen, const QRectF &plotArea,
                const QRectF &range)
{
    if (!drawable(points, range))
        return;
    const TraceMapping place(plotArea.size(), range);
    painter.save();
    painter.translate(plotArea.topLeft());
    painter.setClipRect(clipRect(plotArea));
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPointF from = place(points.first());
    for (int i = 1; i < points.size(); ++i) {
        const QPointF to = place(points.at(i));
        painter.drawLine(from, to);
        from = to;
    }
    painter.restore();
}

QRegion traceRegion(const QVector<QPointF> &points, const QPen &pen, const QRectF &plotArea, const QRectF &range,
                    int bands)
{
    if (!drawable(points, range) || bands < 1)
        return QRegion();
    const TraceMapping place(plotArea.size(), range);
    const QRectF clip = clipRect(plotArea);
    const qreal bandWidth = clip.width() / bands;
    // Per band, the trace's lowest and highest y (top > bottom: none).
    QVector<QPair<qreal, qreal>> extent(bands, {clip.bottom(), clip.top()});
    QPointF from = place(points.first());
    for (int i = 1; i < points.size(); ++i) {
        const QPointF to = place(points.at(i));
        const qreal top = qMax(qMin(from.y(), to.y()), clip.top());
        const qreal bottom = qMin(qMax(from.y(), to.y()), clip.bottom());
        const int firstBand = qBound(0, int((qMin(from.x(), to.x()) - clip.left()) / bandWidth), bands - 1);
        const int lastBand = qBound(0, int((qMax(from.x(), to.x()) - clip.left()) / bandWidth), bands - 1);
        for (int b = firstBand; b <= lastBand && top <= bottom; ++b) {
            extent[b].first = qMin(extent[b].first, top);
            extent[b].second = qMax(extent[b].second, bottom);
        }
        from = to;
    }
    // The pen's reach beyond the line, and a pixel for rounding.
    const qreal margin = std::ceil(qMax<qreal>(pen.widthF(), 1)) + 1;
    QRegion result;
    for (int b = 0; b < bands; ++b) {
        if (extent[b].first > extent[b].second)
            continue;
        const QRectF band(clip.left() + b * bandWidth, extent[b].first, bandWidth, extent[b].second - extent[b].first);
        result |= band.translated(plotArea.topLeft()).adjusted(-margin, -margin, margin, margin).toAlignedRect();
    }
    return result;
}
