#ifndef STARTUP_H
#define STARTUP_H

// How the program starts its window: Qt's own texts in the window's
// language, the title, and a word for whoever runs it as root.

class MainWindow;
class QCoreApplication;

// Qt's own texts (file dialogs, standard buttons) in Chinese like the rest of
// the window, from Qt's translations when they are installed (Debian:
// qttranslations5-l10n); without them they stay in English.
void installQtTranslations(QCoreApplication &app);

// Titles and shows the main window the way the program starts it. Run as
// root, the status bar says once that a member of the dialout group opens
// serial ports too.
void showMainWindow(MainWindow &window);

#endif // STARTUP_H
