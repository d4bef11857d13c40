#include "ticklabels.h"

#include <QFontMetricsF>
#include <QGlyphRun>
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
{
    for (int i = 0; i < qMax(2, axis.tickCount()); ++i)
        labels.append(QString());
    const QFontMetricsF metrics(font);
    ascent = metrics.ascent();
    height = metrics.height();
    rawFont = QRawFont::fromFont(font);
    const QVector<quint32> indexes = rawFont.glyphIndexesForString(QLatin1String(characters));
    const QVector<QPointF> advances = rawFont.advancesForGlyphIndexes(indexes);
    if (indexes.size() != int(qstrlen(characters)) || advances.size() != indexes.size() || indexes.contains(0))
        return;  // drawn as text
    for (int i = 0; i < indexes.size(); ++i)
        glyphs.append({indexes.at(i), advances.at(i).x()});
}

qreal TickLabels::widthOf(const QString &text) const
{
    if (glyphs.isEmpty())
        return QFontMetricsF(font).horizontalAdvance(text);
    qreal width = 0;
    for (QChar c : text)
        width += glyphs.at(c == QLatin1Char('-') ? 0 : c.unicode() - '0' + 1).advance;
    return width;
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
    QGlyphRun run;
    run.setRawFont(rawFont);
    QVector<quint32> indexes;
    QVector<QPointF> positions;
    for (int i = 0; i < labels.size(); ++i) {
        const QString &text = labels.at(i);
        const QPointF baseline = topLeft(i, widthOf(text)) + QPointF(0, ascent);
        if (glyphs.isEmpty()) {
            painter.drawText(baseline, text);
            continue;
        }
        indexes.clear();
        positions.clear();
        qreal x = 0;
        for (QChar c : text) {
            const Glyph &glyph = glyphs.at(c == QLatin1Char('-') ? 0 : c.unicode() - '0' + 1);
            indexes.append(glyph.index);
            positions.append(QPointF(x, 0));
            x += glyph.advance;
        }
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(baseline, run);
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
