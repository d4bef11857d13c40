#ifndef STARTUP_H
#define STARTUP_H

class MainWindow;

// Titles and shows the main window the way the program starts it.
void showMainWindow(MainWindow &window);

#endif // STARTUP_H
