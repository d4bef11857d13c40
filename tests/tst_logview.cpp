// A log view over its book: bounded to the newest lines, plain text, and
// still while the user reads further up.

#include "logview.h"
#include "measure/logbook.h"

#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

namespace {
QStringList viewLines(const QTextBrowser &view)
{
    QStringList lines;
    for (QTextBlock b = view.document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

// The view shows the newest lines, as many as its bounds allow.
void verifyNewest(const QTextBrowser &view, const QStringList &all)
{
    const QStringList shown = viewLines(view);
    QVERIFY2(shown.size() <= LogView::MaxViewLines, qPrintable(QString::number(shown.size())));
    QVERIFY2(shown.size() >= LogView::MaxViewLines - LogView::TrimLines || shown.size() == all.size(),
             qPrintable(QString::number(shown.size())));
    QCOMPARE(shown, all.mid(all.size() - shown.size()));
}

QString firstVisibleLine(const QTextBrowser &view)
{
    return view.cursorForPosition(QPoint(4, 4)).block().text();
}

QString lastVisibleLine(const QTextBrowser &view)
{
    return view.cursorForPosition(QPoint(4, view.viewport()->height() - 4)).block().text();
}

struct Log {
    QTabWidget tabs;
    LogBook book;
    QTextBrowser &view = *new QTextBrowser;
    LogView logView{&view, &book};
    int next = 0;
    QStringList all;

    // The view on the tab in front, or behind another one as the hex and
    // trigger-test logs usually are.
    explicit Log(bool inFront = true)
    {
        tabs.addTab(new QWidget, QStringLiteral("other"));
        tabs.addTab(&view, QStringLiteral("log"));
        tabs.setCurrentWidget(inFront ? &view : tabs.widget(0));
        tabs.resize(650, 300);
        tabs.show();
    }
    // One display period's lines, into the book first and then the view.
    void feed(const QStringList &lines)
    {
        all << lines;
        book.append(lines);
        logView.appendLines(lines);
    }
    void feed(int n)
    {
        QStringList lines;
        for (int i = 0; i < n; ++i)
            lines << QStringLiteral("%1,03243,47,0103,1, ").arg(next++, 7, 10, QLatin1Char('0'));
        feed(lines);
    }
    QScrollBar *bar() { return view.verticalScrollBar(); }
};
} // namespace

class TstLogView : public QObject
{
    Q_OBJECT

private slots:
    void holdsTheNewestLines_data()
    {
        QTest::addColumn<bool>("inFront");
        QTest::newRow("tab in front") << true;
        QTest::newRow("tab behind") << false;
    }
    void holdsTheNewestLines()
    {
        QFETCH(bool, inFront);
        Log log(inFront);
        // Shown as they are, never read as markup.
        log.feed(QStringList{"<b>x</b>", "a &amp; b", "<table><tr><td>1</td></tr></table>"});
        log.feed(7);
        QCOMPARE(viewLines(log.view), log.all);
        QCOMPARE(log.view.toPlainText(), log.all.join(QLatin1Char('\n')));
        for (int i = 0; i < 1200; ++i) {
            log.feed(7);
            if (i % 100 == 0)
                verifyNewest(log.view, log.all);
        }
        QVERIFY(log.all.size() > LogView::MaxViewLines + LogView::TrimLines);
        verifyNewest(log.view, log.all);
        QCOMPARE(log.book.lineCount(), qint64(log.all.size()));
        log.tabs.setCurrentWidget(&log.view);
        QTRY_COMPARE(lastVisibleLine(log.view), log.all.last());

        log.logView.clear();
        log.book.clear();
        QCOMPARE(log.view.toPlainText(), QString());
        log.feed(1);
        QCOMPARE(viewLines(log.view), log.all.mid(log.all.size() - 1));
    }

    void readingUpIsNotDisturbed_data()
    {
        QTest::addColumn<int>("heldBatches");
        QTest::newRow("a few lines held") << 20;
        QTest::newRow("more than the view holds") << LogView::MaxViewLines / 3 + 50;
    }
    void readingUpIsNotDisturbed()
    {
        QFETCH(int, heldBatches);
        Log log;
        for (int i = 0; i < LogView::MaxViewLines / 3 + 10; ++i)
            log.feed(3);
        QTRY_VERIFY(log.bar()->maximum() > 1000);

        log.bar()->setValue(log.bar()->maximum() / 2);
        const int value = log.bar()->value();
        const QString reading = firstVisibleLine(log.view);
        QVERIFY(!reading.isEmpty());
        for (int i = 0; i < heldBatches; ++i)
            log.feed(3);
        QCoreApplication::processEvents();
        QCOMPARE(log.bar()->value(), value);
        QCOMPARE(firstVisibleLine(log.view), reading);
        QCOMPARE(log.logView.heldLines(), qint64(3 * heldBatches));

        // Back at the end: the view catches up with the book.
        log.bar()->setValue(log.bar()->maximum());
        QCOMPARE(log.logView.heldLines(), qint64(0));
        verifyNewest(log.view, log.all);
        QTRY_COMPARE(lastVisibleLine(log.view), log.all.last());
        log.feed(1);
        QCOMPARE(viewLines(log.view).last(), log.all.last());
        QTRY_COMPARE(lastVisibleLine(log.view), log.all.last());
    }
};

QTEST_MAIN(TstLogView)
#include "tst_logview.moc"
