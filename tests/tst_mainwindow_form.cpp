// What users and the code rely on in the main window's form: the widgets the
// glue reaches by name, the title, the initial choices and the enabling rules.

#include "mainwindow.h"
#include "startup.h"
#include "platform/version.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
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

    // Where a label's text sits: its baseline in the central widget, drawn
    // vertically centred as every readout and caption is.
    static qreal baseline(const QLabel *label, const QWidget *central)
    {
        const QRect area = label->contentsRect();
        const QFontMetricsF metrics(label->font());
        return label->mapTo(central, area.topLeft()).y() + (area.height() - metrics.height()) / 2 + metrics.ascent();
    }

private slots:
    void namedWidgetsAndStart()
    {
        MainWindow window;
        // The names the slots are connected by and the glue writes to.
        for (const char *name :
             {"outputBrowser", "HEXBrowser", "Func_log", "serialBox", "serialMsg", "comboBox",
              "pButtonOpen", "pButtonClose", "lineEditCmd", "pButtonCmd", "checkBox_autoSent",
              "auto_time", "checkBox_ID", "lineEditID", "sbIntegration", "label_DIST",
              "label_AMP", "label_TEMP", "label_INT", "label_STATUS", "Thresholdlabel",
              "setThresholdValue", "setValue", "thresholdValue", "deviationValue", "D_trigger",
              "totalValue", "logOption", "timeLogcheckBox", "chartcheckBox", "LOGcheckBox",
              "saveLog", "saveTestLog", "clearTestLog", "pushClearHEX", "pButtonClean"})
            QVERIFY2(window.findChild<QWidget *>(QLatin1String(name)), name);

        QVERIFY(find<QCheckBox>(window, "LOGcheckBox")->isChecked());
        for (const char *name : {"checkBox_autoSent", "timeLogcheckBox", "chartcheckBox",
                                 "checkBox_ID", "logOption"})
            QVERIFY2(!find<QAbstractButton>(window, name)->isChecked(), name);
        QCOMPARE(find<QComboBox>(window, "comboBox")->currentText(), QStringLiteral("115200"));
        QCOMPARE(find<QTabWidget>(window, "tabWidget")->tabText(0), QStringLiteral("HEX LOG"));

        showMainWindow(window);
        QCOMPARE(window.windowTitle(), QStringLiteral("Korvani_V" KORVANI_VERSION));
    }

    void enablingRules()
    {
        MainWindow window;
        window.show();  // clicks land only on laid-out widgets
        auto *id = find<QCheckBox>(window, "checkBox_ID");
        auto *autoSend = find<QCheckBox>(window, "checkBox_autoSent");
        const QVector<QWidget *> buttons{find<QWidget>(window, "stopButton_2"),
                                         find<QWidget>(window, "startButton"),
                                         find<QWidget>(window, "stopButton"),
                                         find<QWidget>(window, "pButtonCmd")};
        const auto enabled = [&] {
            QVector<bool> states;
            for (QWidget *b : buttons)
                states.append(b->isEnabled());
            return states;
        };

        id->click();
        QCOMPARE(enabled(), QVector<bool>({false, false, false, true}));
        id->click();
        QCOMPARE(enabled(), QVector<bool>({true, true, true, true}));

        // Each rule sets the state outright, whatever the other box says.
        id->click();
        autoSend->click();
        QCOMPARE(enabled(), QVector<bool>({false, false, false, false}));
        autoSend->click();
        QVERIFY(id->isChecked());
        QCOMPARE(enabled(), QVector<bool>({true, true, true, true}));
    }
    // Every readout value in one column of one width next to its caption and
    // unit, on its caption's baseline; within the form's maximum widths, wide
    // enough for what it can show, and of a fixed size (a new value must not
    // lay the window out again).
    void readoutsAligned_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("maximumWidth");
        QTest::addColumn<QString>("widest");
        QTest::newRow("distance") << "label_15" << "label_DIST" << QWIDGETSIZE_MAX << "65535";
        QTest::newRow("amplitude") << "label_16" << "label_AMP" << 45 << "65535";
        QTest::newRow("temperature") << "label_20" << "label_TEMP" << QWIDGETSIZE_MAX << "-32768";
        QTest::newRow("ambient") << "label_17" << "label_INT" << 60 << "65535";
        QTest::newRow("driver current") << "label_18" << "label_STATUS" << QWIDGETSIZE_MAX << "65535";
    }
    void readoutsAligned()
    {
        QFETCH(QString, caption);
        QFETCH(QString, value);
        QFETCH(int, maximumWidth);
        QFETCH(QString, widest);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget *const central = window.centralWidget();
        const auto *label = find<QLabel>(window, qPrintable(value));
        const auto *reference = find<QLabel>(window, "label_DIST");
        const auto place = [&](const QLabel *l) { return QRect(l->mapTo(central, QPoint()), l->size()); };

        QCOMPARE(place(label).left(), place(reference).left());
        QCOMPARE(place(label).width(), place(reference).width());
        QCOMPARE(label->alignment(), Qt::Alignment(Qt::AlignCenter));
        const qreal captionLine = baseline(find<QLabel>(window, qPrintable(caption)), central);
        QVERIFY2(qAbs(baseline(label, central) - captionLine) < 1,
                 qPrintable(QStringLiteral("%1 vs %2").arg(baseline(label, central)).arg(captionLine)));
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
        for (const char *name : {"/dev/ttyUSB0", "/dev/pts/12", "/dev/ttyACM10", "COM3"}) {
            QTest::addRow("%s", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s, listed later", name) << QString::fromLatin1(name) << true;
        }
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
