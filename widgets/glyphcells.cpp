#include "glyphcells.h"

#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <QtMath>

#include <climits>
#include <algorithm>
#include <cstring>

namespace {
// Room around a glyph's outline in the picture it is first drawn into: its
// pixels may reach a little past the outline.
constexpr int Pad = 3;

// Whether the painter puts glyphs and images where a raster picture of one
// format takes them pixel for pixel, and blends nothing but its pen.
bool plainRaster(QPainter &painter, QImage::Format *format)
{
    QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    const QPaintDevice *device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image || device->devicePixelRatioF() != 1.0)
        return false;
    *format = static_cast<const QImage *>(device)->format();
    if (*format != QImage::Format_RGB32 && *format != QImage::Format_ARGB32_Premultiplied)
        return false;
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != qRound(t.dx()) || t.dy() != qRound(t.dy()))
        return false;
    const QPen &pen = painter.pen();
    return painter.opacity() == 1.0 && painter.compositionMode() == QPainter::CompositionMode_SourceOver
        && pen.style() == Qt::SolidLine && pen.brush().style() == Qt::SolidPattern;
}
}  // namespace

GlyphCells::GlyphCells(const AsciiGlyphs &glyphs, int ascent, int height)
    : m_glyphs(glyphs)
    , m_ascent(ascent)
    , m_height(height)
{
    // Which glyphs stay in the band does not hang on colours or fractions.
    const Context probe{QImage::Format_RGB32, qRgb(0, 0, 0), qRgb(255, 255, 255), true};
    for (ushort c = 0x21; c < 0x7f; ++c) {
        const quint32 glyph = m_glyphs.glyph(c);
        m_fits[c] = glyph != 0 && render(probe, glyph, 0).inBand;
    }
    m_fits[' '] = m_glyphs.glyph(' ') != 0;
}

bool GlyphCells::fits(const QString &text, int from, int to) const
{
    for (int i = from; i < to; ++i) {
        const ushort c = text.at(i).unicode();
        if (c >= 128 || !m_fits[c])
            return false;
    }
    return true;
}

