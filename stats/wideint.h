#ifndef WIDEINT_H
#define WIDEINT_H

// An exact unsigned 128-bit integer in two 64-bit halves, for the statistics'
// products that outgrow 64 bits (n times a sum of squares, and so on). Only
// what those need: the full product of two 64-bit numbers, a 128-bit number
// times a 64-bit one, addition, subtraction, comparison and an approximate
// long double.
// Standard C++ only; the caller keeps every result below 2^128 (a product
// that would not fit is a programming error and is caught by Q_ASSERT).

#include <QtGlobal>

struct UInt128
{
    quint64 high = 0;
    quint64 low = 0;

    constexpr UInt128() = default;
    constexpr UInt128(quint64 value) : low(value) {}  // NOLINT: a widening, as for built-in integers
    constexpr UInt128(quint64 h, quint64 l) : high(h), low(l) {}

    // a * b, exactly.
    static UInt128 product(quint64 a, quint64 b);

    long double toLongDouble() const;

    friend UInt128 operator*(const UInt128 &a, quint64 b);
    friend UInt128 operator+(const UInt128 &a, const UInt128 &b);
    // a - b for a >= b.
    friend UInt128 operator-(const UInt128 &a, const UInt128 &b);
    friend bool operator==(const UInt128 &a, const UInt128 &b) { return a.high == b.high && a.low == b.low; }
    friend bool operator<(const UInt128 &a, const UInt128 &b)
    {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
    friend bool operator<=(const UInt128 &a, const UInt128 &b) { return !(b < a); }
};

#endif // WIDEINT_H
