#ifndef LOGVIEW_H
#define LOGVIEW_H

// Shows the newest lines of a LogBook in one of the window's text views.
//
// The view holds the newest lines in order, at most MaxViewLines and, once
// it has been trimmed, at least MaxViewLines - TrimLines; older lines leave
// the view but stay in the book. Lines are shown as plain text, never
// interpreted as markup (they carry bytes from the module). While the user has scrolled up to read, new
// lines are held back and nothing in the view moves; once the scroll bar is
// back at its end the view catches up from the book.
//
// The caller owns the book: it appends every line to the book first and then
// hands the same lines to appendLines(); on a clear it clears both. Once a
// LogView drives a text view, the view's text changes only through it. GUI
// thread only.

#include <QObject>
#include <QStringList>

class LogBook;
class QTextBrowser;

class LogView : public QObject
{
    Q_OBJECT

public:
    // A text view costs about 650 bytes a line, and each trim costs more the
    // more it holds. 5,000 lines are 3.3 MB per view, a trim of 10 ms, and
    // still 40 to 50 s to scroll back over at the module's top rate of 100
    // lines a second; the whole run stays in the book for saving.
    static constexpr int MaxViewLines = 5000;
    // Taking lines off the top lays the whole view out again, about 2 us per
    // line it holds (10 ms at 5,000 lines here), so the view is trimmed a
    // thousand lines at a time: once every 10 s at 100 lines/s instead of on
    // every append.
    static constexpr int TrimLines = 1000;

    LogView(QTextBrowser *view, const LogBook *log, QObject *parent = nullptr);

    // Shows lines that were just appended to the book, oldest first.
    void appendLines(const QStringList &lines);
    // Empties the view (the caller clears the book).
    void clear();

    // Lines appended while the user reads further up, not yet shown.
    qint64 heldLines() const { return m_held; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool atEnd() const;
    void scrolled();
    void catchUp();
    void show(const QStringList &lines);

    QTextBrowser *m_view;
    const LogBook *m_log;
    qint64 m_held = 0;
    bool m_hasLines = false;
    bool m_updating = false;
};

#endif // LOGVIEW_H
