// Writing gathered lines and values to the widgets.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTimer>

void MainWindow::scheduleDisplay()
{
    if (!displayTimer->isActive())
        displayTimer->start();
}

void MainWindow::updateDisplay()
{
    displayTimer->stop();
    sinceDisplay.start();

    for (Log *log : {&textLog, &hexLog, &testLog}) {
        if (!log->pending.isEmpty()) {
            log->view->appendLines(log->pending);
            log->pending.clear();
        }
    }

    if (pendingReadouts) {
        const Measurement &m = *pendingReadouts;
        ui->label_DIST->setText(QString::number(m.distance));
        ui->label_AMP->setText(QString::number(m.amplitude));
        ui->label_STATUS->setText(QString::number(m.driverCurrent));
        ui->label_INT->setText(QString::number(m.ambient));
        ui->label_TEMP->setText(QString::number(m.temperature));
        pendingReadouts.reset();
    }
    if (pendingTriggerReadouts) {
        ui->deviationValue->setText(QString::number(trigger.lastDeviation()));
        ui->D_trigger->setText(QString::number(trigger.triggerCount()));
        ui->totalValue->setText(QString::number(trigger.totalCount()));
        pendingTriggerReadouts = false;
    }
    if (pendingRateElapsedMs) {
        ui->statusbar->showMessage(frameRateText(*pendingRateElapsedMs).value_or(QString()));
        pendingRateElapsedMs.reset();
    }
}
