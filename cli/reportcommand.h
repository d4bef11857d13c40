#ifndef REPORTCOMMAND_H
#define REPORTCOMMAND_H

// `report`: the line's figures from the results database (--db or
// KORVANI_DB), or with --serial one unit's history, as text, CSV, JSON or an
// HTML page, to standard output or to --output (replaced only once the new
// file is complete). 0 when written; 2 when the database cannot be read or
// the file not written.

#include "options.h"

class QIODevice;

int reportRuns(const ReportOptions &options, const OutputOptions &output, QIODevice &out);

#endif // REPORTCOMMAND_H
