#ifndef RANGEREPORT_H
#define RANGEREPORT_H

// The report's figures of runs across the module's range and of type-1
// studies, per product, over the report's selection (time, station,
// product); COMPLETE runs only.
//
// Linearity, per product and reference distance, over the points of the
// points runs: units (distinct serial numbers measured there), the mean and
// sample sigma of the points' bias, and the largest |bias|.
// Studies, per product, each module by its latest study (a study without a
// serial number is a module of its own): modules, how many of them are
// capable, and the quartiles of their Cg and Cgk (of those that have them).

#include "reportquery.h"

#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <array>
#include <optional>

struct LinearityFigures {
    QString product;  // empty: runs without a product
    qint64 referenceMilli = 0;
    qint64 units = 0;
    Spread bias;
    qint64 maxAbsBiasMilli = 0;
};

// First quartile, median and third quartile (linear between ranks); none for no values.
using Quartiles = std::array<std::optional<double>, 3>;
Quartiles quartiles(QVector<double> values);

struct StudyFigures {
    QString product;
    qint64 modules = 0, capable = 0;
    Quartiles cg, cgk;
    QVector<double> cgkValues;  // each module's latest Cgk, for the page's distribution
    std::optional<double> capableShare() const;
};

// One unit's point of a points run, for the page's plot of bias against distance.
struct UnitPoint {
    QString product, serial;
    qint64 referenceMilli = 0, biasMilli = 0;
    std::optional<double> toleranceMm;
};

struct RangeReport {
    QVector<LinearityFigures> linearity;
    QVector<StudyFigures> studies;
    QVector<UnitPoint> unitPoints;  // read for the page only
};

bool buildRangeReport(QSqlDatabase &db, const ReportFilter &filter, bool withUnitPoints, RangeReport &report,
                      QString *error);

#endif // RANGEREPORT_H
