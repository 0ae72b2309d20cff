#include "protocol/delphi_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace tavrel::protocol::delphi {
namespace {

// The value as 15 significant decimal digits and the position of the decimal point: value = 0.D * 10^point.
struct TDecimal {
    std::string digits;  // 15 digits, or empty for zero
    int point = 0;
    bool negative = false;
};

TDecimal ToDecimal(double value) {
    TDecimal d;
    d.negative = std::signbit(value) && value != 0.0;
    const double a = std::fabs(value);
    if (a == 0.0 || !std::isfinite(a)) {
        return d;
    }
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), a, std::chars_format::scientific, 14);
    const std::string_view text(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    // "d.dddddddddddddde+XX"
    d.digits.reserve(15);
    std::size_t i = 0;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] != '.') {
            d.digits.push_back(text[i]);
        }
    }
    int exponent = 0;
    std::from_chars(text.data() + i + (text[i + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    d.point = exponent + 1;
    return d;
}

// Integer and fraction digit strings of the value rounded (half up) to `decimals` places.
struct TFixed {
    std::string intDigits;   // without leading zeros; empty when the integer part is 0
    std::string fracDigits;  // exactly `decimals` digits
    bool negative = false;
    bool IsZero() const { return intDigits.empty() && fracDigits.find_first_not_of('0') == std::string::npos; }
};

TFixed ToFixed(double value, int decimals) {
    const TDecimal d = ToDecimal(value);
    TFixed f;
    f.negative = d.negative;
    const int count = static_cast<int>(d.digits.size());
    // Digit k of d.digits carries the exponent point-1-k; keep exponents point-1 .. -decimals.
    auto digitAt = [&](int k) { return k >= 0 && k < count ? d.digits[static_cast<std::size_t>(k)] : '0'; };
    const int intLen = std::max(d.point, 0);
    std::string all;
    all.reserve(static_cast<std::size_t>(intLen + decimals) + 1);
    for (int k = 0; k < intLen; ++k) {
        all.push_back(digitAt(k));
    }
    for (int j = 1; j <= decimals; ++j) {
        all.push_back(digitAt(d.point - 1 + j));
    }
    if (digitAt(d.point + decimals) >= '5') {
        int i = static_cast<int>(all.size()) - 1;
        for (; i >= 0; --i) {
            char& c = all[static_cast<std::size_t>(i)];
            if (c == '9') {
                c = '0';
            } else {
                ++c;
                break;
            }
        }
        if (i < 0) {
            all.insert(all.begin(), '1');
        }
    }
    const std::size_t split = all.size() - static_cast<std::size_t>(decimals);
    f.intDigits = all.substr(0, split);
    f.fracDigits = all.substr(split);
    const auto nz = f.intDigits.find_first_not_of('0');
    f.intDigits = nz == std::string::npos ? std::string() : f.intDigits.substr(nz);
    if (f.IsZero()) {
        f.negative = false;
    }
    return f;
}

std::string PadLeft(std::string text, int width) {
    if (width > 0 && static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

}  // namespace

std::string FormatFixed(double value, int decimals, char sep, int width) {
    if (std::isnan(value)) {
        return PadLeft("NAN", width);
    }
    if (std::isinf(value)) {
        return PadLeft(value < 0 ? "-INF" : "INF", width);
    }
    decimals = std::clamp(decimals, 0, 18);
    const TFixed f = ToFixed(value, decimals);
    std::string out;
    if (f.negative) {
        out.push_back('-');
    }
    out += f.intDigits.empty() ? std::string("0") : f.intDigits;
    if (decimals > 0) {
        out.push_back(sep);
        out += f.fracDigits;
    }
    return PadLeft(std::move(out), width);
}

std::string FormatGeneral(double value, char sep) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (value == 0.0) {
        return "0";
    }
    TDecimal d = ToDecimal(value);
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    std::string out = d.negative ? "-" : "";
    const double a = std::fabs(value);
    if (a >= 1e-5 && d.point <= 15) {
        if (d.point <= 0) {
            out += '0';
            out += sep;
            out.append(static_cast<std::size_t>(-d.point), '0');
            out += d.digits;
        } else if (static_cast<int>(d.digits.size()) <= d.point) {
            out += d.digits;
            out.append(static_cast<std::size_t>(d.point) - d.digits.size(), '0');
        } else {
            out += d.digits.substr(0, static_cast<std::size_t>(d.point));
            out += sep;
            out += d.digits.substr(static_cast<std::size_t>(d.point));
        }
        return out;
    }
    out += d.digits[0];
    if (d.digits.size() > 1) {
        out += sep;
        out += d.digits.substr(1);
    }
    out += 'E';
    out += std::to_string(d.point - 1);
    return out;
}

std::string FormatFloat(std::string_view pattern, double value, char sep) {
    const auto dot = pattern.find('.');
    const std::string_view intPart = pattern.substr(0, dot);
    const std::string_view fracPart = dot == std::string_view::npos ? std::string_view() : pattern.substr(dot + 1);
    int minInt = 0;
    for (char c : intPart) {
        minInt += c == '0' ? 1 : 0;
    }
    int minFrac = 0;
    int maxFrac = 0;
    for (char c : fracPart) {
        if (c == '0') {
            // Every digit up to the last '0' is required.
            minFrac = maxFrac + 1;
        }
        if (c == '0' || c == '#') {
            ++maxFrac;
        }
    }
    if (!std::isfinite(value)) {
        return FormatFixed(value, 0, sep);
    }
    const TFixed f = ToFixed(value, maxFrac);
    std::string frac = f.fracDigits;
    while (static_cast<int>(frac.size()) > minFrac && frac.back() == '0') {
        frac.pop_back();
    }
    std::string integer = f.intDigits;
    if (static_cast<int>(integer.size()) < minInt) {
        integer.insert(0, static_cast<std::size_t>(minInt) - integer.size(), '0');
    }
    std::string out;
    if (f.negative) {
        out.push_back('-');
    }
    out += integer;
    if (!frac.empty()) {
        out.push_back(sep);
        out += frac;
    }
    return out;
}

std::string FormatInt(std::int64_t value, int minDigits) {
    const bool negative = value < 0;
    // Magnitude in unsigned arithmetic so that the minimum value does not overflow.
    std::uint64_t magnitude = negative ? 0U - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < minDigits) {
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    }
    return negative ? "-" + digits : digits;
}

int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string ReplaceChar(std::string text, char from, char to) {
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
    return text;
}

std::string_view Trim(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) {
        --e;
    }
    return text.substr(b, e - b);
}

std::int64_t TruncSat(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

}  // namespace tavrel::protocol::delphi
