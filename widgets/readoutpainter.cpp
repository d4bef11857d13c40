#include "readoutpainter.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>

void ReadoutPainter::take(QLabel *label)
{
    label->setFont(AsciiGlyphs::unshaped(label->font()));
    label->installEventFilter(this);
    connect(label, &QObject::destroyed, this, [this, label] { m_faces.remove(label); });
}

bool ReadoutPainter::eventFilter(QObject *watched, QEvent *event)
{
    return event->type() == QEvent::Paint && paint(static_cast<QLabel *>(watched));
}

const ReadoutPainter::Face &ReadoutPainter::faceOf(const QLabel *label)
{
    Face &face = m_faces[label];
    if (face.font != label->font() || face.ascent == 0) {
        const QFontMetricsF metrics(label->font());
        face = Face{label->font(), AsciiGlyphs(label->font()), metrics.ascent(), metrics.descent()};
    }
    return face;
}

bool ReadoutPainter::paint(QLabel *label)
{
    const QString text = label->text();
    if (label->frameShape() != QFrame::NoFrame || label->margin() != 0 || label->indent() > 0
        || label->wordWrap() || !label->isEnabled() || label->textFormat() == Qt::RichText
        || text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('&')))
        return false;
    const Face &face = faceOf(label);
    const QRect r = label->contentsRect();
    const qreal width = face.glyphs.advance(text, 0, text.size());
    if (width > r.width())
        return false;

    // Where drawText puts one line: aligned by its advance and its height
    // (ascent and descent; the leading only comes between lines).
    const qreal height = face.ascent + face.descent;
    const Qt::Alignment align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
    qreal x = r.x();
    qreal y = r.y();
    if (align & Qt::AlignRight)
        x += r.width() - width;
    else if (align & Qt::AlignHCenter)
        x += (r.width() - width) / 2;
    if (align & Qt::AlignBottom)
        y += r.height() - height;
    else if (align & Qt::AlignVCenter)
        y += (r.height() - height) / 2;

    QPainter painter(label);
    painter.setPen(label->palette().color(label->foregroundRole()));
    return face.glyphs.draw(painter, QPointF(x, y + face.ascent), text, 0, text.size());
}
