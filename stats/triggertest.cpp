#include "triggertest.h"

bool TriggerTest::evaluate(quint16 distance, quint16 reference, quint16 threshold)
{
    deviation = distance >= reference ? quint16(distance - reference)
                                      : quint16(reference - distance);
    ++total; // quint32: wraps at 2^32
    const bool triggered = deviation > threshold;
    if (triggered)
        ++triggers;
    return triggered;
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
    return ok ? quint16(value) : quint16(0);
}
