#pragma once

#include <clocale>
#include <cstdint>
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
    std::vector<std::uint8_t> f = {0x02, ';'};
    f.insert(f.end(), body.begin(), body.end());
    f.push_back(';');
    const int crc = TCRCHelper::CRC7Calc(f, -1);
    static constexpr char kHex[] = "0123456789ABCDEF";
    f.push_back(static_cast<std::uint8_t>(kHex[crc >> 4]));
    f.push_back(static_cast<std::uint8_t>(kHex[crc & 15]));
    f.push_back(';');
    f.push_back(0x03);
    return f;
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

}  // namespace tavrel::protocol::test
