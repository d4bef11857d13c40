// Writing gathered lines and values to the widgets.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTimer>

namespace {
// A label set to the text it already shows would only be drawn again.
void setLabelText(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}
} // namespace

// What comes before the display is due is shown when it is due.
void MainWindow::scheduleDisplay()
{
    if (!displayTimer->isActive())
        displayTimer->start(int(qMax<qint64>(0, displayDueMs - displayClock.elapsed())));
}

void MainWindow::updateDisplay()
{
    displayTimer->stop();
    const qint64 now = displayClock.elapsed();
    const qint64 late = now - displayDueMs;
    // On the cadence while a stream is shown in time (also a little early);
    // otherwise a period from now.
    displayDueMs = (late >= -DisplayEarlyMs && late < DisplayIntervalMs ? displayDueMs : now) + DisplayIntervalMs;

    for (Log *log : {&textLog, &hexLog, &testLog}) {
        if (!log->pending.isEmpty()) {
            log->view->appendLines(log->pending);
            log->pending.clear();
        }
    }

    if (pendingReadouts) {
        const Measurement &m = *pendingReadouts;
        setLabelText(ui->label_DIST, QString::number(m.distance));
        setLabelText(ui->label_AMP, QString::number(m.amplitude));
        setLabelText(ui->label_STATUS, QString::number(m.driverCurrent));
        setLabelText(ui->label_INT, QString::number(m.ambient));
        setLabelText(ui->label_TEMP, QString::number(m.temperature));
        pendingReadouts.reset();
    }
    if (pendingTriggerReadouts) {
        setLabelText(ui->deviationValue, QString::number(trigger.lastDeviation()));
        setLabelText(ui->D_trigger, QString::number(trigger.triggerCount()));
        setLabelText(ui->totalValue, QString::number(trigger.totalCount()));
        pendingTriggerReadouts = false;
    }
    if (pendingRateElapsedMs) {
        // showMessage repaints the bar at once, a paint of its own.
        const QString rate = frameRateText(*pendingRateElapsedMs).value_or(QString());
        if (rate != ui->statusbar->currentMessage())
            ui->statusbar->showMessage(rate);
        pendingRateElapsedMs.reset();
    }
}
