#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavrel::test_support {

// One answer frame as the instrument sends it: STX ";" body ";" CRC-7 in two hex digits ";" ETX, with the
// CRC spoilt when badCrc is set.
std::vector<std::uint8_t> AnswerFrame(std::string_view body, bool badCrc = false);

}  // namespace tavrel::test_support
