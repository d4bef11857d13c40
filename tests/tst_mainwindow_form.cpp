// What users rely on in the main window's form: the title, the enabling
// rules, readouts that fit their values and are of a fixed size, whole port
// names.

#include "mainwindow.h"
#include "startup.h"
#include "platform/version.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QtTest>

class MainWindowFormTest : public QObject
{
    Q_OBJECT

    template<class W>
    static W *find(const QWidget &window, const char *name)
    {
        W *w = window.findChild<W *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }

private slots:
    // The title users find the window by.
    void title()
    {
        MainWindow window;
        showMainWindow(window);
        QCOMPARE(window.windowTitle(), QStringLiteral("Korvani_V" KORVANI_VERSION));
    }

    // The ID box turns the streaming buttons off, the auto-send box every
    // sending button; each rule sets the state outright, whatever the other
    // box says.
    void enablingRules()
    {
        MainWindow window;
        window.show();  // clicks land only on laid-out widgets
        QStringList seen;
        for (const char *box : {"checkBox_ID", "checkBox_ID", "checkBox_ID", "checkBox_autoSent", "checkBox_autoSent"}) {
            find<QCheckBox>(window, box)->click();
            seen << QString();
            for (const char *name : {"stopButton_2", "startButton", "stopButton", "pButtonCmd"})
                seen.last() += find<QWidget>(window, name)->isEnabled() ? '1' : '0';
        }
        QCOMPARE(seen, QStringList({"0001", "1111", "0001", "0000", "1111"}));
    }

    // Every readout wide enough for what it can show, within the form's
    // maximum widths, and of a fixed size (a new value must not lay the
    // window out again).
    void readoutsFit_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("maximumWidth");
        QTest::addColumn<QString>("widest");
        QTest::newRow("distance") << "label_DIST" << QWIDGETSIZE_MAX << "65535";
        QTest::newRow("amplitude") << "label_AMP" << 45 << "65535";
        QTest::newRow("temperature") << "label_TEMP" << QWIDGETSIZE_MAX << "-32768";
        QTest::newRow("ambient") << "label_INT" << 60 << "65535";
        QTest::newRow("driver current") << "label_STATUS" << QWIDGETSIZE_MAX << "65535";
    }
    void readoutsFit()
    {
        QFETCH(QString, value);
        QFETCH(int, maximumWidth);
        QFETCH(QString, widest);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto *label = find<QLabel>(window, qPrintable(value));
        QVERIFY2(label->width() <= maximumWidth, qPrintable(QString::number(label->width())));
        QVERIFY(label->fontMetrics().horizontalAdvance(widest) <= label->contentsRect().width());
        QCOMPARE(label->minimumSize(), label->maximumSize());
    }

    // The port box shows the whole name of its longest entry, also one listed
    // after the window is shown (as "刷新" does), and is never below 80 px.
    void portBoxShowsWholeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("afterShow");
        QTest::newRow("long name, listed later") << "/dev/ttyACM10" << true;
        QTest::newRow("short name") << "COM3" << false;
    }
    void portBoxShowsWholeNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, afterShow);
        MainWindow window;
        auto *box = find<QComboBox>(window, "serialBox");
        box->clear();
        if (!afterShow)
            box->addItem(name);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (afterShow)
            box->addItem(name);
        box->addItem(QStringLiteral("tty0"));  // a shorter one, not current
        box->setCurrentIndex(0);
        const auto textRoom = [&] {
            QStyleOptionComboBox option;
            option.initFrom(box);
            option.rect = box->rect();
            option.currentText = box->currentText();
            option.editable = false;
            option.frame = true;
            option.subControls = QStyle::SC_All;
            return box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width();
        };
        QTRY_VERIFY2_WITH_TIMEOUT(textRoom() >= box->fontMetrics().horizontalAdvance(name),
                                  qPrintable(QStringLiteral("%1 px for %2 px").arg(textRoom()).arg(box->fontMetrics().horizontalAdvance(name))), 5000);
        QVERIFY(box->width() >= 80);
    }
};

QTEST_MAIN(MainWindowFormTest)
#include "tst_mainwindow_form.moc"
