#ifndef RUNSTEPS_H
#define RUNSTEPS_H

// Steps shared by the command line's measurement runs (test, a run across
// the range, a study): reading the module's versions, and what a run's end
// means for its stored status.

#include "decode/answers.h"
#include "measurerun.h"
#include "options.h"
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

// What a shared line gives each of `modules` modules of a fixture, polled in
// turn: the rounds a second, the polls each gets (a duration), and the
// frames each is expected to bring.
struct BusPlan {
    int rateHz = 0;
    std::optional<quint64> rounds;
    quint64 expected = 0;
};
BusPlan busPlan(const RunOptions &run, qint32 baud, int modules);

#endif // RUNSTEPS_H
