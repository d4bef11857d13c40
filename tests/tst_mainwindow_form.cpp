// The main window as a tester first sees it: every widget with its class,
// text, place and initial state, and nothing else.

#include "mainwindow.h"
#include "startup.h"
#include "dialogcloser.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

namespace {

struct Expected {
    const char *name;
    const char *className;
    const char *text;  // nullptr: no text of its own to compare
};

// Every named widget of the window and its text as shown.
const Expected expectedWidgets[] = {
    {"centralwidget", "QWidget", nullptr},
    {"label_26", "QLabel", "测量信息 Vesk"},
    {"line_6", "QFrame", nullptr},
    {"LOGcheckBox", "QCheckBox",
     "log 窗口显示数据流(已解析 ->1.距离，2.信号幅度，3.温度, 4.环境光，5.发光功率）"},
    {"label_fps", "QLabel", "0"},
    {"label_15", "QLabel", "距离："},
    {"label_DIST", "QLabel", "0"},
    {"label", "QLabel", "mm"},
    {"label_16", "QLabel", "信号幅度："},
    {"label_AMP", "QLabel", "0"},
    {"label_20", "QLabel", "温度："},
    {"label_TEMP", "QLabel", "24"},
    {"label_5", "QLabel", "°C"},
    {"label_17", "QLabel", "AMB"},
    {"label_INT", "QLabel", "100"},
    {"label_3", "QLabel", "LBS"},
    {"label_18", "QLabel", "DAC"},
    {"label_STATUS", "QLabel", "0"},
    {"line_2", "QFrame", nullptr},
    {"outputBrowser", "QTextBrowser", ""},
    {"label_25", "QLabel", "命 令"},
    {"lineEditCmd", "QLineEdit", ""},
    {"pButtonCmd", "QPushButton", "发送"},
    {"checkBox_autoSent", "QCheckBox", "自动发送"},
    {"label_34", "QLabel", "间隔"},
    {"auto_time", "QSpinBox", "100"},
    {"label_24", "QLabel", "ms"},
    {"timeLogcheckBox", "QCheckBox", "时间戳"},
    {"pButtonClean", "QPushButton", "清空"},
    {"saveLog", "QPushButton", "保存log"},
    {"line", "QFrame", nullptr},
    {"line_3", "QFrame", nullptr},
    {"tabWidget", "QTabWidget", nullptr},
    {"label_22", "QLabel", nullptr},
    {"line_5", "QFrame", nullptr},
    {"label_23", "QLabel", nullptr},
    {"line_4", "QFrame", nullptr},
    {"onceButton_2", "QPushButton", "单次测量B"},
    {"label_9", "QLabel", "单次测量 (02)"},
    {"startButton", "QPushButton", "自动测量B"},
    {"label_11", "QLabel", "连续测量 (50)"},
    {"stopButton", "QPushButton", "停止"},
    {"label_12", "QLabel", "停止测量 (06)"},
    {"chartViewButton", "QPushButton", "Chart beta"},
    {"chartcheckBox", "QCheckBox", "图表"},
    {"swButton", "QPushButton", "固件版本"},
    {"label_14", "QLabel", "固件版本号 (0E)"},
    {"hwButton", "QPushButton", "硬件版本"},
    {"label_19", "QLabel", "硬件版本号 (08)"},
    {"stopButton_5", "QPushButton", "重启"},
    {"label_13", "QLabel", "重启TOF模组 (FB)"},
    {"label_6", "QLabel", "串  口"},
    {"serialBox", "QComboBox", nullptr},
    {"label_7", "QLabel", "波特率"},
    {"comboBox", "QComboBox", "115200"},
    {"comFresh", "QPushButton", "刷新"},
    {"pButtonOpen", "QPushButton", "打开串口"},
    {"pButtonClose", "QPushButton", "关闭串口"},
    {"label_2", "QLabel", "串口状态："},
    {"serialMsg", "QLabel", "串口状态"},
    {"tab_4", "QWidget", nullptr},
    {"HEXBrowser", "QTextBrowser", ""},
    {"pushClearHEX", "QPushButton", "清空"},
    {"tab_2", "QWidget", nullptr},
    {"GetThresholdValue", "QPushButton", "获取阈值"},
    {"Thresholdlabel", "QLabel", "0"},
    {"label_36", "QLabel", "mm/LSB"},
    {"SetThresholdValue", "QPushButton", "设置阈值"},
    {"setThresholdValue", "QLineEdit", "500"},
    {"label_37", "QLabel", "mm/LSB"},
    {"textBrowser", "QTextBrowser",
     "说明：\n    距离小于阈值时，IO口为高电平;\n    距离大于阈值时，IO口为低电平。\n    单位mm（毫米）"},
    {"tab_3", "QWidget", nullptr},
    {"onceButton", "QPushButton", "单次测量A"},
    {"label_8", "QLabel", "固定曝光时间单次测量 【01】"},
    {"stopButton_2", "QPushButton", "自动测量A"},
    {"label_10", "QLabel", "固定曝光时间自动测量 【05】"},
    {"lineEditID", "QLineEdit", "01"},
    {"checkBox_ID", "QCheckBox", "ID"},
    {"sbIntegration", "QSpinBox", "100"},
    {"label_21", "QLabel", "曝光时间调节 (us)"},
    {"chartAMP", "QCheckBox", "AMP Display"},
    {"tab", "QWidget", nullptr},
    {"logOption", "QRadioButton", "触发测试"},
    {"label_30", "QLabel", "触发阈值"},
    {"thresholdValue", "QLineEdit", "50"},
    {"label_31", "QLabel", "mm"},
    {"label_29", "QLabel", "偏差值"},
    {"deviationValue", "QLabel", "0"},
    {"label_32", "QLabel", "总次数"},
    {"totalValue", "QLabel", "0"},
    {"label_33", "QLabel", "触发次数"},
    {"D_trigger", "QLabel", "0"},
    {"tempReset", "QPushButton", "重置"},
    {"label_27", "QLabel", "基准距离"},
    {"setValue", "QLineEdit", "1500"},
    {"label_28", "QLabel", "mm"},
    {"clearTestLog", "QPushButton", "清空"},
    {"saveTestLog", "QPushButton", "保存"},
    {"Func_log", "QTextBrowser", ""},
    {"statusbar", "QStatusBar", nullptr},
    {"menubar", "QMenuBar", nullptr},
    {"menu_2", "QMenu", "帮助"},
};

const char *const expectedLayouts[] = {
    "gridLayout_2", "verticalLayout_3", "horizontalLayout_3", "horizontalLayout_5",
    "horizontalLayout_2", "horizontalLayout_6", "horizontalLayout", "verticalLayout_2",
    "horizontalLayout_7", "horizontalLayout_10", "formLayout_2", "formLayout",
    "formLayout_3", "verticalLayout_5", "gridLayout", "gridLayout_3", "verticalLayout_4",
    "verticalLayout", "horizontalLayout_4", "horizontalLayout_8", "horizontalLayout_9",
};

QString shownText(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *s = qobject_cast<QSpinBox *>(w))
        return s->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *t = qobject_cast<QTextBrowser *>(w))
        return t->toPlainText();
    if (auto *m = qobject_cast<QMenu *>(w))
        return m->title();
    return QString();
}

