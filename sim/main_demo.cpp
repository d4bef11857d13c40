// The program on its embedded default: a simulated module already running on
// a pseudo-terminal, its port listed first, so a newcomer can press
// "打开串口" and try every button without a module. Takes the simulated
// module's switches (see korvani-sim --help), so each line fault can be
// watched in the window.

#include "mainwindow.h"
#include "sim/simoptions.h"
#include "sim/simulatedmodule.h"
#include "startup.h"

#include <QApplication>
#include <QComboBox>
#include <QStatusBar>
#include <QDebug>

namespace {
const char *const description =
    "The Korvani window with a simulated laser distance module already running on a "
    "pseudo-terminal, listed first in the port list. The options set the simulated module "
    "as for korvani-sim.";

bool asksForHelp(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *help : {"-h", "--help", "-help", "--help-all", "-?"}) {
            if (qstrcmp(argv[i], help) == 0)
                return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    SimOptions options;
    QString error;
    // Help needs no display: it is given before the window's application
    // (which cannot start without one) exists, and ends the program.
    if (asksForHelp(argc, argv)) {
        QCoreApplication help(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("korvani-demo"));
        processSimOptions(help, QString::fromLatin1(description), options, &error);
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvani-demo"));
    installQtTranslations(app);
    if (!processSimOptions(app, QString::fromLatin1(description), options, &error)) {
        qCritical().noquote() << "korvani-demo:" << error;
        return 2;
    }

    SimulatedModule module;
    SimSession session(module, options);
    if (!session.start()) {
        if (session.badReplay()) {
            qCritical().noquote() << "korvani-demo:" << session.errorString();
            return 64;
        }
        qCritical().noquote() << "cannot start the simulated module:" << session.errorString();
        return 1;
    }

    MainWindow window;
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("serialBox"));
    // The link, when there is one: it names the module across replugs, so the
    // window finds it again by itself.
    ports->insertItem(0, options.link.isEmpty() ? session.portName() : options.link);
    ports->setCurrentIndex(0);
    // Without a link, after a replug the module is on a new device: the first entry follows it.
    if (options.link.isEmpty())
        QObject::connect(&session, &SimSession::portReady, ports,
                         [ports](const QString &path) { ports->setItemText(0, path); });
    QObject::connect(&session, &SimSession::replayFinished, &window, [&window](const QString &warning) {
        window.statusBar()->showMessage(warning.isEmpty() ? QObject::tr("回放结束：记录已播放完毕")
                                                          : QObject::tr("回放结束：%1").arg(warning));
    });
    QObject::connect(&session, &SimSession::failed, &app, [](const QString &reason) {
        qWarning().noquote() << "the simulated module did not come back:" << reason;
    });
    showMainWindow(window);
    return app.exec();
}
