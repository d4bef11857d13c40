#ifndef REPORTQUERY_H
#define REPORTQUERY_H

// The line's figures from the results database: per group of test runs
// (station, product, firmware, day or hour, or all together) the counts,
// yields, accuracy, repeatability, capability and failed limits; per product
// the capability and the accuracy's distribution; one unit's history.
//
// Aggregated in the database with the same SQL on SQLite and PostgreSQL
// (the group expression and time filters are the only differences), so
// both give the same figures for the same runs. Only test runs count
// (kind "test"); a measure run has no verdict.
//
// Definitions, per group:
//   runs              test runs in the group
//   units             distinct serial numbers (runs without one are not a unit)
//   pass, fail        COMPLETE runs with that result; marginal: marginal passes
//   error, aborted    runs with that status
//   reconnects        the times the group's runs found their lost port again
//   first-pass yield  units whose first COMPLETE run (by start time) passed / units
//   final yield       units whose latest COMPLETE run passed / units
//   retests           runs of a unit after its first run (runs with a serial - units)
//   accuracy          mean and sample sigma of accuracy_mm over COMPLETE runs
//   repeatability     mean of sigma_mm over COMPLETE runs
//   Cp, Cpk           2 tol / 6 sigma and (tol - |mean|) / 3 sigma over the
//                     accuracy, when the group's runs share one tolerance
//                     (per product in ProductCapability)
//   failed limits     the verdict's failed limits by name, most frequent first

#include "stats/moments.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <optional>

enum class GroupBy { None, Station, Product, Firmware, Day, Hour };

struct ReportFilter {
    std::optional<QDateTime> since;  // started_at >= since
    std::optional<QDateTime> until;  // started_at < until
    QString station;                 // empty: every station
    QString product;                 // empty: every product
    GroupBy by = GroupBy::None;
};

struct LimitCount {
    QString limit;
    qint64 count = 0;
};

// Mean and sample sigma of a set of millimetre values, from their sums in
// thousandths (the digits the database keeps), with Cp/Cpk against
// +-tolerance. Whole sums make both databases give the same figures to the
// last bit.
struct Spread {
    qint64 n = 0;
    qint64 sumMilli = 0;
    double sumSquaresMilli = 0;  // a whole number, exact below 2^53
    Moments moments() const;
    std::optional<double> mean() const;
    std::optional<double> sigma() const;
    std::optional<double> cp(double tolerance) const;
    std::optional<double> cpk(double tolerance) const;
};

struct GroupFigures {
    QString group;  // "all" without grouping; empty for runs without the value
    qint64 runs = 0, units = 0, pass = 0, fail = 0, marginal = 0, error = 0, aborted = 0, reconnects = 0;
    qint64 firstPassUnits = 0, finalPassUnits = 0, retests = 0;
    Spread accuracy;
    std::optional<double> repeatability;
    std::optional<double> tolerance;  // set when every run of the group has the same one
    QVector<LimitCount> failedLimits;

    std::optional<double> firstPassYield() const;
    std::optional<double> finalYield() const;
    std::optional<double> cp() const;
    std::optional<double> cpk() const;
};

struct HistogramBin {
    qint64 fromMilli = 0;  // accuracy in thousandths of a mm, bin [from, from + width)
    qint64 count = 0;
};

struct ProductCapability {
    QString product;  // empty: runs without a product
    double tolerance = 0;
    Spread accuracy;
    qint64 binWidthMilli = 1;
    QVector<HistogramBin> histogram;  // bins in order, empty ones included
};

struct Report {
    ReportFilter filter;
    QVector<GroupFigures> groups;
    QVector<ProductCapability> products;
};

struct HistoryRun {
    QString startedAt;  // "2026-12-07T13:03:07.250Z"
    QString station, product, deviceId, firmware, status, result, failed, runId, operatorName;
    bool marginal = false;
    std::optional<double> accuracy, sigma;
};

// The name of one failed limit as the verdict wrote it: the leading words
// before its figures ("accuracy 6.000 mm beyond ..." -> "accuracy",
// "mean amplitude 400.000 < 500.000" -> "mean amplitude").
QString limitName(const QString &failedLimit);
// The names in a `failed` column value (limits joined by "; ").
QStringList limitNames(const QString &failed);

QString groupByName(GroupBy by);  // "station", ...; empty for None
std::optional<GroupBy> groupByFromName(const QString &name);

// False with `error` set when a query fails.
bool buildReport(QSqlDatabase &db, const ReportFilter &filter, Report &report, QString *error);
bool unitHistory(QSqlDatabase &db, const QString &serial, QVector<HistoryRun> &runs, QString *error);

#endif // REPORTQUERY_H
