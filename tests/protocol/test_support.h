#pragma once

#include <clocale>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/crc_helper.h"

namespace tavrel::protocol::test {

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> Hex(std::initializer_list<int> bytes) {
    std::vector<std::uint8_t> out;
    for (int b : bytes) {
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

// An answer frame around `body` (letter and fields, without the ";" before the CRC), with a valid CRC-7.
inline std::vector<std::uint8_t> Frame(std::string_view body) {
    std::string f = "\x02;";
    f += body;
    f += ';';
    const std::vector<std::uint8_t> covered(f.begin(), f.end());
    const int crc = TCRCHelper::CRC7Calc(covered, -1);
    static constexpr char kHex[] = "0123456789ABCDEF";
    f += kHex[crc >> 4];
    f += kHex[crc & 15];
    f += ";\x03";
    return {f.begin(), f.end()};
}

inline std::string Utf16ToAscii(const std::vector<std::uint8_t>& utf16) {
    std::string out;
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        out.push_back(static_cast<char>(utf16[i]));
    }
    return out;
}

// Switches LC_NUMERIC for the scope; Active() is false when the locale is not installed.
class ScopedNumericLocale {
  public:
    explicit ScopedNumericLocale(const char* name) {
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = old != nullptr ? old : "C";
        active_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~ScopedNumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    ScopedNumericLocale(const ScopedNumericLocale&) = delete;
    ScopedNumericLocale& operator=(const ScopedNumericLocale&) = delete;
    bool Active() const { return active_; }

  private:
    std::string saved_;
    bool active_ = false;
};

constexpr const char* kCommaLocale = "ru_RU.UTF-8";

inline std::string Num(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

inline const char* SepName(char sep) {
    return sep == ',' ? "comma" : sep == '.' ? "dot" : "other";
}

// Parameter name generator: the case's Label() reduced to letters, digits and "_" ("-" reads as "minus"),
// with the index appended so that cases with the same label stay apart.
struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        std::string out;
        for (const char c : Label(info.param)) {
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
                out.push_back(c);
            } else if (c == '-') {
                out += "minus";
            } else if (!out.empty() && out.back() != '_') {
                out.push_back('_');
            }
        }
        if (!out.empty() && out.back() != '_') {
            out.push_back('_');
        }
        return out + std::to_string(info.index);
    }
};

}  // namespace tavrel::protocol::test
