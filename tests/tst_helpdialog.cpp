// The help dialog: its form, the reference card on its page, and how it opens
// and closes.

#include "dialog_help.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QVBoxLayout>
#include <QtTest>

namespace {

QList<QTextTable *> tablesOf(QTextDocument &document)
{
    QList<QTextTable *> tables;
    for (QTextFrame *frame : document.rootFrame()->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.append(table);
    }
    return tables;
}

QString cellText(QTextTable *table, int row, int column)
{
    const QTextTableCell cell = table->cellAt(row, column);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText().trimmed();
}

QStringList column(QTextTable *table, int columnIndex)
{
    QStringList texts;
    for (int row = 1; row < table->rows(); ++row)
        texts.append(cellText(table, row, columnIndex));
    return texts;
}

QString fontFamilyInCell(QTextTable *table, int row, int column)
{
    return table->cellAt(row, column).firstCursorPosition().charFormat().fontFamily();
}

// Blocks outside any table between two tables that hold no text.
int emptyBlocksBetween(QTextTable *before, QTextTable *after)
{
    int empty = 0;
    QTextBlock block = before->document()->findBlock(before->lastPosition() + 1);
    for (; block.isValid() && block.position() < after->firstPosition(); block = block.next()) {
        if (!QTextCursor(block).currentTable() && block.text().isEmpty())
            ++empty;
    }
    return empty;
}

int visibleHelpDialogs()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<dialog_help *>(widget) && widget->isVisible())
            ++count;
    }
    return count;
}

} // namespace

class TestHelpDialog : public QObject
{
    Q_OBJECT

private slots:
    void formProperties();
    void titleBlock();
    void tableStructure();
    void commandListContent();
    void commandReferenceContent();
    void frameLayoutContent();
    void okAndCancelOnlyHide();
    void showingTwiceKeepsOneWindow();
    void fitsTheScreen();

private:
    QString pageHtml(dialog_help &dialog)
    {
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("abouthelp"));
        return label ? label->text() : QString();
    }
};

