#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

using tavrel::app::ParseCommandLine;

struct TArgsCase {
    const char* Name;
    QStringList Arguments;
    bool Ok;
    bool Help;
    bool Simulate;
    const char* Port;
};

class CommandLine : public ::testing::TestWithParam<TArgsCase> {};

TEST_P(CommandLine, Parse_GivesExpectedSettings) {
    const TArgsCase& c = GetParam();
    const auto result = ParseCommandLine(c.Arguments);
    EXPECT_EQ(result.Ok(), c.Ok) << result.Error.toStdString();
    if (!c.Ok) {
        EXPECT_FALSE(result.Error.isEmpty());
        return;
    }
    EXPECT_EQ(result.Help, c.Help);
    EXPECT_EQ(result.Simulate, c.Simulate);
    EXPECT_EQ(result.PortName, QString::fromUtf8(c.Port));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(TArgsCase{"NoArgumentsAutoDetects", {}, true, false, false, ""},
                      TArgsCase{"Help", {"--help"}, true, true, false, ""},
                      TArgsCase{"ShortHelp", {"-h"}, true, true, false, ""},
                      TArgsCase{"Simulate", {"--simulate"}, true, false, true, ""},
                      TArgsCase{"PortSeparate", {"--port", "/dev/ttyUSB0"}, true, false, false, "/dev/ttyUSB0"},
                      TArgsCase{"PortJoined", {"--port=/dev/pts/7"}, true, false, false, "/dev/pts/7"},
                      TArgsCase{"PortMissingValue", {"--port"}, false, false, false, ""},
                      TArgsCase{"PortEmptyValue", {"--port="}, false, false, false, ""},
                      TArgsCase{"PortTwice", {"--port", "/dev/a", "--port", "/dev/b"}, false, false, false, ""},
                      TArgsCase{"SimulateWithPortRefused", {"--simulate", "--port", "/dev/a"}, false, false, false, ""},
                      TArgsCase{"UnknownOption", {"--verbose"}, false, false, false, ""},
                      TArgsCase{"StrayArgument", {"COM3"}, false, false, false, ""}),
    [](const ::testing::TestParamInfo<TArgsCase>& param) { return std::string(param.param.Name); });

// --sim-hold: the held values reach the simulator's options; a bad list is refused before anything starts.
struct THoldCase {
    const char* Name;
    QStringList Arguments;
    bool Ok;
    std::array<std::optional<double>, 3> Hold;
};

class CommandLineHold : public ::testing::TestWithParam<THoldCase> {};

TEST_P(CommandLineHold, SimHold_ParsedOrRefused) {
    const THoldCase& c = GetParam();
    const auto result = ParseCommandLine(c.Arguments);
    ASSERT_EQ(result.Ok(), c.Ok) << result.Error.toStdString();
    if (c.Ok) {
        EXPECT_EQ(result.SimHold, c.Hold);
    } else {
        EXPECT_TRUE(result.Error.contains(QLatin1String("--sim-hold"))) << result.Error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineHold,
    ::testing::Values(
        THoldCase{"AllThree", {"--simulate", "--sim-hold", "1=0.9,2=-5,3=+0.05"}, true, {0.9, -5.0, 0.05}},
        THoldCase{"OneChannel", {"--sim-hold", "2=1e-3", "--simulate"}, true, {std::nullopt, 0.001, std::nullopt}},
        THoldCase{"WithoutSimulate", {"--sim-hold", "1=0.9"}, false, {}},
        THoldCase{"MissingValue", {"--simulate", "--sim-hold"}, false, {}},
        THoldCase{"ChannelFour", {"--simulate", "--sim-hold", "4=1"}, false, {}},
        THoldCase{"CommaDecimal", {"--simulate", "--sim-hold", "1=0,9"}, false, {}},
        THoldCase{"NotANumber", {"--simulate", "--sim-hold", "1=abc"}, false, {}},
        THoldCase{"ChannelTwice", {"--simulate", "--sim-hold", "1=1,1=2"}, false, {}},
        THoldCase{"EmptyValue", {"--simulate", "--sim-hold", "1="}, false, {}}),
    [](const ::testing::TestParamInfo<THoldCase>& param) { return std::string(param.param.Name); });

TEST(CommandLineUsage, Usage_IsRussianAndNamesEveryOption) {
    const QString usage = tavrel::app::CommandLineUsage(QStringLiteral("tavrel-check"));
    EXPECT_TRUE(usage.startsWith(QStringLiteral("Использование: tavrel-check")));
    for (const char* option : {"--port", "--simulate", "--sim-hold", "--help"}) {
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    }
    EXPECT_TRUE(usage.contains(QStringLiteral("Симулятор")));
}

}  // namespace
