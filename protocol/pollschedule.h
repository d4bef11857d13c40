#ifndef POLLSCHEDULE_H
#define POLLSCHEDULE_H

// The timing of a measurement run, as pure rules:
//   - when each poll of a polled run (addressed single measurements on a bus)
//     falls due: poll k is due k/rate seconds after the run's start, exactly
//     (nanoseconds, rounded down), so a late poll never pushes the later ones
//     back and the polling does not drift;
//   - how many measurement frames a run of a given length can bring: one per
//     period of the rate, unless the line is too slow to carry them.
//
// A byte on the line takes 10 bit times (start, 8 data bits, stop). A streamed
// frame takes its own bytes; a polled one takes the poll's bytes too, since
// only one command is in flight at a time. Durations are 64-bit milliseconds
// (up to a year is accepted on the command line; nothing here overflows below
// about 290 years).

#include <QtGlobal>

class PollSchedule
{
public:
    // `rateHz` above 0.
    explicit PollSchedule(int rateHz);

    int rateHz() const { return rate; }

    // Nanoseconds from the run's start to poll k (poll 0 is due at once).
    qint64 dueNs(quint64 k) const;
    // Whole milliseconds to wait, from `elapsedNs` after the start, until poll
    // k is due: rounded up, so a poll is never sent early; 0 when it is due.
    qint64 waitMs(quint64 k, qint64 elapsedNs) const;

private:
    int rate;
};

// Measurement frames of `frameBytes` bytes a run of `durationMs` can bring at
// `rateHz` over a line of `baud`, when each frame also needs a poll of
// `pollBytes` bytes (0 for a streamed run): rate x duration, or what the line
// carries in the duration when it is the smaller, rounded down.
quint64 deliverableFrames(qint64 durationMs, int rateHz, qint32 baud, int frameBytes, int pollBytes);

#endif // POLLSCHEDULE_H