// Objects the toolkit adds (inside composite widgets, the main window's own
// layout) carry qt_ or _ names.
bool isFormObject(const QObject *o)
{
    for (const QObject *p = o; p; p = p->parent()) {
        if (p->objectName().startsWith(QLatin1String("qt_")))
            return false;
    }
    return !o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1Char('_'));
}

struct GridPlace {
    const char *name;
    int row, column, rowSpan, columnSpan;
};

} // namespace

class MainWindowFormTest : public QObject
{
    Q_OBJECT

private:
    template<typename T>
    T *find(MainWindow &w, const char *name)
    {
        T *o = w.findChild<T *>(QLatin1String(name));
        if (!o)
            qWarning("missing %s", name);
        return o;
    }

private slots:
    void everyWidgetWithItsClassAndText()
    {
        MainWindow window;
        QSet<QString> expected;
        for (const Expected &e : expectedWidgets) {
            expected.insert(QLatin1String(e.name));
            QWidget *w = window.findChild<QWidget *>(QLatin1String(e.name));
            QVERIFY2(w, e.name);
            QCOMPARE(QString::fromLatin1(w->metaObject()->className()), QString::fromLatin1(e.className));
            if (e.text)
                QCOMPARE(shownText(w), QString::fromUtf8(e.text));
        }
        // Nothing more than the table.
        for (QWidget *w : window.findChildren<QWidget *>()) {
            if (isFormObject(w))
                QVERIFY2(expected.contains(w->objectName()), qPrintable(w->objectName()));
        }
        QSet<QString> layouts;
        for (const char *name : expectedLayouts) {
            layouts.insert(QLatin1String(name));
            QVERIFY2(window.findChild<QLayout *>(QLatin1String(name)), name);
        }
        for (QLayout *l : window.findChildren<QLayout *>()) {
            if (isFormObject(l))
                QVERIFY2(layouts.contains(l->objectName()), qPrintable(l->objectName()));
        }
        const QList<QAction *> actions = window.findChildren<QAction *>();
        QStringList actionNames;
        for (QAction *a : actions) {
            if (isFormObject(a))
                actionNames << a->objectName();
        }
        QCOMPARE(actionNames, QStringList{QStringLiteral("action_about")});
    }

