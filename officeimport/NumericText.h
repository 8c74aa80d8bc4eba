#pragma once
// Numbers written as text, as the import's options and column ids arrive.
#include <QString>
#include <cstdint>
#include <optional>

namespace tx {

// The number a text stands for: decimal (sign, fraction, exponent allowed) or
// "&H"/"&O" hexadecimal/octal, surrounded by white space or not; nullopt for
// anything else, the empty text included.
std::optional<double> numericValue(const QString &text);

inline bool isNumericText(const QString &text) { return numericValue(text).has_value(); }

// The text as a 32-bit integer, halves rounded to even. Error 13 when it is no
// number, error 6 when it does not fit.
int32_t toInt32(const QString &text);

} // namespace tx
