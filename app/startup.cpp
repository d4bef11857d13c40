#include "startup.h"

#include "mainwindow.h"

void showMainWindow(MainWindow &window)
{
    window.setWindowTitle(QStringLiteral("Korvani_V0.8.5"));
    window.setAutoFillBackground(true);
    window.show();
}
