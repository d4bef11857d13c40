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
// While the user has scrolled up to read, new lines are held back and nothing
// in the view moves; once the scroll bar is back at its end the view catches
// up from the book.
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

#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QStringList>
#include <QVector>
#include <deque>

class LogBook;

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

    QString selectedText() const;
    void selectAll();
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

private:
    struct Line {
        QString text;
        qint64 firstRow;    // rows counted from the view's first line ever
        QVector<int> rows;  // start of each row after the first (wrapped)
    };
    // A place in the text: line number counted since the last clear, column.
    struct Position {
        qint64 line = 0;
        int column = 0;
        bool operator<(const Position &o) const { return line < o.line || (line == o.line && column < o.column); }
        bool operator==(const Position &o) const { return line == o.line && column == o.column; }
    };

    bool atEnd() const;
    void catchUp();
    void push(const QString &text);
    void wrap(Line &line) const;
    void rewrapAll();
    void updateScrollBar();
    void followEnd(qint64 topRowBefore, qint64 firstNewRow);
    void scrollRows(int rows);
    void fontChanged();

    qint64 endRow() const;  // the row after the last line's last row
    int rowCount() const;
    int pageRows() const;
    int lineHeight() const { return m_lineHeight; }
    qreal advance(const QString &text, int from, int to) const;
    int rowStart(const Line &line, int row) const;
    int rowEnd(const Line &line, int row) const;
    std::pair<int, int> lineOfRow(qint64 row) const;  // index into m_lines, row within it
    Position positionAt(const QPoint &pos) const;
    bool hasSelection() const { return !(m_anchor == m_cursor); }
    void selectTo(const Position &p);

    const LogBook *m_book = nullptr;
    std::deque<Line> m_lines;
    qint64 m_firstLine = 0;   // number of m_lines.front() since the last clear
    qint64 m_held = 0;
    bool m_scrolling = false; // the scroll bar is being set by the view itself

    QFont m_font;             // the widget's font, never shaped (see fontChanged)
    QFontMetricsF m_metrics{m_font};
    int m_lineHeight = 1;
    int m_ascent = 0;
    qreal m_asciiAdvance[128] = {};

    Position m_anchor, m_cursor;
    bool m_selecting = false;
};

#endif // LOGVIEW_H
