#include "dialogcloser.h"

#include <QApplication>
#include <QMessageBox>

DialogCloser::DialogCloser(QObject *parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &DialogCloser::poll);
    clock.start();
    timer.start(5);
}

void DialogCloser::poll()
{
    QList<QMessageBox *> open;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            open.append(box);
    }
    maxOpenAtOnce = qMax(maxOpenAtOnce, open.size());
    for (QMessageBox *box : open) {
        if (!firstSeen.contains(box)) {
            firstSeen.insert(box, clock.elapsed());
            titles.append(box->windowTitle());
            texts.append(box->text());
        }
        if (clock.elapsed() - firstSeen.value(box) >= keepOpenMs) {
            firstSeen.remove(box);
            box->done(QMessageBox::Ok);
        }
    }
}
