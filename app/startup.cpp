#include "startup.h"

#include "mainwindow.h"
#include "platform/qtcompat.h"
#include "platform/version.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <QTranslator>

#include <unistd.h>

void installQtTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    // qt_zh_CN gathers Qt's modules; older installations have qtbase_zh_CN alone.
    for (const char *name : {"qt_zh_CN", "qtbase_zh_CN"}) {
        if (translator->load(QString::fromLatin1(name), qtTranslationsPath())) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}

void showMainWindow(MainWindow &window)
{
    window.setWindowTitle(QStringLiteral("Korvani_V" KORVANI_VERSION));
    window.setAutoFillBackground(true);
    if (::geteuid() == 0)
        window.statusBar()->showMessage(
            QObject::tr("正在以 root 身份运行。也可以把用户加入 dialout 组（sudo usermod -aG dialout 用户名，"
                        "重新登录后生效），以普通用户打开串口。"));
    window.show();
}