    void menuHasOneEntry()
    {
        MainWindow window;
        auto *menubar = find<QMenuBar>(window, "menubar");
        QCOMPARE(menubar->actions().size(), 1);
        auto *menu = find<QMenu>(window, "menu_2");
        QCOMPARE(menubar->actions().first()->menu(), menu);
        QCOMPARE(menu->title(), QStringLiteral("帮助"));
        QCOMPARE(menu->actions().size(), 1);
        QAction *about = menu->actions().first();
        QCOMPARE(about->objectName(), QStringLiteral("action_about"));
        QCOMPARE(about->text(), QStringLiteral("关于"));
        QCOMPARE(about->toolTip(), QStringLiteral("<html><head/><body><p>关于</p></body></html>"));
    }

    void titleSizeAndStyle()
    {
        MainWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
        QCOMPARE(window.size(), QSize(889, 635));
        QCOMPARE(window.styleSheet(), QStringLiteral("font: 12px \"微软雅黑\";"));
        showMainWindow(window);
        QCOMPARE(window.windowTitle(), QStringLiteral("Korvani_V0.8.5"));
        QVERIFY(window.isVisible());
    }

    void initialState()
    {
        MainWindow window;
        QVERIFY(find<QCheckBox>(window, "LOGcheckBox")->isChecked());
        for (const char *name : {"checkBox_autoSent", "timeLogcheckBox", "chartcheckBox",
                                 "checkBox_ID", "chartAMP", "logOption"})
            QVERIFY2(!find<QAbstractButton>(window, name)->isChecked(), name);
        for (QWidget *w : window.findChildren<QWidget *>()) {
            if (!isFormObject(w))
                continue;
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
            // Pages behind the current tab and the closed menu are hidden by the toolkit.
            const bool hiddenByToolkit = QStringList{"tab_2", "tab_3", "tab", "menu_2"}.contains(w->objectName());
            QVERIFY2(hiddenByToolkit || !w->isHidden(), qPrintable(w->objectName()));
        }

        auto *tabs = find<QTabWidget>(window, "tabWidget");
        QCOMPARE(tabs->count(), 4);
        const QStringList titles{"HEX LOG", "阈值设置", "命令", "触发测试"};
        const QStringList pages{"tab_4", "tab_2", "tab_3", "tab"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(tabs->tabText(i), titles[i]);
            QCOMPARE(tabs->widget(i)->objectName(), pages[i]);
        }
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->styleSheet(), QStringLiteral("background-color: rgb(238, 238, 238);"));

        auto *baud = find<QComboBox>(window, "comboBox");
        QCOMPARE(baud->count(), 3);
        QCOMPARE(baud->itemText(0), QStringLiteral("115200"));
        QCOMPARE(baud->itemText(1), QStringLiteral("9600"));
        QCOMPARE(baud->itemText(2), QStringLiteral("921600"));
        QVERIFY(!baud->isEditable());

        auto *interval = find<QSpinBox>(window, "auto_time");
        QCOMPARE(interval->minimum(), 10);
        QCOMPARE(interval->maximum(), 1000);
        QCOMPARE(interval->value(), 100);
        QCOMPARE(interval->singleStep(), 1);
        auto *integration = find<QSpinBox>(window, "sbIntegration");
        QCOMPARE(integration->minimum(), 10);
        QCOMPARE(integration->maximum(), 5280);
        QCOMPARE(integration->singleStep(), 10);
        QCOMPARE(integration->value(), 100);
        QCOMPARE(integration->minimumWidth(), 40);
        QCOMPARE(integration->baseSize(), QSize(40, 0));
        {
            // A step sends the new time; with no port open that is refused with a warning.
            DialogCloser closer;
            integration->stepUp();
            QCOMPARE(integration->value(), 110);
            QCOMPARE(closer.texts, QStringList{"请打开串口"});
        }

