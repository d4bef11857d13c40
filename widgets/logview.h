#ifndef LOGVIEW_H
#define LOGVIEW_H

// One of the window's log views: the newest lines of a LogBook, read-only,
// wrapped at the view's width, selectable and copyable.
//
// The view holds the newest MaxViewLines lines in order; older lines leave
// the view but stay in the book. Lines are plain text, never interpreted as
// markup (they carry bytes from the module); a line holding line feeds shows
// as that many lines plus one, as the book counts it.
//
// While the user has scrolled up to read, or holds the mouse button down to
// select, new lines are held back and nothing in the view moves; a button in
// the view's corner tells how many lines wait (a click on it goes to the end).
// Once the scroll bar is back at its end and the button is up, the view
// catches up from the book.
//
// Keys: Home / End (also with Ctrl) go to the top and the end, Space and
// Shift+Space page down and up, Page Up / Page Down and the arrows scroll,
// Ctrl+A selects all, Ctrl+C copies. The mouse selects characters (drag,
// Shift+click), a word (double click: a value or a hex byte) or a line
// (triple click); dragging past the top or bottom edge keeps scrolling while
// the pointer stays there. Every selection made also becomes the X11 primary
// selection where the system has one. Copying takes only what is still in
// the view: once every selected line has left it, copy leaves the clipboard
// alone.
//
// The caller owns the book: it appends every line to the book first and then
// hands the same lines to appendLines(); on a clear it clears both.
// GUI thread only.
//
// Why not a QTextBrowser: at 100 lines a second a text document lays out and
// shapes every visible line again on each repaint, and trimming its top lays
// out all of it again; that was most of the window's CPU. This view keeps the
// lines as strings, shapes nothing it does not draw, and on new lines moves
// the pixels already drawn and paints only the rows that came in
// (bench/bench_longrun realtime measures it).

#include "asciiglyphs.h"
#include "glyphcells.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QStringList>
#include <QVector>
#include <deque>

class LogBook;
class QToolButton;

class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    // 5,000 lines are 50 s at the module's top rate of 100 lines a second,
    // about 0.5 MB of strings; the whole run stays in the book for saving.
    static constexpr int MaxViewLines = 5000;

    explicit LogView(QWidget *parent = nullptr);

    // The book this view catches up from after the user read further up.
    void setBook(const LogBook *book) { m_book = book; }

    // Shows lines that were just appended to the book, oldest first.
    void appendLines(const QStringList &lines);
    // Empties the view (the caller clears the book).
    void clear();

    // Lines appended while the user reads further up, not yet shown.
    qint64 heldLines() const { return m_held; }

    // The lines the view holds, oldest first, and the same joined by line feeds.
    QStringList lines() const;
    QString toPlainText() const;
    // The line shown at a point of the viewport, or an empty string.
    QString lineAt(const QPoint &pos) const;

    // What is selected of the lines still in the view.
    QString selectedText() const;
    void selectAll();
    // Puts the selected text on the clipboard; nothing selected: leaves it as it was.
    void copy() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Line {
        QString text;
        qint64 firstRow;    // rows counted from the view's first line ever
        QVector<int> rows;  // start of each row after the first (wrapped)
        qreal width = 0;    // of its widest row
        bool plain = false; // every glyph stays in its row (see GlyphCells)
    };
    // A place in the text: line number counted since the last clear, column.
    struct Position {
        qint64 line = 0;
        int column = 0;
        bool operator<(const Position &o) const { return line < o.line || (line == o.line && column < o.column); }
        bool operator==(const Position &o) const { return line == o.line && column == o.column; }
    };

    // Space around the text, as a text document leaves by default.
    static constexpr int Margin = 4;

    // How a mouse selection grows: by characters, words or whole lines.
    enum class Unit { Character, Word, Line };

    bool atEnd() const;
    bool holding() const { return m_selecting || !atEnd(); }
    void catchUp();
    void showHeld();
    void placeHeldButton();
    void push(const QString &text);
    void wrap(Line &line) const;
    void rewrapAll();
    void updateScrollBar();
    void followEnd(qint64 topRowBefore, qint64 firstNewRow);
    void scrollRows(int rows, int left = 0, int right = -1);
    std::pair<size_t, size_t> linesIn(qint64 topRow, qint64 rows) const;
    int drawnRight(qint64 topRow) const;
    bool pageIsPlain(qint64 topRow) const;
    int sameLeft(qint64 topRowBefore, qint64 top, qint64 firstNewRow) const;
    void fontChanged();

    qint64 endRow() const;  // the row after the last line's last row
    int rowCount() const;
    int pageRows() const;
    int lineHeight() const { return m_lineHeight; }
    qreal advance(const QString &text, int from, int to) const { return m_glyphs.advance(text, from, to); }
    int rowStart(const Line &line, int row) const;
    int rowEnd(const Line &line, int row) const;
    std::pair<int, int> lineOfRow(qint64 row) const;  // index into m_lines, row within it
    Position positionAt(const QPoint &pos, bool nearest = true) const;
    // The selection clipped to the lines still in the view; empty when
    // nothing of it is left.
    std::pair<Position, Position> selection() const;
    bool hasSelection() const;
    void selectTo(const Position &p);
    std::pair<Position, Position> unitAt(const Position &p, Unit unit) const;
    void selectUnit(const Position &p, Unit unit);
    void dragTo(const QPoint &pos);
    void autoScrollStep();
    void publishSelection() const;

    const LogBook *m_book = nullptr;
    std::deque<Line> m_lines;
    qint64 m_firstLine = 0;   // number of m_lines.front() since the last clear
    qint64 m_held = 0;
    bool m_scrolling = false; // the scroll bar is being set by the view itself
    int m_drawnValue = 0;     // the bar's value the pixels shown were drawn for

    QFont m_font;             // the widget's font, never shaped (see fontChanged)
    int m_lineHeight = 1;
    int m_ascent = 0;
    AsciiGlyphs m_glyphs{m_font};
    GlyphCells m_cells;

    Position m_anchor, m_cursor;
    bool m_selecting = false;           // the left button is down in the view
    Unit m_unit = Unit::Character;
    Position m_unitStart, m_unitEnd;    // the word or line first clicked
    QElapsedTimer m_sinceDoubleClick;   // a press soon after at the same place: triple click
    QPoint m_doubleClickPos;
    QBasicTimer m_autoScroll;           // while dragging past an edge
    QPoint m_dragPos;

    QToolButton *m_heldButton = nullptr;
};

#endif // LOGVIEW_H
