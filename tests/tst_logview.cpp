// A log view over its book (the window's log tests show it bounded to the
// newest lines over a long stream): bounded to the newest lines in order, still
// while the user reads further up or holds the mouse button down, and caught
// up once back at the end; long lines wrapped; the keys of a text view; a
// selection copies the text it covers, and only what is still in the view.

#include "widgets/logview.h"
#include "log/logbook.h"

#include <QBackingStore>
#include <QClipboard>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {
// The y of every row the view shows, top to bottom, with the line shown there.
QVector<std::pair<int, QString>> rowsShown(const LogView &view)
{
    QVector<std::pair<int, QString>> rows;
    const int step = view.fontMetrics().lineSpacing();
    for (int y = 4 + step / 2; y < view.viewport()->height() - 4; y += step)
        rows.append({y, view.lineAt(QPoint(4, y))});
    return rows;
}

// A pointer moved with the left button down (QTest's own move sends none).
void dragTo(QWidget *port, const QPoint &pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, port->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(port, &move);
}

// Lines "<prefix>0000" ... into the book and then the view, as the window does.
QStringList feed(LogBook &book, LogView &view, int n, const QString &prefix, int from = 0)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << QStringLiteral("%1%2").arg(prefix).arg(from + i, 4, 10, QLatin1Char('0'));
    book.append(lines);
    view.appendLines(lines);
    return lines;
}

// A shown view over a book of its own.
struct ShownView {
    LogBook book;
    LogView view;
    ShownView(int width, int height)
    {
        view.setBook(&book);
        view.resize(width, height);
        view.show();
    }
};
}  // namespace

