#ifndef SENSORREADING_H
#define SENSORREADING_H

#include <QtGlobal>

// One measurement as the module reports it in a 0x81 frame.
struct SensorReading {
    quint16 distance = 0;   // mm
    quint16 amplitude = 0;  // LSB
    quint8 temperature = 0; // degrees C
    quint16 ambient = 0;    // LSB
    quint8 dac = 0;         // illumination driver current
};

#endif // SENSORREADING_H
