#include "protocol/tavrel_command.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tavrel::protocol {
namespace {

using test::Hex;
using Cmd = TTavrelCommand;

struct FrameCase {
    const char* name;
    std::vector<std::uint8_t> built;
    std::vector<std::uint8_t> expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class Command_Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Command_Frames, AreByteForByte) {
    EXPECT_EQ(GetParam().built, GetParam().expected) << GetParam().name;
}

std::vector<FrameCase> FrameCases() {
    using R = Cmd::TRESTRANS;
    const auto e = Hex({0x02, 0x3B, 0x45, 0x3B, 0x34, 0x31, 0x3B, 0x03});
    const auto mode4 = Hex({0x02, 0x3B, 0x34, 0x3B, 0x4B, 0x3B, 0x34, 0x3B, 0x34, 0x34, 0x3B, 0x03});
    return {
        {"getVersion", Cmd::getVersion(), Hex({0x02, 0x3B, 0x33, 0x3B, 0x30, 0x3B, 0x36, 0x35, 0x3B, 0x03})},
        {"getAKBState", Cmd::getAKBState(), Hex({0x02, 0x3B, 0x33, 0x3B, 0x39, 0x3B, 0x33, 0x36, 0x3B, 0x03})},
        {"getMemoryState", Cmd::getMemoryState(), Hex({0x02, 0x3B, 0x33, 0x3B, 0x44, 0x3B, 0x36, 0x46, 0x3B, 0x03})},
        {"getMeasuringVolt", Cmd::getMeasuringVolt(),
         Hex({0x02, 0x3B, 0x33, 0x3B, 0x37, 0x3B, 0x35, 0x34, 0x3B, 0x03})},
        {"getModeWork", Cmd::getModeWork(), Hex({0x02, 0x3B, 0x33, 0x3B, 0x4B, 0x3B, 0x30, 0x36, 0x3B, 0x03})},
        {"RES_NO_TRANS", Cmd::getMeasuring(R::RES_NO_TRANS),
         Hex({0x02, 0x3B, 0x31, 0x3B, 0x30, 0x3B, 0x36, 0x33, 0x3B, 0x03})},
        {"RES_USB_TRANS", Cmd::getMeasuring(R::RES_USB_TRANS),
         Hex({0x02, 0x3B, 0x31, 0x3B, 0x31, 0x3B, 0x36, 0x38, 0x3B, 0x03})},
        {"RES_BL_TRANS", Cmd::getMeasuring(R::RES_BL_TRANS),
         Hex({0x02, 0x3B, 0x31, 0x3B, 0x32, 0x3B, 0x37, 0x35, 0x3B, 0x03})},
        {"RES_NO_USB_TRANS", Cmd::getMeasuring(R::RES_NO_USB_TRANS),
         Hex({0x02, 0x3B, 0x31, 0x3B, 0x33, 0x3B, 0x37, 0x45, 0x3B, 0x03})},
        {"chargeOn", Cmd::setChargeAKBFromUSB(true), Hex({0x02, 0x3B, 0x36, 0x3B, 0x45, 0x3B, 0x36, 0x42, 0x3B, 0x03})},
        {"chargeOff", Cmd::setChargeAKBFromUSB(false),
         Hex({0x02, 0x3B, 0x36, 0x3B, 0x44, 0x3B, 0x36, 0x30, 0x3B, 0x03})},
        {"mode1", Cmd::setModeWork(1), Hex({0x02, 0x3B, 0x34, 0x3B, 0x4B, 0x3B, 0x31, 0x3B, 0x36, 0x33, 0x3B, 0x03})},
        {"mode4", Cmd::setModeWork(4), mode4},
        {"ippVolt1", Cmd::setModeWorkIPP_Volt('1'), Hex({0x02, 0x3B, 0x46, 0x3B, 0x31, 0x3B, 0x37, 0x38, 0x3B, 0x03})},
        {"ippVolt8Refused", Cmd::setModeWorkIPP_Volt(0x38), {}},
        {"ippVoltFFRefused", Cmd::setModeWorkIPP_Volt(0xFF), {}},
        {"ippAmpere1", Cmd::setModeWorkIPP_Ampere(1), mode4},
        {"ippAmpere2", Cmd::setModeWorkIPP_Ampere(2), e},
        {"ippAmpere5", Cmd::setModeWorkIPP_Ampere(5), e},
        {"channelsExample",
         Cmd::setChannelParameters({{Cmd::TChannelName::cnCh1, '1', 0},
                                    {Cmd::TChannelName::cnCh2, '2', 0},
                                    {Cmd::TChannelName::cnCh3, '4', 0.075}}),
         Hex({0x02, 0x3B, 0x30, 0x3B, 0x31, 0x3B, 0x32, 0x3B, 0x34, 0x3B, 0x37, 0x35, 0x30, 0x3B, 0x37, 0x44, 0x3B,
              0x03})},
        {"channelsEmpty", Cmd::setChannelParameters({}), {}},
    };
}

INSTANTIATE_TEST_SUITE_P(Table, Command_Frames, ::testing::ValuesIn(FrameCases()),
                         [](const auto& p) { return std::string(p.param.name); });

// The body of a channel-parameters frame: bytes 4 up to the CRC text.
std::string Body(const std::vector<std::uint8_t>& frame) {
    return frame.size() < 8 ? std::string("<empty>") : std::string(frame.begin() + 4, frame.end() - 4);
}

struct ShuntCase {
    double shunt;
    const char* body;
};

std::string Label(const ShuntCase& c) {
    return test::Num(c.shunt) + " A";
}
void PrintTo(const ShuntCase& c, std::ostream* os) {
    *os << Label(c);
}

class Command_ShuntText : public ::testing::TestWithParam<ShuntCase> {};

TEST_P(Command_ShuntText, IsTenThousandTimesTheCurrentRoundedHalfToEven) {
    const auto frame = Cmd::setChannelParameters({{Cmd::TChannelName::cnCh3, '4', GetParam().shunt}});
    EXPECT_EQ(Body(frame), GetParam().body) << GetParam().shunt;
}

INSTANTIATE_TEST_SUITE_P(Table, Command_ShuntText,
                         ::testing::Values(ShuntCase{0.0075, "4;75;"}, ShuntCase{0.075, "4;750;"},
                                           ShuntCase{5, "4;50000;"}, ShuntCase{2500, "4;25000000;"},
                                           ShuntCase{0, "4;0;"}, ShuntCase{-0.5, "4;-5000;"},
                                           ShuntCase{0.00005, "4;0;"}, ShuntCase{0.00025, "4;2;"},
                                           // Beyond 32 bits (or not a number) the command is refused.
                                           ShuntCase{214748.3647, "4;2147483647;"}, ShuntCase{300000, "<empty>"},
                                           ShuntCase{-300000, "<empty>"},
                                           ShuntCase{std::numeric_limits<double>::quiet_NaN(), "<empty>"}),
                         test::CaseName());

TEST(Command_ChannelParameters, OnlyChannelThreeCarriesTheShunt) {
    const auto frame = Cmd::setChannelParameters({{Cmd::TChannelName::cnCh1, '3', 5},
                                                  {Cmd::TChannelName::cnCh2, '0', 10},
                                                  {Cmd::TChannelName::cnCh3, '1', 0.15}});
    EXPECT_EQ(Body(frame), "3;0;1;1500;");
    EXPECT_TRUE(TCRCHelper::CRC7Check(std::stoi(std::string(frame.end() - 4, frame.end() - 2), nullptr, 16), frame,
                                      static_cast<int>(frame.size()) - 5));
}

struct ResultCase {
    int command;
    int code;
    int result;
    int expected;
};

std::string Label(const ResultCase& c) {
    const auto letter = [](int v) {
        return v >= '0' && v <= 'Z' ? std::string(1, static_cast<char>(v)) : std::to_string(v);
    };
    return "command " + letter(c.command) + " code " + letter(c.code) + " result " + std::to_string(c.result);
}
void PrintTo(const ResultCase& c, std::ostream* os) {
    *os << Label(c);
}

class Command_CheckResult : public ::testing::TestWithParam<ResultCase> {};

TEST_P(Command_CheckResult, JudgesTheAnswer) {
    const ResultCase& c = GetParam();
    EXPECT_EQ(Cmd::checkCommandResult(c.command, c.code, c.result), c.expected)
        << c.command << " " << c.code << " " << c.result;
}

INSTANTIATE_TEST_SUITE_P(Table, Command_CheckResult,
                         ::testing::Values(ResultCase{'4', 'K', 4, 0}, ResultCase{'4', 'K', 3, -2},
                                           ResultCase{'4', 0, 4, -1}, ResultCase{'F', 0, 4, 1},
                                           ResultCase{'F', 0, 3, -2}, ResultCase{'F', 1, 4, -2},
                                           ResultCase{'E', 0, 4, 2}, ResultCase{'E', 0, 0, -2},
                                           ResultCase{'E', 5, 4, -2}, ResultCase{'1', 0, 4, -1},
                                           ResultCase{0, 0, 0, -1}),
                         test::CaseName());

}  // namespace
}  // namespace tavrel::protocol
