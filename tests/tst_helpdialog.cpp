// The help dialog: it shows the program's version and opens no larger than
// the screen with OK and Cancel reachable.
// Run on a screen smaller than the form and on one taller (tests/CMakeLists.txt).

#include "dialog_help.h"
#include "platform/version.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

class TestHelpDialog : public QObject
{
    Q_OBJECT

private slots:
    void fitsTheScreen()
    {
        dialog_help dialog;
        const QString page = dialog.findChild<QLabel *>(QStringLiteral("abouthelp"))->text();
        QVERIFY(page.contains(QStringLiteral(">V" KORVANI_VERSION "<")));  // the generated version
        const QRect free = dialog.screen()->availableGeometry();
        const bool roomy = free.width() >= 630 && free.height() >= 1399 + 100;
        auto *scroll = dialog.findChild<QScrollArea *>();
        if (!roomy && free.height() >= 1399)
            QSKIP("the form only just fits; whether it shrinks depends on the title bar");
        if (roomy) {
            QCOMPARE(dialog.size(), QSize(630, 1399));
            QVERIFY(!scroll);
            return;
        }

        QVERIFY(scroll && dialog.width() <= free.width());
        QVERIFY(dialog.height() <= free.height() && dialog.height() >= free.height() / 2);  // shrunk, not collapsed
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.frameGeometry().height() <= free.height());

        // OK and Cancel are inside the window, and the whole page can be reached.
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QVERIFY(dialog.rect().contains(QRect(buttons->mapTo(&dialog, QPoint(0, 0)), buttons->size())));
        QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QCOMPARE(scroll->viewport()->height() + scroll->verticalScrollBar()->value(), scroll->widget()->height());
    }
};

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
