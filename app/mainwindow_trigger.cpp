// The trigger-test tab.

#include "mainwindow.h"
#include "ui_mainwindow.h"

// An edit takes effect with the next frame.
void MainWindow::initTriggerInputs()
{
    const auto follow = [](QLineEdit *box, quint16 &value) {
        value = TriggerTest::parseInput(box->text());
        connect(box, &QLineEdit::textChanged, box, [&value](const QString &text) {
            value = TriggerTest::parseInput(text);
        });
    };
    follow(ui->setValue, triggerReference);
    follow(ui->thresholdValue, triggerBand);
}

bool MainWindow::evaluateTrigger(quint16 distance)
{
    const bool fired = trigger.evaluate(distance, triggerReference, triggerBand);
    pendingTriggerReadouts = true;
    scheduleDisplay();
    return fired;
}

void MainWindow::on_tempReset_clicked()
{
    // The readouts keep their text until the next evaluated frame.
    trigger.reset();
}
