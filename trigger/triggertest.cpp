#include "triggertest.h"

bool TriggerTest::evaluate(quint16 distance, quint16 reference, quint16 threshold)
{
    deviation = distance > reference ? quint16(distance - reference) : quint16(reference - distance);
    ++total;
    const bool fired = deviation > threshold;
    if (fired)
        ++triggers;
    return fired;
}

void TriggerTest::reset()
{
    total = 0;
    triggers = 0;
}

quint16 TriggerTest::parseInput(const QString &text)
{
    bool ok = false;
    const ushort value = text.toUShort(&ok, 10);
    return ok ? value : 0;
}
