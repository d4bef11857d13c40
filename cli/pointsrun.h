#ifndef POINTSRUN_H
#define POINTSRUN_H

// test --points: one run across the module's range. The versions are read
// (and checked against the limits file's patterns), then for each point in
// turn the target is put there (TargetMove), frames during the settling
// time are dropped, and the point is measured like a test at that
// reference, against the run's limits (and the point's own tolerance from a
// limits file). Then the summary gives each point's figures and the
// least-squares line of bias against reference, and the verdict: PASS when
// every point passes, and |slope| <= --max-slope when given.
//
// A move that fails ends the run as ERROR (exit 2) after stop is sent to the
// module; a point whose module does not answer likewise. q at the prompt or
// a signal ends it as ABORTED (exit 1: a test cut short). Either way the
// points already measured are in the summary and the database.
// With --ids: a fixture, the target moved once per point and every module of
// the bus measured there together, each with its own summary and row.

#include "options.h"

class ModuleLine;
class Output;

int pointsTest(ModuleLine &line, const CliOptions &options, Output &out, Output &records);

#endif // POINTSRUN_H
