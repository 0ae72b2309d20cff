#include "protocol/crc_helper.h"

#include <string>

#include <gtest/gtest.h>

namespace tavrel::protocol {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(CRCHelper_Table, FirstSixteenAndLastEntriesAreTheStandardCrc7Table) {
    const std::uint8_t first[] = {0x00, 0x09, 0x12, 0x1B, 0x24, 0x2D, 0x36, 0x3F,
                                  0x48, 0x41, 0x5A, 0x53, 0x6C, 0x65, 0x7E, 0x77};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(TCRCHelper::TableEntry(static_cast<std::uint8_t>(i)), first[i]) << "index " << i;
    }
    EXPECT_EQ(TCRCHelper::TableEntry(255), 0x79);
}

TEST(CRCHelper_Calc, CheckValueOverDigitsIs0x75) {
    const auto digits = Bytes("123456789");
    EXPECT_EQ(TCRCHelper::CRC7Calc(digits, -1), 0x75);
    EXPECT_EQ(TCRCHelper::CRC7Calc(digits.data(), 0, static_cast<int>(digits.size())), 0x75);
}

TEST(CRCHelper_Calc, CountSelectsInclusiveRangeAndNegativeCountsGiveZero) {
    const std::vector<std::uint8_t> frame = {0x02, 0x3B, 0x33, 0x3B, 0x30, 0x3B, 0x36, 0x35, 0x3B, 0x03};
    EXPECT_EQ(TCRCHelper::CRC7Calc(frame, 5), 0x65);
    EXPECT_EQ(TCRCHelper::CRC7Calc(frame.data(), 0, 6), 0x65);
    EXPECT_EQ(TCRCHelper::CRC7Calc(frame, -2), 0);
    EXPECT_EQ(TCRCHelper::CRC7Calc(frame, 1000), TCRCHelper::CRC7Calc(frame, -1));
    EXPECT_EQ(TCRCHelper::CRC7Calc(frame.data(), 4, 4), 0);
    EXPECT_TRUE(TCRCHelper::CRC7Check(0x65, frame, 5));
    EXPECT_FALSE(TCRCHelper::CRC7Check(0x64, frame.data(), 0, 6));
}

}  // namespace
}  // namespace tavrel::protocol
