#ifndef SCHEMA_H
#define SCHEMA_H

// The results database's tables, created on first use and upgraded in place.
// The same tables on SQLite and PostgreSQL; only the column types differ.
// Times are UTC: `timestamptz` on PostgreSQL, ISO 8601 text with
// milliseconds and "Z" on SQLite ("2026-12-07T13:03:07.250Z"). Millimetre
// figures are `numeric` on PostgreSQL (the digits the summary prints,
// unbounded) and REAL on SQLite.
//
// runs - one row per module run (test, or measure --stats)
//   run_id           uuid / TEXT, key     a fresh UUID per run
//   started_at       time                 the command started
//   ended_at         time                 the run's figures were final
//   kind             text                 "test", "points" (test --points), "study" or "measure"
//   station          text                 --station, default the host name
//   operator         text, NULL           --operator
//   serial_number    text, NULL           --serial: the module's label
//   product          text, NULL           the limits file's "product"
//   limits_version   text, NULL           the limits file's "version"
//   limits_sha256    text, NULL           SHA-256 (hex) of the limits file's bytes
//   port             text                 the port (or the simulated module's)
//   baud             integer              bit/s
//   device_id        integer, NULL        the RS485 ID when addressed (--id)
//   hardware_version text, NULL           "A-0.1.2" as the module reported it
//   firmware_version text, NULL           "B-1.2.5"
//   tool_version     text                 korvani-cli's version
//   command          text                 the arguments as run, passwords as ***
//   reference_mm     numeric, NULL   mm, test only
//   tolerance_mm     numeric, NULL   mm, test only
//   marginal_mm      numeric, NULL   mm, the marginal band inside the tolerance
//   frames           bigint               measurement frames received
//   expected         bigint               frames the run asked for
//   failed_checks    bigint               bytes the framer discarded
//   rate_hz          numeric         measured frame rate, Hz
//   mean_mm, sigma_mm numeric, NULL  mm; sigma is the sample deviation (n-1)
//   min_mm, max_mm   integer, NULL        mm
//   median_mm        numeric, NULL   mm (x.5 for an even count)
//   accuracy_mm      numeric, NULL   mm, mean - reference (test only)
//   outside          bigint, NULL         frames outside reference +- tolerance (test only)
//   mean_amplitude   numeric, NULL   the module's amplitude units
//   status           text                 COMPLETE, ERROR (no module, port gone) or ABORTED (Ctrl+C)
//   result           text, NULL           PASS or FAIL; NULL unless a COMPLETE test
//   marginal         smallint             1: a PASS within marginal_mm of the tolerance
//   failed           text, NULL           the failed limits, as in the verdict line
//   exit_status      integer              korvani-cli's exit status
//   error_message    text, NULL           why an ERROR or ABORTED run ended
//   reconnects       integer              (since version 4) times the module was lost and found again
//   cg, cgk          numeric, NULL        a study's Cg and Cgk (NULL: s = 0, or no study)
//   linearity_slope  numeric, NULL        a points run's line of bias against reference: mm/mm,
//   linearity_intercept_mm, linearity_r2  its bias at 0 mm, and r2 (NULL: no line)
// measurements - the run's frames, with --db-records; key (run_id, seq)
//   run_id           uuid / TEXT          the run (deleted with it)
//   seq              integer              1, 2, ... in the order received
//   time             time                 when the frame was read
//   code             smallint             129 (0x81) or 130 (0x82)
//   distance_mm      integer              mm
//   amplitude, ambient integer            the module's units
//   temperature_c    integer              degrees C
//   driver_current   integer              the illumination driver's setting
// points - a points run's reference distances (since version 4); key (run_id, point_index)
//   run_id           uuid / TEXT          the run (deleted with it)
//   point_index      integer              1, 2, ... in the order measured
//   reference_mm     numeric              mm, the point's distance
//   frames           bigint               measurement frames taken there
//   mean_mm, bias_mm, sigma_mm  numeric, NULL  mm; bias = mean - reference
//   min_mm, max_mm   integer, NULL        mm
//   outside          bigint               frames outside reference +- tolerance
//   result           text, NULL           PASS or FAIL
// schema_version - one row: `version`, the schema's version number.
// Indexes: runs by serial number, start time, station and product (each
// with the start time); since version 2 also runs_report, every column the
// report reads, by kind, serial number and start time; since version 3
// runs_capability, the accuracies by kind, status, product and tolerance;
// since version 4 runs_reconnects, the few runs that found their port again.

#include <QSqlDatabase>
#include <QString>

enum class SqlDialect { Sqlite, Postgres };

SqlDialect dialectOf(const QSqlDatabase &db);

// The version this program creates and upgrades to.
constexpr int SchemaVersion = 4;

// Creates the tables or upgrades them to SchemaVersion, each under a lock so
// that stations starting together do it once. A database already at (or
// beyond) the version is only read, so a station user needs no right to
// create; nor when an upgrade that only adds indexes is refused to it (the
// database keeps its version). An upgrade that adds columns or tables
// refused to it fails, saying that the owner must upgrade the database
// (its runs go to the spool meanwhile). False with `error` set on failure.
bool ensureSchema(QSqlDatabase &db, QString *error);

// The version the database holds; 0 when it has no tables yet, -1 on error.
int schemaVersionOf(QSqlDatabase &db);

// The columns of the tables, in the order runValues(), measurementValues()
// and pointValues() give them.
const QStringList &runColumns();
// The run columns a database of `version` has (each version adds its own at
// the end): all of them from version 4 on, none of `reconnects` before.
QStringList runColumnsAt(int version);
const QStringList &measurementColumns();
const QStringList &pointColumns();

#endif // SCHEMA_H
