#include "logview.h"

#include "measure/logbook.h"

#include <QEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace {
qint64 countLines(const QStringList &lines)
{
    qint64 n = lines.size();
    for (const QString &line : lines)
        n += line.count(QLatin1Char('\n'));
    return n;
}
} // namespace

LogView::LogView(QTextBrowser *view, const LogBook *log, QObject *parent)
    : QObject(parent), m_view(view), m_log(log)
{
    m_view->document()->setUndoRedoEnabled(false);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &LogView::scrolled);
    m_view->installEventFilter(this);
}

bool LogView::eventFilter(QObject *watched, QEvent *event)
{
    // A view on a tab behind another (or in a hidden window) shows nothing,
    // so laying lines out in it is wasted: it catches up once it is shown.
    if (watched == m_view && event->type() == QEvent::Show && m_held > 0 && atEnd())
        catchUp();
    return false;
}

bool LogView::atEnd() const
{
    const QScrollBar *bar = m_view->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void LogView::appendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    if (m_held > 0 || !atEnd() || !m_view->isVisible()) {
        // Trimming the top or adding below would move what the user reads.
        m_held += countLines(lines);
        if (atEnd() && m_view->isVisible())
            catchUp();
        return;
    }
    if (lines.size() >= MaxViewLines - TrimLines) {
        // More than the view keeps after a trim: laying out lines that would
        // leave again at once is wasted; the view starts over with the newest.
        m_held = countLines(lines);
        catchUp();
        return;
    }
    show(lines);
}

void LogView::scrolled()
{
    if (!m_updating && m_held > 0 && atEnd())
        catchUp();
}

void LogView::catchUp()
{
    const qint64 held = m_held;
    m_held = 0;
    if (held >= MaxViewLines - TrimLines) {
        m_updating = true;
        m_view->clear();
        m_updating = false;
        m_hasLines = false;
        show(m_log->lastLines(MaxViewLines - TrimLines));
    } else {
        show(m_log->lastLines(int(held)));
    }
}

void LogView::show(const QStringList &lines)
{
    m_updating = true;
    QTextCursor cursor(m_view->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const QString &line : lines) {
        // A new paragraph for every line but the first one of an empty view;
        // inserted as text, so "<b>x</b>" shows as just that.
        if (m_hasLines)
            cursor.insertBlock();
        cursor.insertText(line);
        m_hasLines = true;
    }
    cursor.endEditBlock();

    QTextDocument *document = m_view->document();
    const int excess = document->blockCount() - MaxViewLines;
    if (excess > 0) {
        // On its own and selected by position: in the same edit as the new
        // lines, or selected block by block, it takes five to ten times as long.
        QTextCursor top(document);
        top.setPosition(document->findBlockByNumber(excess + TrimLines).position(),
                        QTextCursor::KeepAnchor);
        top.removeSelectedText();
    }
    QScrollBar *bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum());
    m_updating = false;
}

void LogView::clear()
{
    m_updating = true;
    m_view->clear();
    m_updating = false;
    m_held = 0;
    m_hasLines = false;
}
