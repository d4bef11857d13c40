#ifndef ASCIIGLYPHS_H
#define ASCIIGLYPHS_H

// A font's printable ASCII drawn as glyphs placed by their advances, as
// QPainter::drawText places them when the font asks for no shaping, but
// without laying the text out first: for a line of digits, commas and hex,
// the layout was most of the cost of drawing it. The pixels are the same.
//
// advance() gives the advance of any character below 128 (control
// characters included, as QFontMetricsF gives them). draw() draws only text
// whose every character is printable ASCII that the font itself has a glyph
// for; for other text it draws nothing and returns false, and the caller
// uses drawText. GUI thread only.

#include <QFont>
#include <QFontMetricsF>
#include <QPointF>
#include <QRawFont>
#include <QVector>

class QPainter;
class QString;

class AsciiGlyphs
{
public:
    explicit AsciiGlyphs(const QFont &font = QFont());

    // The font asking for no shaping: log lines and values are digits,
    // commas and hexadecimal, which kerning and ligatures leave as they are,
    // and drawText then places glyphs exactly as draw() does.
    static QFont unshaped(QFont font)
    {
        font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
        return font;
    }

    qreal advance(ushort c) const { return m_advance[c & 0x7f]; }
    // The font's glyph for a character below 128, or 0 when draw() cannot draw it.
    quint32 glyph(ushort c) const { return c < 128 ? m_glyph[c] : 0; }
    const QRawFont &rawFont() const { return m_raw; }
    // The advance of text[from, to): characters from 128 up are measured with the font's metrics.
    qreal advance(const QString &text, int from, int to) const;

    // Draws text[from, to) with the baseline's left end at origin.
    bool draw(QPainter &painter, const QPointF &origin, const QString &text, int from, int to) const;

private:
    QFontMetricsF m_metrics;
    QRawFont m_raw;
    quint32 m_glyph[128] = {};  // 0: no glyph of its own (control, missing)
    qreal m_advance[128] = {};
    mutable QVector<quint32> m_glyphs;
    mutable QVector<QPointF> m_positions;
};

#endif // ASCIIGLYPHS_H
