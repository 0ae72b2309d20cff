#include "link/port_discovery.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tavrel::link {
namespace {

using namespace std::string_literals;

const std::string kInstrument = "VID_0483&PID_5740";

struct TMatchCase {
    const char* Name;
    std::string Pattern;
    std::string HardwareIds;
    bool Matches;
};

void PrintTo(const TMatchCase& row, std::ostream* out) {
    *out << row.Name;
}

class HardwareIdMatching : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(HardwareIdMatching, HardwareIdMatches_FollowsWordBoundariesAndIgnoresCase) {
    EXPECT_EQ(HardwareIdMatches(GetParam().Pattern, GetParam().HardwareIds), GetParam().Matches);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, HardwareIdMatching,
    ::testing::Values(
        TMatchCase{"WithRevision", kInstrument, "USB\\VID_0483&PID_5740&REV_0200\0USB\\VID_0483&PID_5740\0\0"s, true},
        TMatchCase{"LowerCase", kInstrument, "usb\\vid_0483&pid_5740\0\0"s, true},
        TMatchCase{"LongerProductId", kInstrument, "USB\\VID_0483&PID_57401\0\0"s, false},
        TMatchCase{"OtherVendor", kInstrument, "USB\\VID_0403&PID_6001&REV_0600\0\0"s, false},
        TMatchCase{"SecondStringOfList", kInstrument, "ACPI\\PNP0501\0USB\\VID_0483&PID_5740\0\0"s, true},
        TMatchCase{"RegexCharactersArePattern", "VID_04.3&PID_57[0-9]0", "USB\\VID_0483&PID_5740\0\0"s, true},
        TMatchCase{"DotIsNoLiteral", "VID_04.3", "USB\\VID_0493\0\0"s, true},
        TMatchCase{"Empty", kInstrument, "", false}),
    [](const ::testing::TestParamInfo<TMatchCase>& row) { return std::string(row.param.Name); });

TEST(PortDiscovery, HardwareIdMatches_InvalidPatternIsAClearError) {
    EXPECT_THROW(HardwareIdMatches("VID_(0483", "USB\\VID_0483"), std::invalid_argument);
}

TEST(PortDiscovery, SelectPorts_KeepsEnumerationOrderAndSkipsNonUsb) {
    const std::vector<TSerialDevice> devices = {
        {"/dev/ttyS0", ""},
        {"/dev/ttyACM1", "USB\\VID_0483&PID_5740&REV_0200\0\0"s},
        {"/dev/ttyUSB0", "USB\\VID_0403&PID_6001\0\0"s},
        {"/dev/ttyACM0", "USB\\VID_0483&PID_5740\0\0"s},
    };
    EXPECT_EQ(SelectPorts(kInstrument, devices), (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyACM0"}));
    // An empty pattern matches at any word boundary, but ports without a USB device never match.
    EXPECT_EQ(SelectPorts("", devices).size(), 3U);
}

TEST(PortDiscovery, ChooseSinglePort_OnlyExactlyOneMatchIsChosen) {
    EXPECT_EQ(ChooseSinglePort({}), "");
    EXPECT_EQ(ChooseSinglePort({"/dev/ttyACM0"}), "/dev/ttyACM0");
    EXPECT_EQ(ChooseSinglePort({"/dev/ttyACM0", "/dev/ttyACM1"}), "");
    EXPECT_EQ(ChooseSinglePort({"/dev/ttyACM0", "/dev/ttyACM0"}), "");
}

TEST(PortDiscovery, CommaText_QuotesItemsWithSpaceCommaOrQuote) {
    EXPECT_EQ(CommaText({}), "");
    EXPECT_EQ(CommaText({"/dev/ttyS0", "/dev/ttyACM0"}), "/dev/ttyS0,/dev/ttyACM0");
    EXPECT_EQ(CommaText({"a b", "c,d", "e\"f", "g"}), "\"a b\",\"c,d\",\"e\"\"f\",g");
}

TEST(PortDiscovery, GUID_ParsesRegistryTextAndRefusesBadText) {
    const TGUID guid = TGUID::Parse("{4d36e978-e325-11ce-bfc1-08002be10318}");
    EXPECT_EQ(guid.Bytes[0], 0x4D);
    EXPECT_EQ(guid.Bytes[15], 0x18);
    EXPECT_EQ(guid.ToString(), "{4D36E978-E325-11CE-BFC1-08002BE10318}");
    for (const char* bad : {"", "4D36E978-E325-11CE-BFC1-08002BE10318", "{4D36E978-E325-11CE-BFC1-08002BE1031G}",
                            "{4D36E978+E325-11CE-BFC1-08002BE10318}", "{4D36E978-E325-11CE-BFC1-08002BE103180}"}) {
        EXPECT_THROW(TGUID::Parse(bad), std::invalid_argument) << bad;
    }
    EXPECT_THROW(FindPorts(kInstrument, std::string_view("{nonsense}")), std::invalid_argument);
}

}  // namespace
}  // namespace tavrel::link