class TstLogView : public QObject
{
    Q_OBJECT

private slots:
    void boundedOrderedAndStillWhileHeld_data()
    {
        QTest::addColumn<bool>("inFront");     // the log's tab, or another one (as for the hex log) in front
        QTest::addColumn<int>("heldBatches");  // of 3 lines, appended while the view is held
        QTest::addColumn<bool>("lineFeeds");   // some appended lines hold line feeds
        QTest::addColumn<QString>("back");     // how the user lets the view go back to the end
        QTest::newRow("tab in front, scroll bar") << true << 20 << false << "bar";
        QTest::newRow("tab behind, more held than the view holds, End")
            << false << LogView::MaxViewLines / 3 + 50 << false << "End";
        QTest::newRow("line feeds, click on the count") << true << 20 << true << "click";
        // Held by the mouse button at the end, not scrolled: a drag over four
        // rows selects those four lines.
        QTest::newRow("button down, released") << true << 20 << false << "release";
        // Another tab in front with the button down: no release comes, and
        // the view must not hold lines for ever.
        QTest::newRow("button down, other tab") << true << 20 << false << "tab";
    }
    void boundedOrderedAndStillWhileHeld()
    {
        QFETCH(bool, inFront);
        QFETCH(int, heldBatches);
        QFETCH(bool, lineFeeds);
        QFETCH(QString, back);
        QTabWidget tabs;
        LogView *const view = new LogView;
        LogBook book;
        view->setBook(&book);
        tabs.addTab(new QWidget, QStringLiteral("other"));
        tabs.setCurrentIndex(tabs.addTab(view, QStringLiteral("log")) - (inFront ? 0 : 1));
        tabs.resize(500, 300);
        tabs.show();
        QScrollBar *const bar = view->verticalScrollBar();
        QStringList all;  // every line as the book counts them
        // One display period's lines, into the book first and then the view.
        const auto feedLines = [&](int n) {
            QStringList lines;
            for (int i = 0; i < n; ++i) {
                const QString line = QStringLiteral("%1,03243,47,0103,1, ").arg(all.size(), 7, 10, QLatin1Char('0'));
                lines << (lineFeeds && i == 0 ? line + QStringLiteral("\nsecond\n") : line);
                all << lines.last().split(QLatin1Char('\n'));
            }
            book.append(lines);
            view->appendLines(lines);
        };
        const auto verifyNewest = [&] {
            const QStringList shown = view->lines();
            QCOMPARE(shown.size(), qMin(int(all.size()), LogView::MaxViewLines));
            QCOMPARE(shown, all.mid(all.size() - shown.size()));
            QCOMPARE(rowsShown(*view).last().second, all.last());
        };

        for (int i = 0; i < 50; ++i)
            feedLines(7);
        tabs.setCurrentWidget(view);
        verifyNewest();

        // Scrolled up or the button down: nothing in the view moves while
        // lines come in; the corner counts the lines that wait.
        auto *const held = view->findChild<QToolButton *>(QStringLiteral("heldLines"));
        QVERIFY(!held->isVisible());
        QWidget *const port = view->viewport();
        const bool mouse = back == QLatin1String("release") || back == QLatin1String("tab");
        if (!mouse)
            bar->setValue(bar->maximum() / 2);
        const int value = bar->value();
        const auto reading = rowsShown(*view);
        const int from = reading.size() - 6;
        const QPoint dragEnd(port->width() - 1, reading.at(from + 3).first);
        if (mouse)
            QTest::mousePress(port, Qt::LeftButton, {}, QPoint(0, reading.at(from).first));
        for (int i = 0; i < heldBatches; ++i) {
            feedLines(3);
            if (mouse && i == heldBatches / 2)
                dragTo(port, dragEnd);
        }
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), value);
        QCOMPARE(rowsShown(*view), reading);
        const qint64 waiting = 3 * heldBatches + (lineFeeds ? 2 * heldBatches : 0);
        QCOMPARE(view->heldLines(), waiting);
        QVERIFY(held->isVisible() && view->viewport()->geometry().contains(held->geometry()));
        QVERIFY2(held->text().contains(QString::number(waiting)), qPrintable(held->text()));

        // Back at the end: the view catches up with the book, and goes on from there.
        if (back == QLatin1String("click")) {
            held->click();
        } else if (back == QLatin1String("End")) {
            QTest::keyClick(view, Qt::Key_End);
        } else if (back == QLatin1String("release")) {
            QTest::mouseRelease(port, Qt::LeftButton, {}, dragEnd);
        } else if (back == QLatin1String("tab")) {
            tabs.setCurrentIndex(0);
            tabs.setCurrentWidget(view);
            feedLines(1);
        } else {
            bar->setValue(bar->maximum());
        }
        QCOMPARE(view->heldLines(), qint64(0));
        QVERIFY(!held->isVisible());
        verifyNewest();
        if (back == QLatin1String("release")) {
            QStringList dragged;  // the four lines that were under the drag
            for (int i = from; i < from + 4; ++i)
                dragged << reading.at(i).second;
            QCOMPARE(view->selectedText(), dragged.join(QLatin1Char('\n')));
            if (QApplication::clipboard()->supportsSelection())  // made on release
                QCOMPARE(QApplication::clipboard()->text(QClipboard::Selection), view->selectedText());
        }
        feedLines(1);
        verifyNewest();
    }

    // Following the end, the view moves what it drew and paints only the new
    // rows, and its bar is drawn again only when it looks different: what is
    // on screen must still be what a fresh drawing shows, at every step.
    void onScreenAsDrawnAfresh()
    {
        ShownView shown(300, 200);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
        // Offscreen, the screen is the backing store's picture; an X server
        // moves scrolled pixels in its own copy, so there the window is read back.
        const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
        const auto onScreen = [&] {
            QCoreApplication::sendPostedEvents();
            const QImage screen = x11 ? shown.view.screen()->grabWindow(shown.view.winId()).toImage()
                                      : *static_cast<QImage *>(shown.view.backingStore()->paintDevice());
            return screen.copy(shown.view.rect()).convertToFormat(QImage::Format_RGB32);
        };
        // Drawn afresh into a picture of 24-bit pixels, which takes every
        // glyph blended one by one, as no copied row does.
        const auto asDrawnAfresh = [&] {
            QImage afresh(shown.view.size(), QImage::Format_RGB888);
            shown.view.render(&afresh);
            return onScreen() == afresh.convertToFormat(QImage::Format_RGB32);
        };
        for (int batch = 0; batch < 40; ++batch) {
            feed(shown.book, shown.view, batch % 6 == 5 ? 20 : 1 + batch % 5,
                 QStringLiteral("line ") + QString(batch % 7 == 0 ? 30 : batch % 3, QLatin1Char(0x57)), batch * 5);
            QTRY_VERIFY2_WITH_TIMEOUT(asDrawnAfresh(), qPrintable(QString::number(batch)), 5000);
            // A reader scrolls up a row and back, also soon after the last time.
            QScrollBar *bar = shown.view.verticalScrollBar();
            for (int value : {bar->value() - 1, bar->maximum()}) {
                if (batch % 8 < 6)
                    break;
                bar->setValue(value);
                QTRY_VERIFY2_WITH_TIMEOUT(asDrawnAfresh(), qPrintable(QString::number(-batch)), 5000);
            }
        }
    }

    // A line wider than the view wraps after its last blank that fits; every
    // row of it belongs to it, and the end of the log stays at the bottom
    // when the view becomes wider.
    void longLinesWrap()
    {
        ShownView shown(300, 300);
        LogView &view = shown.view;
        QString longLine = QStringLiteral("Received:");
        for (int i = 0; i < 30; ++i)
            longLine += QStringLiteral(" %1").arg(i * 1234567, 7, 16, QLatin1Char('0'));
        feed(shown.book, view, 40, QStringLiteral("line "));
        shown.book.append({longLine, QStringLiteral("last")});
        view.appendLines({longLine, QStringLiteral("last")});

        const auto rows = rowsShown(view);
        QCOMPARE(rows.last().second, QStringLiteral("last"));
        // Each row of the long line selected from its left to its right end.
        QStringList parts;
        for (const auto &[y, line] : rows) {
            if (line != longLine)
                continue;
            QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(0, y));
            QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                              QPoint(view.viewport()->width() - 1, y));
            parts << view.selectedText();
        }
        QVERIFY2(parts.size() >= 3, qPrintable(parts.join('|')));
        QCOMPARE(parts.join(QString()), longLine);
        for (int i = 0; i + 1 < parts.size(); ++i) {
            QVERIFY2(parts.at(i).endsWith(QLatin1Char(' ')), qPrintable(parts.join('|')));
            QVERIFY(view.fontMetrics().horizontalAdvance(parts.at(i).trimmed()) <= view.viewport()->width());
        }

        view.resize(3000, 300);
        QCoreApplication::processEvents();
        const auto wide = rowsShown(view);
        QCOMPARE(wide.last().second, QStringLiteral("last"));
        QCOMPARE(std::count_if(wide.begin(), wide.end(), [&](const auto &r) { return r.second == longLine; }), 1);
    }

    // Home, End, Space and Shift+Space move the view as in other text views;
    // the page keys and arrows still do. Each row's name is its key; positions
    // are in pages from the top (-1: the last page).
    void keysMoveTheView_data()
    {
        QTest::addColumn<int>("startPage");
        QTest::addColumn<int>("expectedPage");
        QTest::newRow("Ctrl+Home") << 3 << 0;
        QTest::newRow("End") << 0 << -1;
        QTest::newRow("Space") << 1 << 2;
        QTest::newRow("Shift+Space") << 3 << 2;
    }
    void keysMoveTheView()
    {
        QFETCH(int, startPage);
        QFETCH(int, expectedPage);
        ShownView shown(400, 200);
        LogView &view = shown.view;
        const QStringList lines = feed(shown.book, view, 300, QStringLiteral("line "));
        const int page = view.verticalScrollBar()->pageStep();
        QVERIFY(page > 1 && 5 * page < lines.size());
        const auto top = [&](int p) { return p < 0 ? lines.at(lines.size() - page) : lines.at(p * page); };
        view.verticalScrollBar()->setValue(startPage < 0 ? view.verticalScrollBar()->maximum() : startPage * page);
        QCOMPARE(rowsShown(view).value(0).second, top(startPage));
        QTest::keySequence(&view, QKeySequence(QString::fromLatin1(QTest::currentDataTag())));
        QCOMPARE(rowsShown(view).value(0).second, top(expectedPage));
    }

    // Copy, by the menu or the key, takes what is still selected; once every
    // selected line has left the view it leaves the clipboard as it was.
    void copyTakesOnlyWhatIsLeft()
    {
        ShownView shown(400, 300);
        LogView &view = shown.view;
        feed(shown.book, view, 10, QStringLiteral("a"));
        QWidget *const port = view.viewport();
        const auto rows = rowsShown(view);
        QTest::mouseClick(port, Qt::LeftButton, {}, QPoint(0, rows.at(2).first));
        QTest::mouseClick(port, Qt::LeftButton, Qt::ShiftModifier, QPoint(399, rows.at(4).first));
        QCOMPARE(view.selectedText(), QStringLiteral("a0002\na0003\na0004"));
        // Display periods of 100 lines, the view at its end.
        const auto pushOut = [&](int lines) {
            for (int done = 0; done < lines; done += 100)
                feed(shown.book, view, qMin(100, lines - done), QStringLiteral("b"), done);
        };
        pushOut(LogView::MaxViewLines - 10 + 3);  // a0000 to a0002 leave the view
        QTimer::singleShot(0, &view, [] {         // the menu's first entry, "复制"
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            menu->actions().value(0)->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), port->mapToGlobal(QPoint(20, 20)));
        QCoreApplication::sendEvent(port, &event);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a0003\na0004"));

        pushOut(LogView::MaxViewLines);
        QCOMPARE(view.heldLines(), qint64(0));
        QApplication::clipboard()->setText(QStringLiteral("kept"));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
    }

    // Dragging past the top keeps scrolling while the pointer stays there,
    // and the selection follows to the line that comes in at the top.
    void dragPastTheTopScrollsOn()
    {
        ShownView shown(400, 200);
        LogView &view = shown.view;
        const QStringList lines = feed(shown.book, view, 400, QStringLiteral("line "));
        QScrollBar *const bar = view.verticalScrollBar();
        bar->setValue(200);
        QWidget *const port = view.viewport();
        const QPoint start(0, port->height() / 2);
        const QString pressed = view.lineAt(start);
        QTest::mousePress(port, Qt::LeftButton, {}, start);
        const QPoint outside(0, -5);
        dragTo(port, outside);
        // No further event: only a timer can take it on.
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() <= 180, 10000);
        QTest::mouseRelease(port, Qt::LeftButton, {}, outside);
        const int stopped = bar->value();
        QTest::qWait(200);
        QCOMPARE(bar->value(), stopped);  // released: it stops
        // From the start of the line now at the top to the start of the line pressed.
        const int top = view.lineAt(QPoint(0, 0)).mid(5).toInt();
        const int p = pressed.mid(5).toInt();
        QCOMPARE(view.selectedText(), QStringList(lines.mid(top, p - top)).join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }

    // A double click takes the word under the pointer (a value, a hex byte),
    // a triple click the whole line, Ctrl+A everything; each is also the
    // primary selection where the system has one, and Ctrl+C copies it.
    void clicksSelectWordOrLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("at");      // index of the character clicked
        QTest::addColumn<int>("clicks");  // 0: Ctrl+A
        QTest::addColumn<QString>("expected");
        const QString measurement = QStringLiteral("12:30:01.123,01234,03243,47,0103,1, ");
        const QString formula = QString::fromUtf8("温度[大]: y = 0.00012x^2 + 0.85x + -3.2");
        QTest::newRow("a value, the line's first") << measurement << 1 << 2 << "12";
        QTest::newRow("negative number") << formula << formula.size() - 2 << 2 << "-3.2";
        QTest::newRow("separator alone") << measurement << 18 << 2 << ",";
        QTest::newRow("triple click: the line") << formula << 3 << 3 << formula;
        QTest::newRow("Ctrl+A") << measurement << 0 << 0 << "before\n" + measurement + "\nafter";
    }
    void clicksSelectWordOrLine()
    {
        QFETCH(QString, line);
        QFETCH(int, at);
        QFETCH(int, clicks);
        QFETCH(QString, expected);
        LogView view;
        view.resize(600, 200);
        view.show();
        view.appendLines({QStringLiteral("before"), line, QStringLiteral("after")});
        const QFontMetricsF metrics(view.font());
        const QPoint pos(int(4 + metrics.horizontalAdvance(line.left(at)) + metrics.horizontalAdvance(line.at(at)) / 2),
                         rowsShown(view).at(1).first);
        QWidget *const port = view.viewport();
        if (clicks == 0) {
            QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        } else {  // as the system delivers it: press, release, double click, release
            QTest::mouseClick(port, Qt::LeftButton, {}, pos);
            QTest::mouseDClick(port, Qt::LeftButton, {}, pos);
            QTest::mouseRelease(port, Qt::LeftButton, {}, pos);
        }
        if (clicks == 3)
            QTest::mouseClick(port, Qt::LeftButton, {}, pos);
        QCOMPARE(view.selectedText(), expected);
        QClipboard *const clipboard = QApplication::clipboard();
        if (clipboard->supportsSelection())
            QCOMPARE(clipboard->text(QClipboard::Selection), expected);
        clipboard->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), expected);
    }
};

QTEST_MAIN(TstLogView)
#include "tst_logview.moc"
