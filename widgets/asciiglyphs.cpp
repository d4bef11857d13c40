#include "asciiglyphs.h"

#include <QGlyphRun>
#include <QPainter>

AsciiGlyphs::AsciiGlyphs(const QFont &font) : m_metrics(font), m_raw(QRawFont::fromFont(font))
{
    for (int c = 0; c < 128; ++c) {
        const QChar ch(c);
        m_advance[c] = m_metrics.horizontalAdvance(ch);
        quint32 glyph = 0;
        int count = 1;
        if (c >= 0x20 && c < 0x7f && m_raw.isValid())
            m_raw.glyphIndexesForChars(&ch, 1, &glyph, &count);
        m_glyph[c] = count == 1 ? glyph : 0;
    }
}

qreal AsciiGlyphs::advance(const QString &text, int from, int to) const
{
    qreal x = 0;
    for (int i = from; i < to; ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 128) {
            x += m_advance[c.unicode()];
        } else if (c.isHighSurrogate() && i + 1 < to) {
            x += m_metrics.horizontalAdvance(text.mid(i, 2));
            ++i;
        } else {
            x += m_metrics.horizontalAdvance(c);
        }
    }
    return x;
}

// Blanks only move the next glyph on (a HEX log row is a third blanks).
bool AsciiGlyphs::draw(QPainter &painter, const QPointF &origin, const QString &text, int from, int to) const
{
    m_glyphs.resize(qMax(0, to - from));
    m_positions.resize(qMax(0, to - from));
    int count = 0;
    qreal x = 0;
    for (int i = from; i < to; ++i) {
        const ushort c = text.at(i).unicode();
        const quint32 glyph = c < 128 ? m_glyph[c] : 0;
        if (glyph == 0)
            return false;
        if (c != ' ') {
            m_glyphs[count] = glyph;
            m_positions[count++] = QPointF(x, 0);
        }
        x += m_advance[c];
    }
    if (count > 0) {
        QGlyphRun run;
        run.setRawFont(m_raw);
        run.setRawData(m_glyphs.constData(), m_positions.constData(), count);
        painter.drawGlyphRun(origin, run);
    }
    return true;
}
