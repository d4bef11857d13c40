#include "ticklabels.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {
// Below the plot area's edge, where the axis draws its own label row.
constexpr qreal labelTop = 5;
} // namespace

TickLabels::TickLabels(const QChart &owner, const QValueAxis &axis)
    : chart(owner)
    , font(axis.labelsFont())
    , glyphs(font)
{
    for (int i = 0; i < qMax(2, axis.tickCount()); ++i)
        labels.append(QString());
    const QFontMetricsF metrics(font);
    ascent = metrics.ascent();
    height = metrics.height();
}

qreal TickLabels::widthOf(const QString &text) const
{
    return glyphs.advance(text, 0, text.size());
}

void TickLabels::show(qreal first, qreal last)
{
    const int gaps = labels.size() - 1;
    for (int i = 0; i <= gaps; ++i) {
        // Whole numbers cut towards zero, as the axis's "%d" label format.
        labels[i] = QString::number(qint64(first + i * (last - first) / gaps));
    }
}

// Centred under its tick, on whole pixels as the axis places its own labels.
QPointF TickLabels::topLeft(int index, qreal width) const
{
    const QRectF plot = chart.mapRectToScene(chart.plotArea());
    const qreal tickX = plot.left() + index * plot.width() / (labels.size() - 1);
    return QPointF(QPointF(tickX - width / 2, plot.bottom() + labelTop).toPoint());
}

void TickLabels::paint(QPainter &painter) const
{
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    for (int i = 0; i < labels.size(); ++i) {
        const QString &text = labels.at(i);
        const QPointF baseline = topLeft(i, widthOf(text)) + QPointF(0, ascent);
        if (!glyphs.draw(painter, baseline, text, 0, text.size()))
            painter.drawText(baseline, text);
    }
    painter.restore();
}

QRectF TickLabels::area() const
{
    QRectF result;
    for (int i = 0; i < labels.size(); ++i) {
        const qreal width = widthOf(labels.at(i));
        result |= QRectF(topLeft(i, width), QSizeF(width, height));
    }
    return result;
}
