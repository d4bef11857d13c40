#ifndef DIALOG_HELP_H
#define DIALOG_HELP_H

#include <QDialog>

namespace Ui {
class dialog_help;
}

// The help page: the module's command list and measurement-frame layout.
// Modeless; OK and Cancel only hide it. Opens at the form's size, or no
// larger than the screen's free area with the page in a scroll area
// ("helpScroll") when the screen is smaller than the form.
class dialog_help : public QDialog
{
    Q_OBJECT

public:
    explicit dialog_help(QWidget *parent = nullptr);
    ~dialog_help();

private:
    void fitToScreen();

    Ui::dialog_help *ui;
};

#endif // DIALOG_HELP_H
