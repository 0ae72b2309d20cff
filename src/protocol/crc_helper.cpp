#include "protocol/crc_helper.h"

#include <algorithm>
#include <array>

namespace tavrel::protocol {
namespace {

constexpr std::array<std::uint8_t, 256> MakeTable() {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        // Remainder of i(x) * x^7 modulo x^7 + x^3 + 1, one bit at a time.
        unsigned crc = static_cast<unsigned>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = ((crc & 0x80U) != 0 ? (crc << 1) ^ (0x09U << 1) : crc << 1) & 0xFFU;
        }
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((crc >> 1) & 0x7FU);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kTable = MakeTable();

int Compute(const std::uint8_t* data, std::size_t count) {
    unsigned crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc = kTable[((crc << 1) ^ data[i]) & 0xFFU];
    }
    return static_cast<int>(crc);
}

}  // namespace

int TCRCHelper::CRC7Calc(const std::vector<std::uint8_t>& Source, int Count) {
    if (Source.empty()) {
        return 0;
    }
    if (Count == -1) {
        return Compute(Source.data(), Source.size());
    }
    if (Count < 0) {
        return 0;
    }
    const auto count = std::min(static_cast<std::size_t>(Count) + 1, Source.size());
    return Compute(Source.data(), count);
}

int TCRCHelper::CRC7Calc(const std::uint8_t* Source, int FromIndex, int ToIndexExclusive) {
    if (Source == nullptr || ToIndexExclusive <= FromIndex || FromIndex < 0) {
        return 0;
    }
    return Compute(Source + FromIndex, static_cast<std::size_t>(ToIndexExclusive - FromIndex));
}

bool TCRCHelper::CRC7Check(int AnswerCRC7, const std::vector<std::uint8_t>& Source, int Count) {
    return AnswerCRC7 == CRC7Calc(Source, Count);
}

bool TCRCHelper::CRC7Check(int AnswerCRC7, const std::uint8_t* Source, int FromIndex, int ToIndexExclusive) {
    return AnswerCRC7 == CRC7Calc(Source, FromIndex, ToIndexExclusive);
}

std::uint8_t TCRCHelper::TableEntry(std::uint8_t index) {
    return kTable[index];
}

}  // namespace tavrel::protocol
