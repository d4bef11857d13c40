#include "moments.h"

#include <cmath>

namespace {

quint64 magnitude(qint64 v)
{
    return unsignedMagnitude(v);
}

// The integer m nearest to sqrt(num/den) (den > 0), decided in integers:
// (2m-1)^2 den <= 4 num < (2m+1)^2 den. The estimate in floating point is off
// by one at most, so the steps are bounded.
qint64 roundedSquareRoot(const WideUnsigned &num, const WideUnsigned &den)
{
    qint64 m = qint64(std::llround(std::sqrt(num.toDouble() / den.toDouble())));
    const WideUnsigned fourNum = num * 4;
    const auto below = [&](qint64 k) {
        const quint64 odd = quint64(2 * k - 1);
        return den * (odd * odd) <= fourNum;
    };
    for (int step = 0; step < 8 && m > 0 && !below(m); ++step)
        --m;
    for (int step = 0; step < 8 && below(m + 1); ++step)
        ++m;
    return m;
}

} // namespace

quint64 unsignedMagnitude(qint64 v)
{
    return v < 0 ? quint64(0) - quint64(v) : quint64(v);
}

qint64 roundedQuotient(qint64 num, qint64 den)
{
    const bool negative = num < 0;
    const qint64 q = qint64((2 * magnitude(num) + quint64(den)) / (2 * quint64(den)));
    return negative ? -q : q;
}

quint64 powerOfTen(int decimals)
{
    quint64 p = 1;
    for (int i = 0; i < decimals; ++i)
        p *= 10;
    return p;
}

Moments Moments::fromSums(quint64 count, qint64 total, WideUnsigned sumOfSquares)
{
    Moments m;
    m.n = count;
    m.sum = total;
    m.squares = sumOfSquares;
    return m;
}

void Moments::add(qint64 value, quint64 times)
{
    if (times == 0)
        return;
    if (n == 0)
        shift = value;
    n += times;
    const qint64 d = value - shift;
    sum += d * qint64(times);
    squares = squares + WideUnsigned::product(magnitude(d) * magnitude(d), times);
}

void Moments::drop(qint64 value)
{
    if (n == 0)
        return;
    --n;
    const qint64 d = value - shift;
    sum -= d;
    squares = squares - WideUnsigned(magnitude(d) * magnitude(d));
}

WideUnsigned Moments::varianceNumerator() const
{
    const WideUnsigned all = squares * n;
    const WideUnsigned square = WideUnsigned::product(magnitude(sum), magnitude(sum));
    return square <= all ? all - square : WideUnsigned();
}

qint64 Moments::meanScaled(int decimals) const
{
    if (n == 0)
        return 0;
    return roundedQuotient(qint64(powerOfTen(decimals)) * total(), qint64(n));
}

qint64 Moments::sigmaScaled(int decimals) const
{
    if (n < 2)
        return 0;
    // sigma x 10^d = sqrt(10^2d x numerator / (n (n - 1))).
    const quint64 scale = powerOfTen(decimals);
    return roundedSquareRoot(varianceNumerator() * (scale * scale), WideUnsigned::product(n, n - 1));
}

double Moments::mean() const
{
    return n == 0 ? 0.0 : double(shift) + double(sum) / double(n);
}

double Moments::sigma() const
{
    if (n < 2)
        return 0.0;
    return std::sqrt(varianceNumerator().toDouble() / (double(n) * double(n - 1)));
}
