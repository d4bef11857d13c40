#ifndef SVGPLOT_H
#define SVGPLOT_H

// The report's plots as SVG text (no GUI library): bar charts with one or
// more series, a Pareto chart (bars falling, with their cumulative share as
// a line on a percentage axis) and the accuracy histogram with its tolerance
// limits and the normal curve of the runs' mean and sigma; per product the
// bias against the reference distance (each unit's points joined, the
// tolerance band shaded) and the distribution of the studied modules' Cgk.
// Each returns one <svg> element for an HTML page; every text in it is
// escaped, its text as large as the page's tables', both axes titled.

#include "rangereport.h"
#include "reportquery.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

struct BarSeries {
    QString name;
    QString colour;  // "#3b78c2"
    // One per category; none: no figure (written "n/a" where its bar would
    // be, so it never looks like a bar of 0).
    QVector<std::optional<double>> values;
};

// Every bar carries its value above it; the legend (more than one series)
// sits between the title and the plot, so it never covers a bar.
struct BarChart {
    QString title;
    QString unit;  // of the values, shown on the axis ("%", "mm", "runs")
    QString axis;  // the categories' axis title ("station", "failed limit")
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
