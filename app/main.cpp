#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
    window.setWindowTitle(QStringLiteral("Korvani_V0.8.5"));
    window.setAutoFillBackground(true);
    window.show();
    return app.exec();
}
