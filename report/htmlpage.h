#ifndef HTMLPAGE_H
#define HTMLPAGE_H

// The report as one self-contained HTML page: no scripts, no fonts or files
// from elsewhere, plots inline as SVG. The tables show the figures of the
// JSON report (yields as percentages); each figure's cell carries its JSON
// key as `data-key`, so a reader (or a test) can tell the cells apart.

#include "rangereport.h"
#include "reportquery.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// Where the page's figures come from: the database (as displayName() shows
// it, no password), when the page was made, and, when the runs are grouped,
// the figures of all of them together (the tables' total row).
struct PageSource {
    QString database;
    QDateTime made;
    std::optional<GroupFigures> total;
};

// `stations`: the figures per station, for the repeatability plot; `range`:
// the linearity and studies per product, with each unit's points.
QByteArray htmlReport(const Report &report, const QVector<GroupFigures> &stations, const RangeReport &range = {},
                      const PageSource &source = {});
QByteArray htmlHistory(const QString &serial, const QVector<HistoryRun> &runs);

#endif // HTMLPAGE_H
