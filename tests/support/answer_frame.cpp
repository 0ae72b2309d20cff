#include "answer_frame.h"

#include <cstdio>

#include "protocol/crc_helper.h"

namespace tavrel::test_support {

std::vector<std::uint8_t> AnswerFrame(std::string_view body, bool badCrc) {
    // Byte by byte: an insert into the two-byte start trips GCC 12's array-bounds warning at -O2.
    std::vector<std::uint8_t> frame;
    frame.reserve(body.size() + 8);
    frame.push_back(0x02);
    frame.push_back(';');
    for (const char c : body) {
        frame.push_back(static_cast<std::uint8_t>(c));
    }
    frame.push_back(';');
    int crc = protocol::TCRCHelper::CRC7Calc(frame, -1);
    if (badCrc) {
        crc ^= 0x11;
    }
    char text[3];
    std::snprintf(text, sizeof text, "%02X", crc);
    frame.push_back(static_cast<std::uint8_t>(text[0]));
    frame.push_back(static_cast<std::uint8_t>(text[1]));
    frame.push_back(';');
    frame.push_back(0x03);
    return frame;
}

}  // namespace tavrel::test_support
