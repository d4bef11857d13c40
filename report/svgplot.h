#ifndef SVGPLOT_H
#define SVGPLOT_H

// The report's plots as SVG text (no GUI library): bar charts with one or
// more series, a Pareto chart (bars falling, with their cumulative share as
// a line on a percentage axis) and the accuracy histogram with its tolerance
// limits and the normal curve of the runs' mean and sigma; per product the
// bias against the reference distance (each unit's points joined, the
// tolerance band shaded) and the distribution of the studied modules' Cgk.
// Each returns one <svg> element for an HTML page; every text in it is escaped.

#include "rangereport.h"
#include "reportquery.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

struct BarSeries {
    QString name;
    QString colour;  // "#3b78c2"
    QVector<double> values;  // one per category
};

struct BarChart {
    QString title;
    QString unit;  // of the values, shown on the axis ("%", "mm", "runs")
    QStringList categories;
    QVector<BarSeries> series;
    bool pareto = false;  // the first series' cumulative share as a line
    std::optional<double> top;  // the axis reaches at least this (100 for percentages)
};

QString barChartSvg(const BarChart &chart);
QString histogramSvg(const ProductCapability &product);
// One plot per product of `points` (in product and unit order).
QStringList biasPlotsSvg(const QVector<UnitPoint> &points);
QString cgkDistributionSvg(const StudyFigures &study);

#endif // SVGPLOT_H
