#ifndef DIALOG_HELP_H
#define DIALOG_HELP_H

#include <QDialog>

namespace Ui {
class dialog_help;
}

// The help page: the module's command list and measurement-frame layout.
// Modeless; OK and Cancel only hide it.
class dialog_help : public QDialog
{
    Q_OBJECT

public:
    explicit dialog_help(QWidget *parent = nullptr);
    ~dialog_help();

private:
    Ui::dialog_help *ui;
};

#endif // DIALOG_HELP_H
