#include "ticklabels.h"

#include <QBrush>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QtCharts/QChart>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {
// Below the plot area's edge, where the axis draws its own label row.
constexpr qreal labelTop = 5;
} // namespace

TickLabels::TickLabels(QChart &owner, const QValueAxis &axis)
    : chart(owner)
{
    for (int i = 0; i < qMax(2, axis.tickCount()); ++i) {
        auto *item = new QGraphicsSimpleTextItem(&chart);
        item->setFont(axis.labelsFont());
        item->setVisible(false);
        items.append(item);
    }
    followsPlotArea = QObject::connect(&chart, &QChart::plotAreaChanged, &chart, [this] { place(); });
}

TickLabels::~TickLabels()
{
    QObject::disconnect(followsPlotArea);
}

void TickLabels::show(qreal first, qreal last)
{
    const int gaps = items.size() - 1;
    for (int i = 0; i <= gaps; ++i) {
        // Whole numbers cut towards zero, as the axis's "%d" label format.
        const QString text = QString::number(qint64(first + i * (last - first) / gaps));
        if (items.at(i)->text() != text)
            items.at(i)->setText(text);
    }
    place();
}

void TickLabels::place()
{
    const QRectF plot = chart.plotArea();
    const int gaps = items.size() - 1;
    for (int i = 0; i <= gaps; ++i) {
        QGraphicsSimpleTextItem *item = items.at(i);
        const qreal tickX = plot.left() + i * plot.width() / gaps;
        // On whole pixels, as the axis places its own labels.
        item->setPos(QPointF(tickX - item->boundingRect().width() / 2, plot.bottom() + labelTop).toPoint());
    }
}

void TickLabels::setLabelsColor(const QColor &color)
{
    for (QGraphicsSimpleTextItem *item : items)
        item->setBrush(color);
}

QStringList TickLabels::texts() const
{
    QStringList result;
    for (const QGraphicsSimpleTextItem *item : items)
        result.append(item->text());
    return result;
}

void TickLabels::paint(QPainter &painter) const
{
    const QStyleOptionGraphicsItem option;
    for (QGraphicsSimpleTextItem *item : items) {
        painter.save();
        painter.translate(item->scenePos());
        item->paint(&painter, &option, nullptr);
        painter.restore();
    }
}

QRectF TickLabels::area() const
{
    QRectF result;
    for (const QGraphicsSimpleTextItem *item : items)
        result |= item->boundingRect().translated(item->scenePos());
    return result;
}
