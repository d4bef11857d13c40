#ifndef RUNSTEPS_H
#define RUNSTEPS_H

// Steps shared by the command line's measurement runs (test, a run across
// the range, a study): reading the module's versions, and what a run's end
// means for its stored status.

#include "measurerun.h"
#include "results/runrecord.h"

#include <QString>
#include <optional>

class ModuleLine;

// The hardware and firmware versions, as "A-0.1.2"; the reason when the
// module did not answer, else empty.
QString readVersions(ModuleLine &line, std::optional<quint8> id, QString &hardware, QString &firmware);

RunStatus statusOf(MeasureRun::End end);

#endif // RUNSTEPS_H
