#ifndef RANGESUMMARY_H
#define RANGESUMMARY_H

// The summaries of a run across the range (test --points) and of a type-1
// study, in the three output formats.
//
// Points: text, a table with a row per point (reference, frames, mean, bias
// = mean - reference, sigma, min, max, outside, result), then the linearity
// line and the verdict; csv, the same rows behind "# " with a header row,
// then "# linearity: ..." and "# verdict: ..."; json, one object
// {"summary":{"points":[{...}],"linearity":{...},"result":...,"failed":[...]}}.
// Study: "name: value" lines (text), "# name: value" (csv) or one
// {"summary":{...}} object (json) with mean_mm, bias_mm, sigma_mm, cg, cgk and
// result (CAPABLE, NOT CAPABLE, or ERROR), and a note when the module's
// resolution cannot resolve the tolerance.
// Figures that cannot be worked out are "-" in text and csv, null in JSON.

#include "options.h"
#include "results/runrecord.h"
#include "stats/linearity.h"
#include "stats/typeonestudy.h"

#include <QByteArray>
#include <QStringList>

struct PointsSummary {
    // A fixture's module (test --ids --points): every line prefixed "id N: "
    // (csv "# id N: "), "id" the first member in JSON.
    std::optional<quint8> deviceId;
    QVector<PointRow> points;
    Linearity line;
    bool pass = false;
    QStringList failed;  // every failed point and limit
    QString error;       // the run ended in an error (the verdict is "ERROR: " and this)
};

struct StudySummary {
    quint64 frames = 0;
    qint64 referenceMilli = 0, toleranceMilli = 0;
    const DistanceStatistics *distances = nullptr;
    TypeOneStudy study;
    QStringList failed;  // why it is not capable
    QString error;
};

QByteArray renderPointsSummary(const PointsSummary &summary, OutputFormat format);
QByteArray renderStudySummary(const StudySummary &summary, OutputFormat format);

#endif // RANGESUMMARY_H
