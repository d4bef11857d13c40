#include "dialog_help.h"
#include "ui_dialog_help.h"

#include <QScreen>
#include <QScrollArea>
#include <QStyle>

dialog_help::dialog_help(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::dialog_help)
{
    ui->setupUi(this);
    fitToScreen();
}

dialog_help::~dialog_help()
{
    delete ui;
}

// The form's 630 x 1399 is taller than a 1080-line screen, which would put
// OK and Cancel out of reach. Where the screen's free area is smaller, the
// dialog opens no larger than that area (less a title bar) and the page
// scrolls inside it; elsewhere the form stays exactly as designed.
void dialog_help::fitToScreen()
{
    const QScreen *where = screen();
    if (!where)
        return;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const QSize room = where->availableGeometry().size() - QSize(0, titleBar);
    if (size().width() <= room.width() && size().height() <= room.height())
        return;

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("helpScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    delete ui->verticalLayout->replaceWidget(ui->abouthelp, scroll);
    scroll->setWidget(ui->abouthelp);
    // As wide as the page and the vertical scroll bar, so that the page needs
    // no horizontal one where the screen allows.
    const QMargins margins = ui->verticalLayout->contentsMargins();
    const int pageWidth = ui->abouthelp->sizeHint().width() + margins.left() + margins.right()
        + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    resize(QSize(qMax(width(), pageWidth), height()).boundedTo(room));
}