void TestHelpDialog::formProperties()
{
    dialog_help dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("dialog_help"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QVERIFY(!dialog.isModal());
    QVERIFY(dialog.parentWidget() == nullptr);

    auto *layout = qobject_cast<QVBoxLayout *>(dialog.layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(layout->count(), 2);
    // On a screen smaller than the form the page sits in a scroll area.
    QWidget *page = layout->itemAt(0)->widget();
    if (auto *scroll = qobject_cast<QScrollArea *>(page))
        page = scroll->widget();
    auto *label = qobject_cast<QLabel *>(page);
    auto *buttons = qobject_cast<QDialogButtonBox *>(layout->itemAt(1)->widget());
    QVERIFY(label);
    QVERIFY(buttons);
    QCOMPARE(label->objectName(), QStringLiteral("abouthelp"));
    QCOMPARE(buttons->objectName(), QStringLiteral("buttonBox"));
    QCOMPARE(buttons->orientation(), Qt::Horizontal);
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QVERIFY(Qt::mightBeRichText(label->text()) || label->textFormat() == Qt::RichText);
}

void TestHelpDialog::titleBlock()
{
    dialog_help dialog;
    QTextDocument document;
    document.setHtml(pageHtml(dialog));

    QTextBlock block = document.begin();
    QCOMPARE(block.text(), QStringLiteral("Korvani"));
    QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(block.begin().fragment().charFormat().fontPointSize(), 24.0);
    QVERIFY(block.begin().fragment().charFormat().fontWeight() >= QFont::DemiBold);
    QCOMPARE(block.begin().fragment().charFormat().fontFamily(), QStringLiteral("SimSun"));

    block = block.next();
    QCOMPARE(block.text(), QStringLiteral("V0.8.5"));
    QCOMPARE(block.begin().fragment().charFormat().fontPointSize(), 10.0);
    QVERIFY(block.begin().fragment().charFormat().fontWeight() >= QFont::DemiBold);

    block = block.next();
    QVERIFY(block.text().contains(QStringLiteral("Korvani")));
    QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    block = block.next();
    QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QStringList links;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        if (format.isAnchor())
            links.append(it.fragment().text() + QLatin1Char(' ') + format.anchorHref());
    }
    QCOMPARE(links.size(), 3);
    QVERIFY(links.at(0).startsWith(QStringLiteral("Qt 5 https://doc.qt.io/")));
    QVERIFY(links.at(1).startsWith(QStringLiteral("Qt Charts https://doc.qt.io/")));
    QVERIFY(links.at(2).startsWith(QStringLiteral("Qt SerialPort https://doc.qt.io/")));

    block = block.next();
    QVERIFY(block.text().contains(QStringLiteral("TOF")));
    QVERIFY((block.blockFormat().alignment() & Qt::AlignHCenter) == 0);
    QVERIFY(block.next().text().isEmpty());
}

void TestHelpDialog::tableStructure()
{
    dialog_help dialog;
    QTextDocument document;
    document.setHtml(pageHtml(dialog));

    const QList<QTextTable *> tables = tablesOf(document);
    QCOMPARE(tables.size(), 3);
    QCOMPARE(tables.at(0)->rows(), 17);
    QCOMPARE(tables.at(0)->columns(), 3);
    QCOMPARE(tables.at(1)->rows(), 13);
    QCOMPARE(tables.at(1)->columns(), 4);
    QCOMPARE(tables.at(2)->rows(), 12);
    QCOMPARE(tables.at(2)->columns(), 5);

    const QTextTableFormat list = tables.at(0)->format();
    QCOMPARE(list.border(), 0.0);
    QCOMPARE(list.cellSpacing(), 2.0);
    const QVector<QTextLength> widths = list.columnWidthConstraints();
    QCOMPARE(widths.size(), 3);
    QCOMPARE(widths.at(0).rawValue(), 38.0);
    QCOMPARE(widths.at(1).rawValue(), 116.0);
    QCOMPARE(widths.at(2).rawValue(), 110.0);

    const QTextTableFormat reference = tables.at(1)->format();
    QCOMPARE(reference.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(reference.width().rawValue(), 623.0);
    QCOMPARE(tables.at(1)->cellAt(0, 0).format().background().color(), QColor(Qt::yellow));
    QCOMPARE(fontFamilyInCell(tables.at(1), 0, 0), QStringLiteral("微软雅黑"));
    QCOMPARE(fontFamilyInCell(tables.at(1), 12, 3), QStringLiteral("微软雅黑"));

    const QTextTableFormat frame = tables.at(2)->format();
    QCOMPARE(frame.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(frame.width().rawValue(), 519.0);
    QCOMPARE(frame.border(), 1.0);
    const QColor header = tables.at(2)->cellAt(0, 0).format().background().color();
    QVERIFY(header.isValid());
    QCOMPARE(header.red(), header.green());
    QCOMPARE(header.green(), header.blue());
    QVERIFY(header.red() > 0x40 && header.red() < 0xf0);
    QCOMPARE(fontFamilyInCell(tables.at(2), 5, 4), QStringLiteral("微软雅黑"));

    // Between the tables: four empty paragraphs; QTextDocument adds one empty
    // block of its own after every table.
    QCOMPARE(emptyBlocksBetween(tables.at(0), tables.at(1)), 1 + 4);
    QCOMPARE(emptyBlocksBetween(tables.at(1), tables.at(2)), (1 + 1) + 1);

    const int headingAt = document.toPlainText().indexOf(QStringLiteral("HEX输出数据格式："));
    QVERIFY(headingAt > 0);
    const QTextBlock heading = document.findBlock(headingAt);
    QCOMPARE(heading.text(), QStringLiteral("HEX输出数据格式："));
    QVERIFY(heading.begin().fragment().charFormat().fontWeight() >= QFont::DemiBold);
    QVERIFY(tables.at(1)->lastPosition() < heading.position());
    QVERIFY(heading.position() < tables.at(2)->firstPosition());
}

void TestHelpDialog::commandListContent()
{
    dialog_help dialog;
    QTextDocument document;
    document.setHtml(pageHtml(dialog));
    QTextTable *table = tablesOf(document).value(0);
    QVERIFY(table);

    QCOMPARE(cellText(table, 0, 0), QStringLiteral("序号"));
    QCOMPARE(cellText(table, 0, 1), QStringLiteral("命令名称"));
    QCOMPARE(cellText(table, 0, 2), QStringLiteral("指令"));

    QStringList numbers;
    for (int n = 1; n <= 16; ++n)
        numbers.append(QString::number(n));
    QCOMPARE(column(table, 0), numbers);
    QCOMPARE(column(table, 1), (QStringList{
        "切换至单次测量模式", "切换至连续测量模式", "单次测量", "启动连续测量",
        "停止连续测量", "文本输出显示", "HEX输出显示", "获取硬件版本,",
        "获取软件版本", "关闭上电测量", "打开上电测量", "测量频率 10Hz",
        "测量频率 20Hz", "测量频率 50Hz", "测量频率 100Hz", "重启模组"}));
    QCOMPARE(column(table, 2), (QStringList{
        "56 20 00 76", "56 21 00 77", "56 02 00 54", "56 50 00 06",
        "56 06 00 50", "56 71 00 27", "56 70 00 26", "56 08 00 5e",
        "56 0e 00 58", "56 60 00 36", "56 61 00 37", "56 31 00 67",
        "56 32 00 64", "56 33 00 65", "56 34 00 62", "56 fb 00 ad"}));

    // Every listed command carries a correct check byte, the XOR of the others.
    for (const QString &bytes : column(table, 2)) {
        const QStringList parts = bytes.split(QLatin1Char(' '));
        int check = 0;
        for (int i = 0; i < parts.size() - 1; ++i)
            check ^= parts.at(i).toInt(nullptr, 16);
        QCOMPARE(parts.last().toInt(nullptr, 16), check);
    }

    QCOMPARE(table->cellAt(1, 0).firstCursorPosition().blockFormat().alignment()
                 & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(table->cellAt(1, 2).firstCursorPosition().blockFormat().alignment()
                 & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QVERIFY((table->cellAt(1, 1).firstCursorPosition().blockFormat().alignment()
             & Qt::AlignHCenter) == 0);
    QVERIFY(table->cellAt(0, 1).firstCursorPosition().charFormat().fontWeight() >= QFont::DemiBold);
}

void TestHelpDialog::commandReferenceContent()
{
    dialog_help dialog;
    QTextDocument document;
    document.setHtml(pageHtml(dialog));
    QTextTable *table = tablesOf(document).value(1);
    QVERIFY(table);

    QCOMPARE(cellText(table, 0, 0), QStringLiteral("编号"));
    QCOMPARE(cellText(table, 0, 1), QStringLiteral("指令名称"));
    QCOMPARE(cellText(table, 0, 2), QStringLiteral("指令检索"));
    QCOMPARE(cellText(table, 0, 3), QStringLiteral("描述"));

    QStringList numbers;
    for (int n = 1; n <= 12; ++n)
        numbers.append(QStringLiteral("6.%1").arg(n));
    QCOMPARE(column(table, 0), numbers);
    QCOMPARE(column(table, 1), (QStringList{
        "测量模式选择", "连续测量", "停止连续测量", "单次测量", "设置输出格式显示模式",
        "待机模式", "读取固件版本号", "读取硬件版本号", "上电自动测量开关",
        "设置模组测量频率", "获取距离阈值", "设置距离阈值"}));
    QCOMPARE(column(table, 2), (QStringList{
        "56 2n 00 XV", "56 50 00 06", "56 06 00 50", "56 02 00 54", "56 7n 00 XV",
        "56 40 00 16", "56 0e 00 58", "56 08 00 5E", "56 6n 00 XV", "56 3n 00 XV",
        "56 03 00 55", "56 da 04 XL XH 00 00 XV"}));
    QCOMPARE(column(table, 3), (QStringList{
        "设置测量模式（单次/连续）", "连续测量模式", "停止连续测量命令", "单次测量",
        "HEX/ASCII输出格式切换 (默认HEX格式)", "进入低功耗待机模式", "获取模组固件版本号",
        "获取模组硬件版本号", "开启模组上电后自动测量（默认上电测量）",
        "切换模组自动测量频率(默认50Hz)", "获取控制IO输出的距离阈值",
        "设置控制IO输出的距离阈值"}));
}

void TestHelpDialog::frameLayoutContent()
{
    dialog_help dialog;
    QTextDocument document;
    document.setHtml(pageHtml(dialog));
    QTextTable *table = tablesOf(document).value(2);
    QVERIFY(table);

    QCOMPARE(cellText(table, 0, 0), QStringLiteral("数据格式"));
    QCOMPARE(cellText(table, 0, 1), QStringLiteral("定义"));
    QCOMPARE(cellText(table, 0, 2), QStringLiteral("范例（HEX）"));
    QCOMPARE(cellText(table, 0, 3), QStringLiteral("范例解析"));
    QCOMPARE(cellText(table, 0, 4), QStringLiteral("测量响应描述"));

    QStringList bytes;
    for (int n = 0; n <= 10; ++n)
        bytes.append(QStringLiteral("Byte%1").arg(n));
    QCOMPARE(column(table, 0), bytes);
    QCOMPARE(column(table, 1), (QStringList{
        "0x89", "0x81", "DIST_L", "DIST_H", "AMP_L", "AMP_H", "TEMP", "AMB_L", "AMB_H",
        "ILLB", "Verity"}));
    const QStringList example = column(table, 2);
    QCOMPARE(example, (QStringList{
        "89", "81", "74", "0A", "AB", "0C", "2F", "67", "00", "01", "98"}));
    QCOMPARE(column(table, 4), (QStringList{
        "协议类型", "帧头", "距离 低八位", "距离 高八位", "信号幅度值 低八位",
        "信号幅度值 高八位", "温度 °C （摄氏度）", "环境光强度 低八位", "环境光强度 高八位",
        "照明驱动器 DAC 电流", "校验：异或运算"}));

    // The example is one frame the receive path would accept.
    int check = 0;
    for (int i = 0; i < 10; ++i)
        check ^= example.at(i).toInt(nullptr, 16);
    QCOMPARE(check, example.at(10).toInt(nullptr, 16));

    // Column 3: the three 16-bit fields span their two rows.
    struct Gloss
    {
        int row;
        int rowSpan;
        const char *text;
    };
    const Gloss glosses[] = {
        {1, 1, "89"}, {2, 1, "81"}, {3, 2, "2676 mm"}, {5, 2, "3243 LSB"},
        {7, 1, "47°C"}, {8, 2, "103 LSB"}, {10, 1, "H"}, {11, 1, ""}};
    for (const Gloss &gloss : glosses) {
        const QTextTableCell cell = table->cellAt(gloss.row, 3);
        QCOMPARE(cell.row(), gloss.row);
        QCOMPARE(cell.rowSpan(), gloss.rowSpan);
        QCOMPARE(cellText(table, gloss.row, 3), QString::fromUtf8(gloss.text));
    }

    // The glosses read the example bytes little-endian.
    const auto byteAt = [&](int i) { return example.at(i).toInt(nullptr, 16); };
    const auto leadingNumber = [&](int row) {
        return cellText(table, row, 3).section(QLatin1Char(' '), 0, 0).remove(QStringLiteral("°C")).toInt();
    };
    QCOMPARE(leadingNumber(3), byteAt(2) | byteAt(3) << 8);
    QCOMPARE(leadingNumber(5), byteAt(4) | byteAt(5) << 8);
    QCOMPARE(leadingNumber(7), byteAt(6));
    QCOMPARE(leadingNumber(8), byteAt(7) | byteAt(8) << 8);
}

void TestHelpDialog::okAndCancelOnlyHide()
{
    dialog_help dialog;
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("abouthelp"));
    QVERIFY(buttons);
    QVERIFY(label);
    const QString page = label->text();

    for (QDialogButtonBox::StandardButton which : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel}) {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        buttons->button(which)->click();
        QVERIFY(dialog.isHidden());
        QCOMPARE(label->text(), page);
    }

    dialog.show();
    QVERIFY(dialog.isVisible());
    dialog.close();
    QVERIFY(dialog.isHidden());
    dialog.show();
    QVERIFY(dialog.isVisible());
    QCOMPARE(label->text(), page);
}

void TestHelpDialog::showingTwiceKeepsOneWindow()
{
    QCOMPARE(visibleHelpDialogs(), 0);
    dialog_help dialog;
    dialog.show();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(visibleHelpDialogs(), 1);
}

// Run on screens both taller and smaller than the form (see CMakeLists.txt).
void TestHelpDialog::fitsTheScreen()
{
    dialog_help dialog;
    const QRect free = dialog.screen()->availableGeometry();
    const bool roomy = free.width() >= 630 && free.height() >= 1399 + 100;
    qInfo("screen's free area %dx%d", free.width(), free.height());

    auto *scroll = dialog.findChild<QScrollArea *>();
    if (!roomy && free.height() >= 1399)
        QSKIP("the form only just fits; whether it shrinks depends on the title bar");
    if (roomy) {
        QCOMPARE(dialog.size(), QSize(630, 1399));
        QVERIFY(!scroll);
        return;
    }

    QVERIFY(dialog.width() <= free.width());
    QVERIFY(dialog.height() <= free.height());
    QVERIFY(dialog.height() >= free.height() / 2);  // shrunk to fit, not collapsed
    QVERIFY(scroll);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.frameGeometry().height() <= free.height());

    // OK and Cancel are inside the window, and the whole page can be reached.
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QVERIFY(dialog.rect().contains(QRect(buttons->mapTo(&dialog, QPoint(0, 0)), buttons->size())));
    QCOMPARE(scroll->widget(), dialog.findChild<QLabel *>(QStringLiteral("abouthelp")));
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    if (free.width() >= 800)  // wide enough for the page beside its scroll bar
        QCOMPARE(scroll->horizontalScrollBar()->maximum(), 0);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    QCOMPARE(scroll->viewport()->height() + scroll->verticalScrollBar()->value(),
             scroll->widget()->height());
    buttons->button(QDialogButtonBox::Ok)->click();
    QVERIFY(dialog.isHidden());
}

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
