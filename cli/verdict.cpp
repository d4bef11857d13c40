#include "verdict.h"

#include "results/limitsfile.h"

Verdict judge(const TestLimits &limits, const DistanceStatistics &d, quint64 amplitudeSum,
              quint64 outside)
{
    Verdict v;
    const quint64 n = d.count();
    if (n == 0) {
        v.failed << QStringLiteral("no distance measured");
    } else if (!d.meanWithin(limits.referenceMilli, limits.toleranceMilli)) {
        v.failed << QStringLiteral("accuracy %1 mm beyond tolerance %2 mm")
                        .arg(milliText(d.differenceMilli(limits.referenceMilli)),
                             milliText(limits.toleranceMilli));
    }
    if (outside > limits.maxOutside)
        v.failed << QStringLiteral("outside %1 > %2").arg(outside).arg(limits.maxOutside);
    if (limits.maxSigmaMilli && n > 0 && !d.sigmaAtMost(*limits.maxSigmaMilli))
        v.failed << QStringLiteral("sigma %1 mm > %2 mm")
                        .arg(milliText(d.sigmaMilli()), milliText(*limits.maxSigmaMilli));
    // mean amplitude >= limit, exactly: 1000 * sum >= limit * n. Exact in 64
    // bits for the statistics' bound of 2^36 frames: amplitudes are 16-bit, so
    // 2000 * sum < 2^63, and the limit is at most 65535000 < 2^26.
    if (limits.minAmplitudeMilli && n > 0 && amplitudeSum * 1000 < quint64(*limits.minAmplitudeMilli) * n) {
        const qint64 meanAmplitude = qint64((amplitudeSum * 2000 + n) / (2 * n));
        v.failed << QStringLiteral("mean amplitude %1 < %2")
                        .arg(milliText(meanAmplitude), milliText(*limits.minAmplitudeMilli));
    }
    if (n < limits.expectedFrames)
        v.failed << QStringLiteral("frames %1 < %2").arg(n).arg(limits.expectedFrames);
    v.pass = v.failed.isEmpty();
    return v;
}

QStringList versionFailures(const QString &hardware, const std::optional<QString> &hardwarePattern,
                            const QString &firmware, const std::optional<QString> &firmwarePattern)
{
    QStringList failed;
    if (hardwarePattern && !versionMatches(hardware, *hardwarePattern))
        failed << QStringLiteral("hardware %1 does not match %2").arg(hardware, *hardwarePattern);
    if (firmwarePattern && !versionMatches(firmware, *firmwarePattern))
        failed << QStringLiteral("firmware %1 does not match %2").arg(firmware, *firmwarePattern);
    return failed;
}

bool isMarginal(const TestLimits &limits, const DistanceStatistics &d, const Verdict &verdict, qint64 marginalMilli)
{
    if (!verdict.pass || d.isEmpty())
        return false;
    // On the accuracy as printed (thousandths), so the flag agrees with the summary.
    const qint64 accuracy = qAbs(d.differenceMilli(limits.referenceMilli));
    return accuracy >= limits.toleranceMilli - marginalMilli;
}
