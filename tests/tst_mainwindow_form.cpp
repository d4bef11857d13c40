// What users and the code rely on in the main window's form: the widgets the
// glue reaches by name, the title, the initial choices and the enabling rules.

#include "mainwindow.h"
#include "startup.h"
#include "platform/version.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
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
};

QTEST_MAIN(MainWindowFormTest)
#include "tst_mainwindow_form.moc"
