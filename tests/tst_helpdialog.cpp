// The help dialog: it opens no larger than the screen with OK and Cancel
// reachable, and OK and Cancel only hide it (the page stays as it was).
// Run on a screen smaller than the form and on one taller (tests/CMakeLists.txt).

#include "dialog_help.h"
#include "platform/version.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
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
        QCOMPARE(scroll->widget(), dialog.findChild<QLabel *>(QStringLiteral("abouthelp")));
        QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QCOMPARE(scroll->viewport()->height() + scroll->verticalScrollBar()->value(), scroll->widget()->height());
    }

    void okAndCancelOnlyHide_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("OK") << int(QDialogButtonBox::Ok);
        QTest::newRow("Cancel") << int(QDialogButtonBox::Cancel);
    }
    void okAndCancelOnlyHide()
    {
        QFETCH(int, button);
        dialog_help dialog;
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("abouthelp"));
        const QString page = label->text();
        QVERIFY(page.contains(QStringLiteral(">V" KORVANI_VERSION "<")));  // the generated version
        dialog.show();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::StandardButton(button))->click();
        QVERIFY(dialog.isHidden());
        dialog.show();
        QVERIFY(dialog.isVisible());
        QCOMPARE(label->text(), page);
    }
};

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
