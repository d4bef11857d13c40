// A log view over its book: bounded to the newest lines in order, plain
// text, still while the user reads further up, and caught up once back at
// the end.

#include "logview.h"
#include "measure/logbook.h"

#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

class TstLogView : public QObject
{
    Q_OBJECT

private slots:
    void boundedOrderedAndStillWhileReading_data()
    {
        QTest::addColumn<bool>("inFront");     // the log's tab, or another one (as for the hex log) in front
        QTest::addColumn<int>("heldBatches");  // of 3 lines, appended while the user reads further up
        QTest::newRow("tab in front, a few lines held") << true << 20;
        QTest::newRow("tab behind, more held than the view holds") << false << LogView::MaxViewLines / 3 + 50;
    }
    void boundedOrderedAndStillWhileReading()
    {
        QFETCH(bool, inFront);
        QFETCH(int, heldBatches);
        QTabWidget tabs;
        QTextBrowser *const view = new QTextBrowser;
        LogBook book;
        LogView logView(view, &book);
        tabs.addTab(new QWidget, QStringLiteral("other"));
        tabs.setCurrentIndex(tabs.addTab(view, QStringLiteral("log")) - (inFront ? 0 : 1));
        tabs.show();
        QScrollBar *const bar = view->verticalScrollBar();
        QStringList all;
        // One display period's lines, into the book first and then the view.
        const auto feed = [&](int n, QStringList lines) {
            for (int i = 0; i < n; ++i)
                lines << QStringLiteral("%1,03243,47,0103,1, ").arg(all.size() + i, 7, 10, QLatin1Char('0'));
            all << lines;
            book.append(lines);
            logView.appendLines(lines);
        };
        // The view shows the newest lines, as many as its bounds allow.
        const auto verifyNewest = [&] {
            const QStringList shown = view->toPlainText().split(QLatin1Char('\n'));
            QVERIFY2(shown.size() >= qMin(int(all.size()), LogView::MaxViewLines - LogView::TrimLines)
                         && shown.size() <= LogView::MaxViewLines, qPrintable(QString::number(shown.size())));
            QCOMPARE(shown, all.mid(all.size() - shown.size()));
        };
        // The line shown at height y of the view.
        const auto lineAt = [&](int y) { return view->cursorForPosition(QPoint(4, y)).block().text(); };

        // Shown as they are, never read as markup.
        feed(7, {"<b>x</b>", "a &amp; b", "<table><tr><td>1</td></tr></table>"});
        if (inFront)
            QCOMPARE(view->toPlainText().split(QLatin1Char('\n')), all);
        for (int i = 1; i <= 1200; ++i) {
            feed(7, {});
            // Behind another tab the view lays nothing out until it is shown.
            if (i % 100 == 0 && inFront)
                verifyNewest();
        }
        QCOMPARE(logView.heldLines(), inFront ? 0 : qint64(all.size()));
        tabs.setCurrentWidget(view);
        verifyNewest();
        QTRY_COMPARE(lineAt(view->viewport()->height() - 4), all.last());

        // Scrolled up: nothing in the view moves while lines come in.
        bar->setValue(bar->maximum() / 2);
        const int value = bar->value();
        const QString reading = lineAt(4);
        QVERIFY(!reading.isEmpty());
        for (int i = 0; i < heldBatches; ++i)
            feed(3, {});
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), value);
        QCOMPARE(lineAt(4), reading);
        QCOMPARE(logView.heldLines(), qint64(3 * heldBatches));

        // Back at the end: the view catches up with the book, and goes on from there.
        bar->setValue(bar->maximum());
        QCOMPARE(logView.heldLines(), qint64(0));
        feed(1, {});
        verifyNewest();
        QTRY_COMPARE(lineAt(view->viewport()->height() - 4), all.last());

    }
};

QTEST_MAIN(TstLogView)
#include "tst_logview.moc"
