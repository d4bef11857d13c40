#include "wideint.h"

UInt128 UInt128::product(quint64 a, quint64 b)
{
    // Schoolbook multiplication in 32-bit digits; no partial sum overflows 64 bits.
    const quint64 aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
    const quint64 bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    const quint64 ll = aLow * bLow;
    const quint64 lh = aLow * bHigh;
    const quint64 hl = aHigh * bLow;
    const quint64 hh = aHigh * bHigh;
    const quint64 middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & 0xFFFFFFFFu)};
}

UInt128 operator*(const UInt128 &a, quint64 b)
{
    const UInt128 low = UInt128::product(a.low, b);
    const UInt128 high = UInt128::product(a.high, b);
    Q_ASSERT(high.high == 0 && high.low <= ~low.high);
    return {low.high + high.low, low.low};
}

UInt128 operator+(const UInt128 &a, const UInt128 &b)
{
    const quint64 low = a.low + b.low;
    Q_ASSERT(a.high <= ~b.high - (low < a.low ? 1 : 0));
    return {a.high + b.high + (low < a.low ? 1 : 0), low};
}

UInt128 operator-(const UInt128 &a, const UInt128 &b)
{
    Q_ASSERT(b <= a);
    return {a.high - b.high - (a.low < b.low ? 1 : 0), a.low - b.low};
}

long double UInt128::toLongDouble() const
{
    return static_cast<long double>(high) * 18446744073709551616.0L + static_cast<long double>(low);
}
