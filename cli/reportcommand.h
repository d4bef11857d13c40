#ifndef REPORTCOMMAND_H
#define REPORTCOMMAND_H

// `report`: the line's figures from the results database (--db or
// KORVANI_DB), or with --serial one unit's history, as text, CSV, JSON or an
// HTML page, to `out` (standard output, or the --output file, which the
// caller puts in place only once the report is complete). 0 when written; 2
// when the database cannot be read. A failed write is `out`'s to report.

#include "options.h"

class Output;

int reportRuns(const ReportOptions &options, OutputFormat format, bool html, Output &out);

#endif // REPORTCOMMAND_H
