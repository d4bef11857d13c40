#ifndef SUMMARY_H
#define SUMMARY_H

// The summary of a measurement run and its rendering in the three output
// formats: readable lines (text), "# name: value" lines (csv), or one JSON
// object {"summary": {...}} on one line (json). Figures that need a distance
// are "-" in text and csv and null in JSON when no frame arrived.

#include "options.h"
#include "verdict.h"

#include <QByteArray>
#include <optional>

struct RunSummary {
    // A fixture's module (test --ids): every line prefixed "id N: " (text,
    // "# id N: " in csv), "id" the first member in JSON; the rate each
    // module gets on the shared line as poll_rate_hz.
    std::optional<quint8> deviceId;
    std::optional<int> pollRateHz;
    // Set when the module's run ended in an error: the verdict is
    // "ERROR: " and this (JSON: "verdict":"ERROR","error":...).
    QString error;
    // False when the module was never measured (it did not answer its
    // versions): its frames, rate and counts are then "-" like the distances.
    bool measured = true;
    // A pass within the marginal band: "PASS (marginal)", JSON "marginal":true.
    bool marginal = false;
    quint64 frames = 0;
    quint64 expected = 0;
    quint64 failedChecks = 0;
    double rateHz = 0;
    const DistanceStatistics *distances = nullptr;
    // test only
    std::optional<TestLimits> limits;
    quint64 outside = 0;
    Verdict verdict;
};

// The lines, each ending in a newline; for text the verdict line last.
QByteArray renderSummary(const RunSummary &summary, OutputFormat format);

#endif // SUMMARY_H
