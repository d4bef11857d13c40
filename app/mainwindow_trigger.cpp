// The trigger-test tab.

#include "mainwindow.h"
#include "ui_mainwindow.h"

bool MainWindow::evaluateTrigger(quint16 distance)
{
    // Read anew per frame: an edit takes effect with the next frame.
    const quint16 reference = TriggerTest::parseInput(ui->setValue->text());
    const quint16 threshold = TriggerTest::parseInput(ui->thresholdValue->text());
    const bool fired = trigger.evaluate(distance, reference, threshold);
    pendingTriggerReadouts = true;
    scheduleDisplay();
    return fired;
}

void MainWindow::on_tempReset_clicked()
{
    // The readouts keep their text until the next evaluated frame.
    trigger.reset();
}
