#ifndef FIGURETEXT_H
#define FIGURETEXT_H

// The digits figures worked out in floating point are printed and stored
// with, so the summary, the database and the report show the same ones:
// millimetres (and Cg, Cgk, Cp, Cpk) to 3 decimals, a slope in mm per mm to
// 6, r2 to 4; never "-0.000". Exact figures in thousandths use milliText().

#include <QString>

QString mmText(double mm);
QString slopeText(double slope);
QString r2Text(double r2);

#endif // FIGURETEXT_H
