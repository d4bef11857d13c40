#ifndef MODULESETTINGS_H
#define MODULESETTINGS_H

// What the module holds and reports besides its measurements, with the
// values of a freshly calibrated unit.

#include <QByteArray>
#include <QtGlobal>

struct ModuleSettings {
    static constexpr int VersionSize = 4;
    static constexpr int ConfigurationSize = 18;
    static constexpr int CoefficientsSize = 50;
    static constexpr int DefaultRateHz = 50;

    quint16 threshold = 500;         // mm
    quint16 integrationTime = 100;   // microseconds
    quint16 range = 8000;            // mm
    QByteArray hardwareVersion = QByteArrayLiteral("A102");
    QByteArray firmwareVersion = QByteArrayLiteral("B215");
    QByteArray configuration = defaultConfiguration();
    QByteArray coefficients = defaultCoefficients();

    // u16 flags, s16 CURRENT_OFF, s16 DIST_OFF, u16 AMB_COF, 5 x s16 TEMP_COF.
    static QByteArray defaultConfiguration();
    // 10-byte zero-padded name, then ten little-endian floats.
    static QByteArray defaultCoefficients();
};

#endif // MODULESETTINGS_H
