#include "dialogcloser.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

DialogCloser::DialogCloser(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

DialogCloser::~DialogCloser()
{
    qApp->removeEventFilter(this);
}

bool DialogCloser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show)
        return false;
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (!box)
        return false;
    texts.append(box->text());
    // Tied to the box: a box that is gone by then cancels the timer.
    QTimer::singleShot(keepOpenMs, box, [box] { box->done(QMessageBox::Ok); });
    return false;
}
