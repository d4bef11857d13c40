#ifndef LIMITSFILE_H
#define LIMITSFILE_H

// A product's test limits, kept outside the program in a JSON file:
//   {
//     "product": "TOF-50", "version": "2026-11-rev3",
//     "reference_mm": 1500, "tolerance_mm": 5, "marginal_mm": 1,
//     "max_sigma_mm": 3, "min_amplitude": 500, "max_outside": 3,
//     "duration_s": 3, "rate": 100,
//     "hardware": "A-0\\.1\\..*", "firmware": "B-1\\.2\\.[5-9]"
//   }
// A run across the range gives its reference distances as "points":
// [500, 1000, 2000], or [{"reference_mm": 500, "tolerance_mm": 5}, ...] with a
// tolerance of the point's own (else the file's or the command line's).
// Every key is optional; "count" may stand for "duration_s". Millimetres take
// up to three decimals (held in thousandths, like the command line's limits).
// "hardware" and "firmware" are regular expressions that the whole version
// the module reports ("A-0.1.2") must match.
//
// A file that is missing, not JSON, not one object, or holds an unknown key
// or a value of the wrong type or range is refused with the file, the key,
// and the line and column (1-based, in characters) of the key, or of the
// syntax error.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

struct LimitPoint {
    qint64 referenceMilli = 0;
    std::optional<qint64> toleranceMilli;
};

struct LimitsFile {
    QString path;
    QString sha256;  // hex, of the file's bytes
    QString product, version;
    std::optional<qint64> referenceMilli, toleranceMilli, marginalMilli, maxSigmaMilli, minAmplitudeMilli;
    std::optional<quint64> maxOutside, count;
    std::optional<qint64> durationMs;
    std::optional<int> rateHz;
    std::optional<QString> hardwarePattern, firmwarePattern;
    std::optional<QVector<LimitPoint>> points;
};

struct LimitsError {
    QString path;
    QString key;  // empty for a file or syntax error
    int line = 0, column = 0;  // 0 when the file could not be read
    QString message;
    // "limits.json:3:5: \"tolerance_mm\": wants millimetres ..."
    QString text() const;
};

std::optional<LimitsFile> readLimitsFile(const QString &path, LimitsError *error);
// The same for bytes already read; `path` only names them in errors.
std::optional<LimitsFile> parseLimits(const QByteArray &bytes, const QString &path, LimitsError *error);

// True when `version` as a whole matches `pattern`.
bool versionMatches(const QString &version, const QString &pattern);

#endif // LIMITSFILE_H
