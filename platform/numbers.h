#ifndef NUMBERS_H
#define NUMBERS_H

// Numbers as people type them, read one way everywhere: the command line's
// options and the limits file go through these. Plain decimal digits only
// (no sign, no exponent, no blanks, no hexadecimal), so "1e3", " 5" and "0x10"
// are refused rather than read as something else.

#include <QString>
#include <optional>

// A whole number within [low, high].
std::optional<quint64> parseWhole(const QString &text, quint64 low, quint64 high);

// "12", "12.5", "0.125": thousandths (at most three decimals) within
// [low, high] thousandths.
std::optional<qint64> parseThousandths(const QString &text, qint64 low, qint64 high);

// A JSON number's digits as they were written, for the two parsers above:
// 15 significant digits give back any decimal a person writes (1.5 stays
// "1.5", not "1.4999999999999999").
QString numberText(double value);

#endif // NUMBERS_H
