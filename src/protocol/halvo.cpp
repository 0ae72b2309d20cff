#include "protocol/halvo.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cmath>

#include "protocol/delphi_format.h"

namespace tavrel::protocol {
namespace {

// Optional sign, digits with at most one separator (at least one digit), optional exponent.
bool IsDecimalNumber(std::string_view s, char sep) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    int digits = 0;
    bool seenSep = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == sep && !seenSep) {
            seenSep = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        const std::size_t expStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
        }
        if (i == expStart) {
            return false;
        }
    }
    return i == s.size();
}

}  // namespace

void THalvo::DetectDecimal(char& Key) {
    const std::lconv* conv = std::localeconv();
    Key = conv != nullptr && conv->decimal_point != nullptr && conv->decimal_point[0] != '\0' ? conv->decimal_point[0]
                                                                                              : '.';
}

char THalvo::DecimalSeparator() {
    char key = '.';
    DetectDecimal(key);
    return key;
}

double THalvo::StrToFloatSafeDef(std::string_view S, double Default) {
    return StrToFloatSafeDef(S, Default, DecimalSeparator());
}

double THalvo::StrToFloatSafeDef(std::string_view S, double Default, char sep) {
    const std::string_view trimmed = delphi::Trim(S);
    if (trimmed.empty() || trimmed.size() > 400) {
        return Default;
    }
    std::array<char, 404> buf{};
    std::size_t n = 0;
    for (char c : trimmed) {
        buf[n++] = (c == '.' || c == ',') ? sep : c;
    }
    const std::string_view text(buf.data(), n);
    if (!IsDecimalNumber(text, sep)) {
        return Default;
    }
    // from_chars knows only '.', so the separator is put back after the check above.
    for (std::size_t i = 0; i < n; ++i) {
        if (buf[i] == sep) {
            buf[i] = '.';
        }
    }
    const char* begin = buf.data() + (buf[0] == '+' ? 1 : 0);
    double value = 0.0;
    const auto res = std::from_chars(begin, buf.data() + n, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != buf.data() + n || !std::isfinite(value)) {
        return Default;
    }
    return value;
}

std::string THalvo::ConvertBytesToMeasure(std::uint64_t Bytes, bool RUS) {
    return ConvertBytesToMeasure(Bytes, RUS, DecimalSeparator());
}

std::string THalvo::ConvertBytesToMeasure(std::uint64_t Bytes, bool RUS, char sep) {
    static constexpr std::array<const char*, 9> kEng = {"Bytes", "KB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    static constexpr std::array<const char*, 9> kRus = {"Байт",  "КБайт", "МБайт", "ГБайт", "ТБайт",
                                                        "ПБайт", "ЭБайт", "ЗБайт", "ЙБайт"};
    int i = 0;
    // 1024^7 exceeds 64 bits, so index 6 is the last one a 64-bit count can reach.
    while (i < 6 && Bytes > (std::uint64_t{1} << (10 * (i + 1)))) {
        ++i;
    }
    const double v = static_cast<double>(Bytes) / std::ldexp(1.0, 10 * i);
    return delphi::FormatFloat("###0.##", v, sep) + " " + (RUS ? kRus : kEng)[static_cast<std::size_t>(i)];
}

std::uint32_t THalvoGraphics::HexToColor(std::string_view hexColor) {
    std::string s;
    for (char c : hexColor) {
        if (c != '#' && c != '$') {
            s.push_back(c);
        }
    }
    std::uint32_t color = 0;
    for (std::size_t pair = 0; pair < 3; ++pair) {
        const std::string part = s.size() > pair * 2 ? s.substr(pair * 2, 2) : std::string();
        // A short last pair is read as far as it goes, as "$f" is still a hexadecimal number.
        int value = part.empty() ? -1 : 0;
        for (char c : part) {
            const int digit = delphi::HexDigitValue(static_cast<unsigned char>(c));
            value = (value < 0 || digit < 0) ? -1 : value * 16 + digit;
        }
        if (value < 0) {
            throw EConvertError("'$" + part + "' is not a valid integer value");
        }
        color |= static_cast<std::uint32_t>(value) << (8 * pair);
    }
    return color;
}

}  // namespace tavrel::protocol
