#pragma once

#include <cstdint>
#include <vector>

namespace tavrel::protocol {

// CRC-7 of the instrument's frames: polynomial x^7 + x^3 + 1, initial 0, MSB first, no final XOR.
class TCRCHelper {
  public:
    TCRCHelper() = delete;

    // CRC over indexes 0..Count inclusive; Count == -1 means the whole buffer, other negatives give 0.
    // A Count past the end is clamped to the last byte.
    static int CRC7Calc(const std::vector<std::uint8_t>& Source, int Count);
    // CRC over indexes FromIndex..ToIndexExclusive-1; 0 for an empty range.
    static int CRC7Calc(const std::uint8_t* Source, int FromIndex, int ToIndexExclusive);

    static bool CRC7Check(int AnswerCRC7, const std::vector<std::uint8_t>& Source, int Count);
    static bool CRC7Check(int AnswerCRC7, const std::uint8_t* Source, int FromIndex, int ToIndexExclusive);

    // The 256-entry table, exposed for tests.
    static std::uint8_t TableEntry(std::uint8_t index);
};

}  // namespace tavrel::protocol
