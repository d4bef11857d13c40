#include "startup.h"

#include "mainwindow.h"
#include "platform/version.h"

void showMainWindow(MainWindow &window)
{
    window.setWindowTitle(QStringLiteral("Korvani_V" KORVANI_VERSION));
    window.setAutoFillBackground(true);
    window.show();
}
