#include "dialog_help.h"
#include "ui_dialog_help.h"

dialog_help::dialog_help(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::dialog_help)
{
    ui->setupUi(this);
}

dialog_help::~dialog_help()
{
    delete ui;
}
