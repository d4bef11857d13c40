#ifndef REPORTFORMAT_H
#define REPORTFORMAT_H

// The report written out: text (a table per section), CSV (one row per
// group), JSON and the HTML page. Every figure goes through one formatter,
// so each format shows the same digits: millimetres and Cp/Cpk with three
// decimals, yields as fractions with four (the page and the text show them
// as percentages with two), counts whole. A figure that cannot be computed
// (no unit, fewer than two runs, mixed tolerances) is null in JSON, empty in
// CSV and "-" in text and HTML.

#include "htmlpage.h"
#include "rangereport.h"
#include "reportquery.h"
#include "platform/fields.h"
#include "stats/figuretext.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

enum class ReportFormat { Text, Csv, Json, Html };


QString yieldText(double fraction);
QString percentText(const QString &fraction);  // "0.8333" -> "83.33 %"
QString shown(const Field &f);  // the text and HTML form of a value

// The group's figures in JSON key order (failed_limits apart).
QVector<Field> groupFields(const GroupFigures &g);
QVector<Field> capabilityFields(const ProductCapability &p);
QVector<Field> historyFields(const HistoryRun &r);
QVector<Field> linearityFields(const LinearityFigures &l);
QVector<Field> studyFields(const StudyFigures &s);

// `stations`: the figures per station, for the page's repeatability plot;
// `range`: the linearity and studies per product (text, JSON and the page).
QByteArray renderReport(const Report &report, ReportFormat format, const QVector<GroupFigures> &stations = {},
                        const RangeReport &range = {}, const PageSource &source = {});
QByteArray renderHistory(const QString &serial, const QVector<HistoryRun> &runs, ReportFormat format);

#endif // REPORTFORMAT_H
