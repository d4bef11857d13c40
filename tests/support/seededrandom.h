#ifndef SEEDEDRANDOM_H
#define SEEDEDRANDOM_H

// A stream of pseudo-random numbers for tests that is the same for a seed on
// every platform, compiler and Qt version (a 64-bit linear congruential
// generator, its upper bits), so that a failing case can be replayed from
// its seed. Not for anything but test data. Header only, so that the
// sanitizer builds of the unit tests use it without the support library.

#include <QtGlobal>

class SeededRandom
{
public:
    explicit SeededRandom(quint64 seed) : state(seed) {}

    quint32 next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(state >> 33);
    }
    // 0 .. bound - 1 (bound > 0; the bias is below 2^-31 * bound).
    quint32 bounded(quint32 bound) { return next() % bound; }
    // low .. high, both included.
    int between(int low, int high) { return low + int(bounded(quint32(high - low + 1))); }

private:
    quint64 state;
};

#endif // SEEDEDRANDOM_H
