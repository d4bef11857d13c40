// The log view's selection, clipboard, keys, mouse and context menu.

#include "logview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

namespace {
// What a double click takes as one word: a value with its sign and point
// ("-3.2", "03243"), a hexadecimal byte, a name ("CURRENT_OFF").
bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-');
}

// How often a drag past an edge scrolls on while the pointer stays there.
constexpr int AutoScrollMs = 50;
} // namespace

// The place in the text at a point of the viewport: the column boundary
// nearest to it, or (nearest == false) the column of the character under it.
LogView::Position LogView::positionAt(const QPoint &pos, bool nearest) const
{
    if (m_lines.empty())
        return {};
    const qint64 top = m_lines.front().firstRow + verticalScrollBar()->value();
    const int r = qMax(0, (pos.y() - Margin) / m_lineHeight);
    const auto [index, row] = lineOfRow(top + r);
    const Line &line = m_lines[size_t(index)];
    const int start = rowStart(line, row);
    const int end = rowEnd(line, row);
    if (top + r >= endRow())
        return {m_firstLine + index, int(line.text.size())};  // below the last line
    qreal x = Margin;
    int column = start;
    while (column < end) {
        const qreal w = advance(line.text, column, column + 1);
        if (pos.x() < x + (nearest ? w / 2 : w))
            break;
        x += w;
        ++column;
    }
    return {m_firstLine + index, column};
}

QString LogView::lineAt(const QPoint &pos) const
{
    if (m_lines.empty())
        return QString();
    return m_lines[size_t(positionAt(pos).line - m_firstLine)].text;
}

std::pair<LogView::Position, LogView::Position> LogView::selection() const
{
    const Position first{m_firstLine, 0};
    Position from = qMin(m_anchor, m_cursor);
    const Position to = qMax(m_anchor, m_cursor);
    if (m_lines.empty() || !(first < to))
        return {first, first};
    if (from < first)
        from = first;  // the lines above have left the view
    return {from, to};
}

bool LogView::hasSelection() const
{
    const auto [from, to] = selection();
    return from < to;
}

QString LogView::selectedText() const
{
    const auto [from, to] = selection();
    if (!(from < to))
        return QString();
    QStringList parts;
    for (qint64 n = from.line; n <= to.line && n - m_firstLine < qint64(m_lines.size()); ++n) {
        const QString &text = m_lines[size_t(n - m_firstLine)].text;
        const int a = n == from.line ? from.column : 0;
        const int b = n == to.line ? to.column : text.size();
        parts.append(text.mid(a, b - a));
    }
    return parts.join(QLatin1Char('\n'));
}

void LogView::selectTo(const Position &p)
{
    m_cursor = p;
    viewport()->update();
}

// The word or line around a place; a character when the place is on neither.
std::pair<LogView::Position, LogView::Position> LogView::unitAt(const Position &p, Unit unit) const
{
    if (unit == Unit::Character || p.line < m_firstLine || p.line - m_firstLine >= qint64(m_lines.size()))
        return {p, p};
    const QString &text = m_lines[size_t(p.line - m_firstLine)].text;
    if (unit == Unit::Line)
        return {Position{p.line, 0}, Position{p.line, int(text.size())}};
    int column = qBound(0, p.column, int(text.size()));
    if (column == text.size() && column > 0)
        --column;  // past the line's end: its last character
    if (column == text.size() || !isWordCharacter(text.at(column)))
        return {Position{p.line, column}, Position{p.line, int(qMin(column + 1, int(text.size())))}};
    int start = column, end = column;
    while (start > 0 && isWordCharacter(text.at(start - 1)))
        --start;
    while (end < text.size() && isWordCharacter(text.at(end)))
        ++end;
    return {Position{p.line, start}, Position{p.line, end}};
}

void LogView::selectUnit(const Position &p, Unit unit)
{
    m_unit = unit;
    std::tie(m_unitStart, m_unitEnd) = unitAt(p, unit);
    m_anchor = m_unitStart;
    selectTo(m_unitEnd);
    publishSelection();
}

