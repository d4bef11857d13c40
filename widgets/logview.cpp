#include "logview.h"

#include "log/logbook.h"
#include "quietscrollbar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtMath>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

LogView::LogView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // lines wrap instead
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // The viewport paints its background with the rows it draws: only then
    // can Qt move the pixels already drawn when lines come in, and leave the
    // rest of the view alone.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The bar changes with every display while lines come: it is drawn again
    // only when it looks different, and then fills its own background, so
    // the view under it is not painted again each time.
    setVerticalScrollBar(new QuietScrollBar);
    verticalScrollBar()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_scrolling && m_held > 0 && !holding())
            catchUp();
    });

    // A child of the scroll area, not of the viewport: the viewport's pixels
    // move when lines come in, the button stays in its corner.
    m_heldButton = new QToolButton(this);
    m_heldButton->setObjectName(QStringLiteral("heldLines"));
    m_heldButton->setToolTip(tr("到末尾"));
    m_heldButton->setCursor(Qt::ArrowCursor);
    m_heldButton->setFocusPolicy(Qt::NoFocus);
    m_heldButton->hide();
    connect(m_heldButton, &QToolButton::clicked, this, [this] {
        QScrollBar *bar = verticalScrollBar();
        bar->setValue(bar->maximum());
    });
    fontChanged();
}

// --- lines ------------------------------------------------------------------

bool LogView::atEnd() const
{
    const QScrollBar *bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void LogView::appendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    if (m_held > 0 || holding()) {
        // Adding below or dropping lines off the top would move what the user
        // reads or is selecting.
        for (const QString &line : lines)
            m_held += 1 + line.count(QLatin1Char('\n'));
        if (holding())
            showHeld();
        else
            catchUp();
        return;
    }
    const qint64 topBefore = m_lines.empty() ? 0 : m_lines.front().firstRow + verticalScrollBar()->value();
    const qint64 firstNewRow = endRow();
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\n'))) {
            for (const QString &part : line.split(QLatin1Char('\n')))
                push(part);
        } else {
            push(line);
        }
    }
    followEnd(topBefore, firstNewRow);
}

void LogView::push(const QString &text)
{
    m_lines.push_back(Line{text, endRow(), {}});
    wrap(m_lines.back());
    if (m_lines.size() > size_t(MaxViewLines)) {
        m_lines.pop_front();
        ++m_firstLine;
    }
}

void LogView::catchUp()
{
    const qint64 held = m_held;
    m_held = 0;
    m_heldButton->hide();
    if (!m_book)
        return;
    if (held >= MaxViewLines) {
        // The view starts over with the newest lines.
        m_lines.clear();
        m_firstLine = 0;
        m_anchor = m_cursor = Position{};
    }
    for (const QString &line : m_book->lastLines(int(qMin(held, qint64(MaxViewLines)))))
        push(line);
    m_scrolling = true;
    updateScrollBar();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_scrolling = false;
    viewport()->update();
}

void LogView::clear()
{
    m_lines.clear();
    m_firstLine = 0;
    m_held = 0;
    m_heldButton->hide();
    m_anchor = m_cursor = Position{};
    m_selecting = false;
    m_autoScroll.stop();
    updateScrollBar();
    viewport()->update();
}

// Written with the lines, so at the display rate, never per line.
void LogView::showHeld()
{
    m_heldButton->setText(tr("▼ %1 行新数据").arg(m_held));
    m_heldButton->adjustSize();
    placeHeldButton();
    m_heldButton->show();
    m_heldButton->raise();
}

void LogView::placeHeldButton()
{
    const QRect area = viewport()->geometry();
    const QSize size = m_heldButton->size();
    m_heldButton->move(area.right() - Margin - size.width() + 1, area.bottom() - Margin - size.height() + 1);
}

QStringList LogView::lines() const
{
    QStringList all;
    all.reserve(int(m_lines.size()));
    for (const Line &line : m_lines)
        all.append(line.text);
    return all;
}

