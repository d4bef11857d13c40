#ifndef TRIGGERTEST_H
#define TRIGGERTEST_H

// Counts how many distances leave the band reference +/- threshold,
// the way a distance switch would fire.

#include <QString>
#include <QtGlobal>

class TriggerTest
{
public:
    // Counts one distance; true when it deviates from the reference by more than the threshold.
    bool evaluate(quint16 distance, quint16 reference, quint16 threshold);
    void reset();

    quint32 totalCount() const { return total; }
    quint32 triggerCount() const { return triggers; }
    quint16 lastDeviation() const { return deviation; }

    // An input field read as a decimal number 0 to 65535; 0 for any other text.
    static quint16 parseInput(const QString &text);

private:
    quint32 total = 0;
    quint32 triggers = 0;
    quint16 deviation = 0;
};

#endif // TRIGGERTEST_H
