#ifndef WIDEUNSIGNED_H
#define WIDEUNSIGNED_H

// A 128-bit unsigned integer made of two 64-bit halves: just enough
// arithmetic (add, subtract, multiply by 64 bits, compare) to keep the exact
// sums of the statistics portable to compilers without a native 128-bit type.
// Results that do not fit wrap modulo 2^128 like any unsigned type; callers
// keep within range.

#include <QtGlobal>

struct WideUnsigned
{
    quint64 high = 0;
    quint64 low = 0;

    constexpr WideUnsigned() = default;
    constexpr WideUnsigned(quint64 value) : low(value) {}  // NOLINT: widening is the point
    constexpr WideUnsigned(quint64 h, quint64 l) : high(h), low(l) {}

    // The full 128-bit product of two 64-bit numbers.
    static WideUnsigned product(quint64 a, quint64 b)
    {
        const quint64 a0 = a & 0xffffffffu, a1 = a >> 32;
        const quint64 b0 = b & 0xffffffffu, b1 = b >> 32;
        const quint64 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
        const quint64 middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
        return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32),
                (middle << 32) | (p00 & 0xffffffffu)};
    }

    friend WideUnsigned operator+(WideUnsigned a, WideUnsigned b)
    {
        const quint64 low = a.low + b.low;
        return {a.high + b.high + (low < a.low ? 1 : 0), low};
    }
    friend WideUnsigned operator-(WideUnsigned a, WideUnsigned b)
    {
        return {a.high - b.high - (a.low < b.low ? 1 : 0), a.low - b.low};
    }
    // The low 128 bits of a x b.
    friend WideUnsigned operator*(WideUnsigned a, quint64 b)
    {
        WideUnsigned r = product(a.low, b);
        r.high += a.high * b;
        return r;
    }
    friend bool operator==(WideUnsigned a, WideUnsigned b) { return a.high == b.high && a.low == b.low; }
    friend bool operator!=(WideUnsigned a, WideUnsigned b) { return !(a == b); }
    friend bool operator<(WideUnsigned a, WideUnsigned b)
    {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
    friend bool operator<=(WideUnsigned a, WideUnsigned b) { return !(b < a); }

    double toDouble() const { return double(high) * 18446744073709551616.0 + double(low); }
};

#endif // WIDEUNSIGNED_H
