#ifndef RUNSTEPS_H
#define RUNSTEPS_H

// Steps shared by the command line's measurement runs (test, a run across
// the range, a study): reading the module's versions, and what a run's end
// means for its stored status.

#include "decode/answers.h"
#include "measurerun.h"
#include "results/runrecord.h"

#include <QString>
#include <optional>

class ModuleLine;

// The hardware and firmware versions of the module at `id`, as the module
// answered; `error` says which question went unanswered. `version` and every
// run that checks the module ask here.
struct Versions {
    std::optional<Answer> hardware, firmware;
    QString error;
    QString hardwareText() const;  // "A-0.1.2"
    QString firmwareText() const;
};

Versions readVersions(ModuleLine &line, std::optional<quint8> id);

RunStatus statusOf(MeasureRun::End end);

#endif // RUNSTEPS_H
