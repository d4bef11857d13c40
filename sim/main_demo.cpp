// The program on its embedded default: a simulated module already running on
// a pseudo-terminal, its port listed first, so a newcomer can press
// "打开串口" and try every button without a module.

#include "mainwindow.h"
#include "sim/simulatedmodule.h"
#include "startup.h"

#include <QApplication>
#include <QComboBox>
#include <QDebug>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    SimulatedModule module;
    if (!module.open()) {
        qCritical().noquote() << "cannot start the simulated module:" << module.errorString();
        return 1;
    }

    MainWindow window;
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("serialBox"));
    ports->insertItem(0, module.portName());
    ports->setCurrentIndex(0);
    showMainWindow(window);
    return app.exec();
}