// Grows the selection to the pointer by the unit it was started with, always
// keeping the word or line first clicked.
void LogView::dragTo(const QPoint &pos)
{
    const QPoint inside(pos.x(), qBound(0, pos.y(), viewport()->height() - 1));
    if (m_unit == Unit::Character) {
        selectTo(positionAt(inside));
        return;
    }
    const auto [start, end] = unitAt(positionAt(inside, false), m_unit);
    if (start < m_unitStart) {
        m_anchor = m_unitEnd;
        selectTo(start);
    } else {
        m_anchor = m_unitStart;
        selectTo(qMax(end, m_unitEnd));
    }
}

void LogView::publishSelection() const
{
    QClipboard *clipboard = QApplication::clipboard();
    if (clipboard->supportsSelection() && hasSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void LogView::selectAll()
{
    if (m_lines.empty())
        return;
    m_anchor = Position{m_firstLine, 0};
    selectTo(Position{m_firstLine + qint64(m_lines.size()) - 1, int(m_lines.back().text.size())});
    publishSelection();
}

void LogView::copy() const
{
    if (hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

// --- mouse --------------------------------------------------------------------

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool tripleClick = m_sinceDoubleClick.isValid()
        && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval()
        && (event->pos() - m_doubleClickPos).manhattanLength() < QApplication::startDragDistance();
    m_sinceDoubleClick.invalidate();
    m_selecting = true;
    m_dragPos = event->pos();
    if (tripleClick) {
        selectUnit(positionAt(event->pos(), false), Unit::Line);
        return;
    }
    m_unit = Unit::Character;
    const Position p = positionAt(event->pos());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = p;
    selectTo(p);
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    m_dragPos = event->pos();
    const bool outside = m_dragPos.y() < 0 || m_dragPos.y() >= viewport()->height();
    if (!outside) {
        m_autoScroll.stop();
    } else if (!m_autoScroll.isActive()) {
        m_autoScroll.start(AutoScrollMs, this);
        autoScrollStep();  // the first step at once
        return;
    }
    dragTo(m_dragPos);
}

void LogView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_autoScroll.timerId())
        autoScrollStep();
    else
        QAbstractScrollArea::timerEvent(event);
}

// While the pointer stays past an edge: one row a step, more the further out.
void LogView::autoScrollStep()
{
    if (!m_selecting) {
        m_autoScroll.stop();
        return;
    }
    const int y = m_dragPos.y();
    const int beyond = y < 0 ? -y : y - viewport()->height() + 1;
    const int rows = 1 + beyond / m_lineHeight;
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->value() + (y < 0 ? -rows : rows));
    dragTo(m_dragPos);
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting)
        return;
    m_selecting = false;
    m_autoScroll.stop();
    publishSelection();
    if (m_held > 0 && atEnd())
        catchUp();
}

// A view hidden while its button is down (another tab brought to front by a
// key) never sees the release: the drag ends here, or the view would hold new
// lines until the next click.
void LogView::hideEvent(QHideEvent *event)
{
    QAbstractScrollArea::hideEvent(event);
    m_selecting = false;
    m_autoScroll.stop();
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_lines.empty())
        return;
    m_selecting = true;
    m_dragPos = event->pos();
    selectUnit(positionAt(event->pos(), false), Unit::Word);
    m_sinceDoubleClick.start();
    m_doubleClickPos = event->pos();
}

// --- keys and menu ------------------------------------------------------------

void LogView::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *bar = verticalScrollBar();
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool plainOrShift = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->key() == Qt::Key_Home)  // alone or with Ctrl: the view has no cursor to move
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
    else if (event->key() == Qt::Key_End)
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
    else if (event->key() == Qt::Key_Space && plainOrShift)
        bar->triggerAction(shift ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
    else
        QAbstractScrollArea::keyPressEvent(event);
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("复制"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    connect(copyAction, &QAction::triggered, this, &LogView::copy);
    QAction *allAction = menu.addAction(tr("全选"));
    allAction->setShortcut(QKeySequence::SelectAll);
    allAction->setEnabled(!m_lines.empty());
    connect(allAction, &QAction::triggered, this, &LogView::selectAll);
    menu.exec(event->globalPos());
}
