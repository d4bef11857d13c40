// A log view over its book: bounded to the newest lines in order, still
// while the user reads further up and caught up once back at the end; long
// lines wrapped; a selection copies the text it covers.

#include "widgets/logview.h"
#include "log/logbook.h"

#include <QClipboard>
#include <QScrollBar>
#include <QTabWidget>
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
} // namespace

class TstLogView : public QObject
{
    Q_OBJECT

private slots:
    void boundedOrderedAndStillWhileReading_data()
    {
        QTest::addColumn<bool>("inFront");     // the log's tab, or another one (as for the hex log) in front
        QTest::addColumn<int>("heldBatches");  // of 3 lines, appended while the user reads further up
        QTest::addColumn<bool>("lineFeeds");   // some appended lines hold line feeds
        QTest::newRow("tab in front, a few lines held") << true << 20 << false;
        QTest::newRow("tab behind, more held than the view holds") << false << LogView::MaxViewLines / 3 + 50 << false;
        QTest::newRow("lines holding line feeds") << true << 20 << true;
    }
    void boundedOrderedAndStillWhileReading()
    {
        QFETCH(bool, inFront);
        QFETCH(int, heldBatches);
        QFETCH(bool, lineFeeds);
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
        const auto feed = [&](int n) {
            QStringList lines;
            for (int i = 0; i < n; ++i) {
                const QString line = QStringLiteral("%1,03243,47,0103,1, ").arg(all.size(), 7, 10, QLatin1Char('0'));
                lines << (lineFeeds && i == 0 ? line + QStringLiteral("\nsecond\n") : line);
                all << line.split(QLatin1Char('\n'));
                if (lineFeeds && i == 0)
                    all << QStringLiteral("second") << QString();
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

        for (int i = 1; i <= 1000; ++i) {
            feed(7);
            if (i % 100 == 0)
                verifyNewest();
        }
        tabs.setCurrentWidget(view);
        verifyNewest();

        // Scrolled up: nothing in the view moves while lines come in.
        bar->setValue(bar->maximum() / 2);
        const int value = bar->value();
        const auto reading = rowsShown(*view);
        for (int i = 0; i < heldBatches; ++i)
            feed(3);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), value);
        QCOMPARE(rowsShown(*view), reading);
        QCOMPARE(view->heldLines(), qint64(3 * heldBatches + (lineFeeds ? 2 * heldBatches : 0)));

        // Back at the end: the view catches up with the book, and goes on from there.
        bar->setValue(bar->maximum());
        QCOMPARE(view->heldLines(), qint64(0));
        verifyNewest();
        feed(1);
        verifyNewest();

        view->clear();
        QCOMPARE(view->lines(), QStringList());
        const int before = all.size();
        feed(2);
        QCOMPARE(view->lines(), all.mid(before));
    }

    // A line wider than the view wraps after its last blank that fits; every
    // row of it belongs to it, and the end of the log stays at the bottom
    // when the view becomes wider.
    void longLinesWrap()
    {
        LogView view;
        LogBook book;
        view.setBook(&book);
        view.resize(300, 300);
        view.show();
        QString longLine = QStringLiteral("Received:");
        for (int i = 0; i < 30; ++i)
            longLine += QStringLiteral(" %1").arg(i * 1234567, 7, 16, QLatin1Char('0'));
        QStringList lines;
        for (int i = 0; i < 40; ++i)
            lines << QStringLiteral("line %1").arg(i);
        lines << longLine << QStringLiteral("last");
        book.append(lines);
        view.appendLines(lines);

        const auto rows = rowsShown(view);
        QCOMPARE(rows.last().second, QStringLiteral("last"));
        // Each row of the long line selected from its left to its right end.
        QStringList parts;
        for (const auto &[y, line] : rows) {
            if (line != longLine)
                continue;
            QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(0, y));
            QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(view.viewport()->width() - 1, y));
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

    void selectionCopiesItsText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected");
        QTest::newRow("drag over two lines") << "drag" << "beta two\ngamma three";
        QTest::newRow("shift click") << "shift" << "beta two\ngamma three";
        QTest::newRow("double click") << "double" << "gamma three";
        QTest::newRow("select all") << "all" << "alpha one\nbeta two\ngamma three\ndelta four";
    }
    void selectionCopiesItsText()
    {
        QFETCH(QString, how);
        QFETCH(QString, expected);
        LogView view;
        view.resize(400, 200);
        view.show();
        view.appendLines({"alpha one", "beta two", "gamma three", "delta four"});
        const auto rows = rowsShown(view);
        const QPoint beta(0, rows.at(1).first), gammaEnd(399, rows.at(2).first);
        QWidget *const port = view.viewport();
        if (how == QLatin1String("drag")) {
            QTest::mousePress(port, Qt::LeftButton, {}, beta);
            QMouseEvent move(QEvent::MouseMove, gammaEnd, port->mapToGlobal(gammaEnd), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(port, &move);
            QTest::mouseRelease(port, Qt::LeftButton, {}, gammaEnd);
        } else if (how == QLatin1String("shift")) {
            QTest::mouseClick(port, Qt::LeftButton, {}, beta);
            QTest::mouseClick(port, Qt::LeftButton, Qt::ShiftModifier, gammaEnd);
        } else if (how == QLatin1String("double")) {
            QTest::mouseDClick(port, Qt::LeftButton, {}, QPoint(20, rows.at(2).first));
        } else {
            QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        }
        QCOMPARE(view.selectedText(), expected);
        QApplication::clipboard()->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), expected);
    }
};

QTEST_MAIN(TstLogView)
#include "tst_logview.moc"