// The glyph drawn as AsciiGlyphs::draw draws it, starting `fraction`/64 of
// a pixel into a pixel, on the background and again on its opposite: a
// column or row has ink where either picture differs from its background.
GlyphCells::Cell GlyphCells::render(const Context &context, quint32 glyph, int fraction) const
{
    const QRectF outline = m_glyphs.rawFont().boundingRect(glyph);
    const int start = Pad - qFloor(outline.left());  // the pixel the glyph starts in
    const int width = start + qCeil(outline.right()) + Pad + 1;
    const int height = m_height + 2 * Pad;
    const QPointF origin(start + fraction / 64.0, Pad + m_ascent);

    QGlyphRun run;
    run.setRawFont(m_glyphs.rawFont());
    const QPointF place(0, 0);
    run.setRawData(&glyph, &place, 1);
    QImage pictures[2];
    const QRgb backgrounds[2] = {context.background, context.background ^ 0x00ffffff};
    for (int i = 0; i < 2; ++i) {
        pictures[i] = QImage(width, height, context.format);
        pictures[i].fill(QColor::fromRgba(backgrounds[i]));
        QPainter painter(&pictures[i]);
        painter.setRenderHint(QPainter::TextAntialiasing, context.antialiased);
        painter.setPen(QColor::fromRgba(context.pen));
        painter.drawGlyphRun(origin, run);
    }
    const quint32 blank[2] = {pictures[0].pixel(0, 0), pictures[1].pixel(0, 0)};

    int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
    for (int y = 0; y < height; ++y) {
        const auto *a = reinterpret_cast<const quint32 *>(pictures[0].constScanLine(y));
        const auto *b = reinterpret_cast<const quint32 *>(pictures[1].constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if (a[x] != blank[0] || b[x] != blank[1]) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    Cell cell;
    if (left > right)
        return cell;
    // Ink on the picture's edge may go on past it: such a glyph is not copied.
    cell.inBand = top >= Pad && bottom < Pad + m_height && left > 0 && right < width - 1;
    cell.left = left - start;
    cell.width = right - left + 1;
    cell.pixels.resize(m_height * cell.width);
    for (int y = 0; y < m_height; ++y)
        std::memcpy(cell.pixels.data() + y * cell.width,
                    reinterpret_cast<const quint32 *>(pictures[0].constScanLine(Pad + y)) + left,
                    size_t(cell.width) * sizeof(quint32));
    return cell;
}

int GlyphCells::cell(ushort c, int fraction) const
{
    int &index = m_index[c << 6 | fraction];
    if (index < 0) {
        m_cells.append(render(m_context, m_glyphs.glyph(c), fraction));
        index = m_cells.size() - 1;
    }
    return index;
}

bool GlyphCells::draw(QPainter &painter, const QPoint &origin, const QString &text, int from, int to,
                      QRgb background) const
{
    Context context;
    if (m_height <= 0 || qAlpha(background) != 255 || !plainRaster(painter, &context.format))
        return false;
    context.pen = painter.pen().color().rgba();
    context.background = background;
    context.antialiased = painter.testRenderHint(QPainter::TextAntialiasing);
    if (!(context == m_context) || m_index.isEmpty()) {
        m_context = context;
        m_cells.clear();
        m_index.fill(-1, 128 << 6);
    }

    // Places as QPainter::drawGlyphRun takes them from AsciiGlyphs::draw:
    // origin plus the advances before, cut to 1/64 of a pixel.
    m_placed.clear();
    int left = INT_MAX, right = INT_MIN;
    qreal x = 0;
    for (int i = from; i < to; ++i) {
        const ushort c = text.at(i).unicode();
        const quint32 glyph = m_glyphs.glyph(c);
        if (glyph == 0)
            return false;
        const qreal at = origin.x() + x;
        x += m_glyphs.advance(c);
        if (c == ' ')
            continue;
        if (at < 0)
            return false;
        const int fixed = int(at * 64);
        const int index = cell(c, fixed & 63);
        const Cell &ink = m_cells.at(index);
        if (ink.width == 0)
            continue;
        const int inkLeft = (fixed >> 6) + ink.left;
        if (!ink.inBand || inkLeft <= right)
            return false;  // out of the band, or on a neighbour's ink
        m_placed.append({index, inkLeft});
        left = qMin(left, inkLeft);
        right = inkLeft + ink.width - 1;
    }
    if (m_placed.isEmpty())
        return true;

    const int width = right - left + 1;
    if (m_row.width() < width || m_row.height() != m_height || m_row.format() != context.format)
        m_row = QImage(qMax(width, 2 * m_row.width()), m_height, context.format);
    // Each row of the band starts as a copy of a blank one (copying is far
    // cheaper than filling pixel by pixel).
    if (m_blank.size() < width || (!m_blank.isEmpty() && m_blank.first() != background))
        m_blank.fill(background, qMax(width, 2 * m_blank.size()));  // opaque: the same in either format
    uchar *const bits = m_row.bits();
    const qsizetype step = m_row.bytesPerLine();
    for (int y = 0; y < m_height; ++y)
        std::memcpy(bits + y * step, m_blank.constData(), size_t(width) * sizeof(quint32));
    for (const Placed &placed : qAsConst(m_placed)) {
        const Cell &ink = m_cells.at(placed.cell);
        const quint32 *source = ink.pixels.constData();
        uchar *target = bits + (placed.x - left) * int(sizeof(quint32));
        for (int y = 0; y < m_height; ++y, source += ink.width, target += step)
            std::copy_n(source, ink.width, reinterpret_cast<quint32 *>(target));
    }
    painter.drawImage(QPoint(left, origin.y() - m_ascent), m_row, QRect(0, 0, width, m_height));
    return true;
}