QString LogView::toPlainText() const
{
    return lines().join(QLatin1Char('\n'));
}

// --- rows -------------------------------------------------------------------

void LogView::fontChanged()
{
    // Log lines are digits, commas and hexadecimal; shaping them (kerning,
    // ligatures) changes nothing but costs most of the drawing time.
    m_font = AsciiGlyphs::unshaped(font());
    const QFontMetricsF metrics(m_font);
    m_lineHeight = qMax(1, qCeil(metrics.lineSpacing()));
    m_ascent = qCeil(metrics.ascent());
    m_glyphs = AsciiGlyphs(m_font);
    m_cells = GlyphCells(m_glyphs, m_ascent, m_lineHeight);
    rewrapAll();
}

// Breaks a line into rows no wider than the viewport: after the last blank
// that fits, or anywhere in a run without blanks, as a text view wraps.
void LogView::wrap(Line &line) const
{
    line.rows.clear();
    const qreal width = viewport()->width() - 2 * Margin;
    const QString &text = line.text;
    line.width = advance(text, 0, text.size());
    line.plain = m_cells.fits(text, 0, text.size());
    if (width <= 0 || text.size() < 2 || line.width <= width)
        return;
    line.width = width;
    int start = 0;
    int lastBreak = -1;  // index after the last blank of the current row
    qreal x = 0;
    for (int i = 0; i < text.size(); ++i) {
        const int n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const qreal w = advance(text, i, i + n);
        if (x + w > width && i > start && text.at(i) != QLatin1Char(' ')) {
            const int next = lastBreak > start ? lastBreak : i;
            line.rows.append(next);
            start = next;
            lastBreak = -1;
            x = advance(text, start, i);
        }
        x += w;
        if (text.at(i) == QLatin1Char(' '))
            lastBreak = i + 1;
        i += n - 1;
    }
}

void LogView::rewrapAll()
{
    if (m_lines.empty()) {
        updateScrollBar();
        return;
    }
    const bool following = atEnd();
    const int top = lineOfRow(m_lines.front().firstRow + verticalScrollBar()->value()).first;
    qint64 row = m_lines.front().firstRow;
    for (Line &line : m_lines) {
        line.firstRow = row;
        wrap(line);
        row += line.rows.size() + 1;
    }
    m_scrolling = true;
    updateScrollBar();
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(following ? bar->maximum() : int(m_lines[size_t(top)].firstRow - m_lines.front().firstRow));
    m_scrolling = false;
    viewport()->update();
}

qint64 LogView::endRow() const
{
    return m_lines.empty() ? 0 : m_lines.back().firstRow + m_lines.back().rows.size() + 1;
}

int LogView::rowCount() const
{
    return m_lines.empty() ? 0 : int(endRow() - m_lines.front().firstRow);
}

int LogView::pageRows() const
{
    return qMax(1, (viewport()->height() - 2 * Margin) / m_lineHeight);
}

int LogView::rowStart(const Line &line, int row) const
{
    return row == 0 ? 0 : line.rows.at(row - 1);
}

int LogView::rowEnd(const Line &line, int row) const
{
    return row < line.rows.size() ? line.rows.at(row) : line.text.size();
}

std::pair<int, int> LogView::lineOfRow(qint64 row) const
{
    const auto it = std::upper_bound(m_lines.begin(), m_lines.end(), row,
                                     [](qint64 r, const Line &line) { return r < line.firstRow; });
    if (it == m_lines.begin())
        return {0, 0};
    const int index = int(it - m_lines.begin()) - 1;
    return {index, int(qMin(row - m_lines[size_t(index)].firstRow, qint64(m_lines[size_t(index)].rows.size())))};
}

