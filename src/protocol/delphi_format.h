#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Number-to-text helpers that reproduce the instrument tool's display formats independently of the C locale:
// every function writes '.' internally and puts the caller's decimal separator in its place.
namespace tavrel::protocol::delphi {

// Fixed notation with `decimals` digits after the separator, halves rounded away from zero on the
// 15-significant-digit decimal form of the value; right-aligned with blanks to `width` (0: no padding).
// Covers Format's "%W.Pf" and "%.Nf".
std::string FormatFixed(double value, int decimals, char sep, int width = 0);

// Shortest general form with up to 15 significant digits: Format's "%g" and FloatToStr.
// Fixed notation while 1e-5 <= |value| < 1e15, otherwise mantissa, "E" and the exponent ("1E-6", "1E20").
std::string FormatGeneral(double value, char sep);

// FormatFloat with a one-section pattern of '0' and '#' placeholders and at most one '.':
// "#.######", "#.0######", "0.0000", "###0.##". No digit grouping.
std::string FormatFloat(std::string_view pattern, double value, char sep);

// Format's "%d" and "%.Nd" (at least N digits, zero-padded, the sign in front).
std::string FormatInt(std::int64_t value, int minDigits = 0);

// Value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(unsigned char c);

// Replace every occurrence of `from` by `to`.
std::string ReplaceChar(std::string text, char from, char to);

// Drop every character with a code of 32 or less at both ends (Delphi's Trim).
std::string_view Trim(std::string_view text);

// Truncate towards zero, saturating at the 64-bit limits; NaN gives 0.
std::int64_t TruncSat(double value);

}  // namespace tavrel::protocol::delphi
