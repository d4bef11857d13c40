// The decode table and every decoder behind it on arbitrary bytes: whatever
// the length byte says, nothing is read outside the byte array.

#include "decode/deviceinfo.h"
#include "decode/measurement.h"
#include "decode/answers.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly `size` bytes, so that any read past them is caught.
    const QByteArray frame(reinterpret_cast<const char *>(data), int(size));
    DeviceInfo::hardwareVersion(frame);
    DeviceInfo::firmwareVersion(frame);
    DeviceInfo::range(frame);
    DeviceInfo::integrationTime(frame);
    DeviceInfo::configuration(frame);
    DeviceInfo::coefficients(frame);
    DeviceInfo::threshold(frame);
    if (const auto m = decodeMeasurement(frame))
        measurementLine(*m, QStringLiteral("12:00:00.000,"));
    if (const auto m = decodeExtendedMeasurement(frame))
        measurementLine(*m);
    if (size >= 2) {
        const Answer answer = decodeAnswer(frame);
        if (answer.measurement)
            measurementLine(*answer.measurement);
    }
    return 0;
}