void LogView::updateScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(pageRows());
    const int maximum = qMax(0, rowCount() - pageRows());
    // On every range change Qt lays the scroll area out again (a queued call)
    // only to show or hide the bar. A range that grows while the bar stays
    // shown moves no value and changes no layout: it is set without telling.
    const QSignalBlocker quiet(maximum >= bar->maximum() && bar->maximum() > 0 ? bar : nullptr);
    bar->setRange(0, maximum);
}

// After new lines: back to the end, moving what was drawn by as many rows as
// the top moved and painting only the rows from the first new one down, and
// neither further right than a row of either page reaches (filling and moving
// pixels costs by their number, and log lines are mostly short).
void LogView::followEnd(qint64 topRowBefore, qint64 firstNewRow)
{
    m_scrolling = true;
    updateScrollBar();
    QScrollBar *bar = verticalScrollBar();
    {
        // Nobody needs telling: the view moves its pixels below, and the
        // scroll area would only flash its bars (a style query per display).
        const QSignalBlocker quiet(bar);
        bar->setValue(bar->maximum());
    }
    m_drawnValue = bar->value();
    m_scrolling = false;
    if (m_lines.empty())
        return;
    const qint64 top = m_lines.front().firstRow + bar->value();
    const qint64 moved = top - topRowBefore;
    // Right of what either page drew, the viewport shows its background.
    const int right = qMax(drawnRight(topRowBefore), drawnRight(top));
    if (moved < 0 || moved >= pageRows()) {
        viewport()->update(0, 0, right, viewport()->height());
        return;
    }
    const int left = sameLeft(topRowBefore, top, firstNewRow);
    scrollRows(int(moved), left, right);
    const int y = Margin + int(qBound(qint64(0), firstNewRow - top, qint64(pageRows()))) * m_lineHeight;
    viewport()->update(left, y, right - left, viewport()->height() - y);
}

// Left of the characters that every row of the page before and of the page
// after begins with, each row shows the same pixels before and after: they
// need neither moving nor painting (HEX rows begin alike, "Received:  89 81",
// and so do time stamps within a second). One character less than shared,
// as a glyph's ink may reach left of its place. 0 when a page was not full,
// rows were dropped, a row is the rest of a wrapped line or text is selected.
int LogView::sameLeft(qint64 topRowBefore, qint64 top, qint64 firstNewRow) const
{
    if (topRowBefore < m_lines.front().firstRow || topRowBefore + pageRows() > firstNewRow
        || top + pageRows() > endRow() || hasSelection())
        return 0;
    auto [index, row] = lineOfRow(topRowBefore);
    const QString *first = nullptr;
    int shared = 0;
    for (qint64 r = topRowBefore; r < top + pageRows(); ++r) {
        const Line &line = m_lines[size_t(index)];
        if (row > 0)
            return 0;
        const int end = rowEnd(line, 0);
        if (!first) {
            first = &line.text;
            shared = end;
        }
        int n = 0;
        while (n < qMin(shared, end) && line.text.at(n) == first->at(n))
            ++n;
        shared = n;
        if (shared < 2)
            return 0;
        if (++row > line.rows.size()) {
            ++index;
            row = 0;
        }
    }
    return Margin + qFloor(advance(*first, 0, shared - 1));
}

// The lines with a row in [topRow, topRow + rows): indexes [first, end) into m_lines.
std::pair<size_t, size_t> LogView::linesIn(qint64 topRow, qint64 rows) const
{
    const size_t first = size_t(lineOfRow(topRow).first);
    size_t end = first;
    while (end < m_lines.size() && m_lines[end].firstRow < topRow + rows)
        ++end;
    return {first, end};
}

// How far right the rows of a page from topRow were drawn (a selected line
// break and a glyph's overhang included): right of it the page is background.
int LogView::drawnRight(qint64 topRow) const
{
    const auto [first, end] = linesIn(topRow, pageRows());
    qreal widest = 0;
    for (size_t index = first; index < end; ++index)
        widest = qMax(widest, m_lines[index].width);
    return Margin + qCeil(widest + m_glyphs.advance(' ')) + m_lineHeight;
}

