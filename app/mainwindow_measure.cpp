// Measurements to readouts, text log, trigger test and chart.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chart/chartform.h"
#include "decode/measurement.h"

void MainWindow::showMeasurement(const Measurement &m)
{
    const bool textLogged = ui->LOGcheckBox->isChecked();
    const bool fired = ui->logOption->isChecked() && evaluateTrigger(m.distance);
    if (textLogged || fired) {
        // Both stamps are the time of the read that brought the frame.
        const QTime now = clock.timeOfDay(link.readTimeMs());
        const QString stamp = ui->timeLogcheckBox->isChecked() ? measurementTimeStamp(now) : QString();
        const QString line = measurementLine(m, stamp);
        if (textLogged)
            appendLine(textLog, line);
        if (fired)
            appendLine(testLog, triggerTimeStamp(now) + line);
    }

    pendingReadouts = m;
    scheduleDisplay();

    // Only the 0x81 frame counts towards the frame rate.
    updateFrameRate(!m.extended);
    feedChart(m);
}

void MainWindow::feedChart(const Measurement &m)
{
    if (ui->chartcheckBox->isChecked())
        chartWindow->appendMeasurement(m.distance, m.amplitude);
}

void MainWindow::updateFrameRate(bool update)
{
    if (!update)
        return;
    // Whole milliseconds between the reads, on the link's steady clock.
    const qint64 readUs = link.readTimeUs();
    const qint64 elapsed = previousRateReadUs >= 0 ? (readUs - previousRateReadUs) / 1000 : -1;
    if (elapsed > 0) {
        pendingRateElapsedMs = elapsed;  // formatted when shown
        scheduleDisplay();
    }
    previousRateReadUs = readUs;
}