        QVERIFY(find<QTextBrowser>(window, "outputBrowser")->toPlainText().isEmpty());
        QVERIFY(find<QTextBrowser>(window, "HEXBrowser")->toPlainText().isEmpty());
        QVERIFY(find<QTextBrowser>(window, "Func_log")->toPlainText().isEmpty());
        QVERIFY(find<QStatusBar>(window, "statusbar")->currentMessage().isEmpty());

        QCOMPARE(find<QAbstractButton>(window, "onceButton")->whatsThis(),
                 QStringLiteral("<html><head/><body><p>固定曝光时间单次测量</p></body></html>"));
        QCOMPARE(find<QAbstractButton>(window, "onceButton_2")->whatsThis(),
                 QStringLiteral("<html><head/><body><p>自动曝光时间单次测量</p></body></html>"));
    }

    void fontsSizesAndStyleSheets()
    {
        MainWindow window;
        const QString yahei = QStringLiteral("微软雅黑");
        for (const char *name : {"label_26", "label_22", "label_23"}) {
            const QFont f = find<QWidget>(window, name)->font();
            QVERIFY2(f.underline(), name);
            QCOMPARE(f.family(), yahei);
        }
        QVERIFY(find<QWidget>(window, "label_5")->font().kerning());
        QCOMPARE(find<QWidget>(window, "pButtonOpen")->font().family(), yahei);
        QCOMPARE(int(find<QWidget>(window, "pButtonOpen")->font().weight()), int(QFont::Normal));

        auto *log = find<QTextBrowser>(window, "outputBrowser");
        QCOMPARE(log->styleSheet(),
                 QStringLiteral("font: 75 12pt \"微软雅黑\";\nbackground-color: rgb(239, 239, 239);"));
        QCOMPARE(log->minimumSize(), QSize(650, 200));
        const QString darkRed = QStringLiteral("color: rgb(170, 0, 0);");
        QCOMPARE(find<QWidget>(window, "label_18")->styleSheet(), darkRed);
        QCOMPARE(find<QWidget>(window, "label_STATUS")->styleSheet(), darkRed);
        QCOMPARE(find<QWidget>(window, "textBrowser")->styleSheet(),
                 QStringLiteral("font: 12px \"微软雅黑\";"));

        QCOMPARE(find<QWidget>(window, "label_fps")->minimumWidth(), 50);
        QCOMPARE(find<QWidget>(window, "label_AMP")->maximumWidth(), 45);
        QCOMPARE(find<QWidget>(window, "label_INT")->maximumWidth(), 60);
        QCOMPARE(find<QWidget>(window, "thresholdValue")->maximumWidth(), 40);
        QCOMPARE(find<QWidget>(window, "totalValue")->minimumWidth(), 40);
        QCOMPARE(find<QWidget>(window, "totalValue")->maximumWidth(), 40);
        QCOMPARE(find<QWidget>(window, "deviationValue")->minimumSize(), QSize(40, 20));
        QCOMPARE(find<QWidget>(window, "D_trigger")->minimumWidth(), 40);
        for (const char *name : {"label_6", "label_7", "serialBox", "pButtonOpen"})
            QCOMPARE(find<QWidget>(window, name)->minimumWidth(), 80);

        for (const char *name : {"label_DIST", "label_AMP", "label_TEMP", "label_INT",
                                 "label_STATUS", "label_fps", "Thresholdlabel", "label_36",
                                 "label_37", "deviationValue", "totalValue", "D_trigger"})
            QCOMPARE(find<QLabel>(window, name)->alignment(), Qt::Alignment(Qt::AlignCenter));
        for (const char *name : {"setThresholdValue", "lineEditID", "thresholdValue", "setValue"})
            QCOMPARE(find<QLineEdit>(window, name)->alignment(), Qt::Alignment(Qt::AlignCenter));

        for (const char *name : {"horizontalLayout_5", "horizontalLayout_6"}) {
            QLayout *l = find<QLayout>(window, name);
            QCOMPARE(l->spacing(), 10);
            QCOMPARE(l->sizeConstraint(), QLayout::SetMaximumSize);
        }
        QCOMPARE(find<QLayout>(window, "horizontalLayout")->sizeConstraint(), QLayout::SetMaximumSize);
    }

    void gridPlaces()
    {
        MainWindow window;
        const GridPlace places[] = {
            {"label_26", 0, 0, 1, 1}, {"line_6", 0, 2, 1, 1}, {"LOGcheckBox", 0, 3, 1, 4},
            {"label_fps", 0, 7, 1, 1}, {"verticalLayout_3", 2, 0, 1, 2}, {"line_2", 2, 2, 1, 1},
            {"verticalLayout_2", 2, 3, 2, 6}, {"line", 5, 0, 1, 6}, {"line_3", 5, 7, 5, 2},
            {"tabWidget", 6, 6, 4, 1}, {"label_22", 7, 0, 1, 1}, {"line_5", 7, 2, 1, 1},
            {"label_23", 7, 3, 1, 1}, {"line_4", 8, 2, 2, 1}, {"formLayout_2", 8, 3, 2, 3},
            {"formLayout", 9, 0, 1, 2},
        };
        auto *grid = find<QGridLayout>(window, "gridLayout_2");
        QCOMPARE(grid->count(), int(std::size(places)));
        for (const GridPlace &p : places) {
            int index = -1;
            for (int i = 0; i < grid->count(); ++i) {
                QLayoutItem *item = grid->itemAt(i);
                QObject *o = item->widget() ? static_cast<QObject *>(item->widget()) : item->layout();
                if (o && o->objectName() == QLatin1String(p.name))
                    index = i;
            }
            QVERIFY2(index >= 0, p.name);
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(QVector<int>({row, column, rowSpan, columnSpan}),
                     QVector<int>({p.row, p.column, p.rowSpan, p.columnSpan}));
        }

        // Function buttons: button in the label column, its caption beside it; row 4 empty.
        auto *functions = find<QFormLayout>(window, "formLayout_2");
        const QVector<QPair<QString, QString>> rows = {
            {"onceButton_2", "label_9"}, {"startButton", "label_11"}, {"stopButton", "label_12"},
            {"chartViewButton", "chartcheckBox"}, {"", ""}, {"swButton", "label_14"},
            {"hwButton", "label_19"}, {"stopButton_5", "label_13"}};
        for (int r = 0; r < rows.size(); ++r) {
            QLayoutItem *label = functions->itemAt(r, QFormLayout::LabelRole);
            QLayoutItem *field = functions->itemAt(r, QFormLayout::FieldRole);
            if (rows[r].first.isEmpty()) {
                QVERIFY(!label && !field);
                continue;
            }
            QCOMPARE(label->widget()->objectName(), rows[r].first);
            QCOMPARE(field->widget()->objectName(), rows[r].second);
        }

        auto *commands = find<QGridLayout>(window, "gridLayout_3");
        const GridPlace commandPlaces[] = {
            {"onceButton", 0, 0, 1, 1}, {"label_8", 0, 1, 1, 1}, {"stopButton_2", 1, 0, 1, 1},
            {"label_10", 1, 1, 1, 1}, {"lineEditID", 4, 0, 1, 1}, {"checkBox_ID", 4, 1, 1, 1},
            {"sbIntegration", 5, 0, 1, 1}, {"label_21", 6, 0, 1, 1}, {"chartAMP", 8, 0, 1, 1}};
        for (const GridPlace &p : commandPlaces) {
            const int index = commands->indexOf(find<QWidget>(window, p.name));
            QVERIFY2(index >= 0, p.name);
            int row, column, rowSpan, columnSpan;
            commands->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(QVector<int>({row, column}), QVector<int>({p.row, p.column}));
        }
    }

    void enablingRules()
    {
        MainWindow window;
        window.show();  // clicks land only on laid-out widgets
        auto *id = find<QCheckBox>(window, "checkBox_ID");
        auto *autoSend = find<QCheckBox>(window, "checkBox_autoSent");
        QWidget *continuousA = find<QWidget>(window, "stopButton_2");
        QWidget *continuousB = find<QWidget>(window, "startButton");
        QWidget *stop = find<QWidget>(window, "stopButton");
        QWidget *send = find<QWidget>(window, "pButtonCmd");
        const auto enabled = [&] {
            return QVector<bool>{continuousA->isEnabled(), continuousB->isEnabled(),
                                 stop->isEnabled(), send->isEnabled()};
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
