#ifndef GLYPHCELLS_H
#define GLYPHCELLS_H

// A row of printable ASCII drawn by copying glyphs already blended onto the
// row's background, instead of blending each glyph's coverage into the
// picture again: blending was the larger part of drawing a log row. The
// pixels are those AsciiGlyphs::draw gives on that background.
//
// A copy is opaque: it holds only where the row's band (its line height,
// from `ascent` above the baseline down) shows the background and no other
// ink. So the caller fills the band and draws the row at once, and no other
// row may reach into it: fits() tells the text whose every glyph stays in
// its band. draw() declines, drawing nothing, when a glyph would leave the
// band or share a column with its neighbour's ink, or when the painter is
// not a plain raster one (a transform beyond whole-pixel moves, a device
// pixel ratio, opacity, another composition mode, a pen of more than one
// colour); the caller then draws the row as before. GUI thread only.

#include "asciiglyphs.h"

#include <QImage>
#include <QRgb>
#include <QVector>

class QPainter;
class QPoint;

class GlyphCells
{
public:
    GlyphCells() = default;
    GlyphCells(const AsciiGlyphs &glyphs, int ascent, int height);

    // Whether every character of text[from, to) is printable ASCII with a
    // glyph of the font whose ink stays in the band.
    bool fits(const QString &text, int from, int to) const;

    // Draws text[from, to) with the baseline's left end at origin, as
    // AsciiGlyphs::draw would onto a band of `background`. False: drew nothing.
    bool draw(QPainter &painter, const QPoint &origin, const QString &text, int from, int to, QRgb background) const;

private:
    // One glyph at one of the 64 fractions of a pixel it may start at: at
    // most 95 x 64 cells for one painter's colours and picture format, kept
    // until those change.
    struct Cell {
        int left = 0;   // first column with ink, from the pixel the glyph starts in
        int width = 0;  // columns with ink (0: none)
        bool inBand = true;
        QVector<quint32> pixels;  // the band's rows of those columns, top down
    };
    // What a cell's pixels were blended for.
    struct Context {
        QImage::Format format = QImage::Format_Invalid;
        QRgb pen = 0;
        QRgb background = 0;
        bool antialiased = true;
        bool operator==(const Context &o) const
        {
            return format == o.format && pen == o.pen && background == o.background && antialiased == o.antialiased;
        }
    };
    Cell render(const Context &context, quint32 glyph, int fraction) const;
    int cell(ushort c, int fraction) const;  // index into m_cells, rendered when new

    AsciiGlyphs m_glyphs;
    int m_ascent = 0;
    int m_height = 0;
    bool m_fits[128] = {};

    mutable Context m_context;
    mutable QVector<Cell> m_cells;
    mutable QVector<int> m_index;  // character << 6 | fraction: index into m_cells, or -1
    struct Placed {
        int cell;
        int x;  // of the cell's first ink column
    };
    mutable QVector<Placed> m_placed;
    mutable QImage m_row;
    mutable QVector<quint32> m_blank;  // a row of the background
};

#endif  // GLYPHCELLS_H