// Whether no row shown from topRow, the last one cut off included, reaches
// out of its own band: then a row's band holds only the background before
// the row is drawn.
bool LogView::pageIsPlain(qint64 topRow) const
{
    const auto [first, end] = linesIn(topRow, (viewport()->height() - Margin) / m_lineHeight + 1);
    return std::all_of(m_lines.begin() + qint64(first), m_lines.begin() + qint64(end),
                       [](const Line &line) { return line.plain; });
}

// Moves the rows drawn, not the margin above them, by `rows` (up when
// positive); Qt repaints what comes into view. Pixels left of `left` and
// right of `right` are left alone: the caller knows them to be the same
// before and after.
void LogView::scrollRows(int rows, int left, int right)
{
    if (rows == 0)
        return;
    const int width = right < 0 ? viewport()->width() : qMin(right, viewport()->width());
    const QRect text(left, Margin, width - left, viewport()->height() - Margin);
    if (qAbs(rows) < pageRows())
        viewport()->scroll(0, -rows * m_lineHeight, text);
    else
        viewport()->update();
}

// The rows are moved by what the bar moved since the view last drew for it,
// not by Qt's dy: the view sets the bar quietly when it follows the end.
void LogView::scrollContentsBy(int, int)
{
    const int value = verticalScrollBar()->value();
    const int rows = value - m_drawnValue;
    m_drawnValue = value;
    if (!m_scrolling)
        scrollRows(rows);
}

// --- painting -----------------------------------------------------------------

void LogView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
    painter.fillRect(area, background);
    if (m_lines.empty())
        return;
    painter.setFont(m_font);
    const QPalette &pal = palette();
    const auto [from, to] = selection();
    const bool selected = from < to;

    const qint64 top = m_lines.front().firstRow + verticalScrollBar()->value();
    const int firstRow = qMax(0, (area.top() - Margin) / m_lineHeight);
    const int lastRow = (area.bottom() - Margin) / m_lineHeight;
    painter.setPen(pal.color(QPalette::Text));
    // Rows are copied onto their filled band, already blended, when no row
    // shown reaches into another's band.
    const bool copied = background.style() == Qt::SolidPattern && pageIsPlain(top);
    auto [index, row] = lineOfRow(top + firstRow);
    for (int r = firstRow; r <= lastRow && size_t(index) < m_lines.size(); ++r) {
        const Line &line = m_lines[size_t(index)];
        const int start = rowStart(line, row);
        const int end = rowEnd(line, row);
        const int y = Margin + r * m_lineHeight;
        const QPointF origin(Margin, y + m_ascent);
        const auto drawRow = [&] {
            if (!m_glyphs.draw(painter, origin, line.text, start, end))
                painter.drawText(origin, line.text.mid(start, end - start));
        };
        if (!copied || !m_cells.draw(painter, origin.toPoint(), line.text, start, end, background.color().rgba()))
            drawRow();

        const qint64 number = m_firstLine + index;
        if (selected && from.line <= number && number <= to.line) {
            const int a = number == from.line ? qBound(start, from.column, end) : start;
            const int b = number == to.line ? qBound(start, to.column, end) : end;
            // A selected line break shows as a little room after the row.
            const qreal tail = number < to.line && end == line.text.size() ? m_glyphs.advance(' ') : 0;
            if (b > a || tail > 0) {
                const QRectF band(Margin + advance(line.text, start, a), y,
                                  advance(line.text, a, b) + tail, m_lineHeight);
                painter.fillRect(band, pal.brush(QPalette::Highlight));
                painter.save();
                painter.setClipRect(band);
                painter.setPen(pal.color(QPalette::HighlightedText));
                drawRow();
                painter.restore();
            }
        }
        if (++row > line.rows.size()) {
            ++index;
            row = 0;
        }
    }
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    rewrapAll();
    placeHeldButton();
}

void LogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fontChanged();
}

