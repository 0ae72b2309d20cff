#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/about_box.h"
#include "app/halvo.h"

namespace {

using tavrel::app::ParseCommandLine;

struct TArgsCase {
    const char* Name;
    QStringList Arguments;
    bool Ok;
    bool Help;
    bool Version;
    bool Simulate;
    const char* Port;
};

void PrintTo(const TArgsCase& c, std::ostream* os) {
    *os << c.Name;
}

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
    EXPECT_EQ(result.Version, c.Version);
    EXPECT_EQ(result.Simulate, c.Simulate);
    EXPECT_EQ(result.PortName, QString::fromUtf8(c.Port));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(
        TArgsCase{"NoArgumentsAutoDetects", {}, true, false, false, false, ""},
        TArgsCase{"Help", {"--help"}, true, true, false, false, ""},
        TArgsCase{"ShortHelp", {"-h"}, true, true, false, false, ""},
        TArgsCase{"Version", {"--version"}, true, false, true, false, ""},
        TArgsCase{"Simulate", {"--simulate"}, true, false, false, true, ""},
        TArgsCase{"PortSeparate", {"--port", "/dev/ttyUSB0"}, true, false, false, false, "/dev/ttyUSB0"},
        TArgsCase{"PortJoined", {"--port=/dev/pts/7"}, true, false, false, false, "/dev/pts/7"},
        TArgsCase{"PortMissingValue", {"--port"}, false, false, false, false, ""},
        TArgsCase{"PortEmptyValue", {"--port="}, false, false, false, false, ""},
        TArgsCase{"PortTwice", {"--port", "/dev/a", "--port", "/dev/b"}, false, false, false, false, ""},
        TArgsCase{"SimulateWithPortRefused", {"--simulate", "--port", "/dev/a"}, false, false, false, false, ""},
        TArgsCase{"UnknownOption", {"--verbose"}, false, false, false, false, ""},
        TArgsCase{"StrayArgument", {"COM3"}, false, false, false, false, ""},
        // Qt's own options are left to QApplication, before, between and after the tool's.
        TArgsCase{"QtPlatformThenTool", {"-platform", "offscreen", "--simulate"}, true, false, false, true, ""},
        TArgsCase{
            "QtAfterTool", {"--port", "/dev/a", "-style", "Fusion", "-reverse"}, true, false, false, false, "/dev/a"},
        TArgsCase{"QtDoubleDash",
                  {"--platform", "offscreen", "--reverse", "--style=Fusion", "--version"},
                  true,
                  false,
                  true,
                  false,
                  ""},
        TArgsCase{"QtJoinedStyles",
                  {"-style=Fusion", "-stylesheet=/tmp/a.qss", "-qmljsdebugger=port:1"},
                  true,
                  false,
                  false,
                  false,
                  ""},
        TArgsCase{"QtWindowOptions",
                  {"-qwindowgeometry", "800x600", "-qwindowtitle", "T", "-qwindowicon", "i.png", "-widgetcount"},
                  true,
                  false,
                  false,
                  false,
                  ""},
        TArgsCase{"QtPlatformPlugins",
                  {"-platformpluginpath", "/p", "-platformtheme", "gtk3", "-plugin", "evdev"},
                  true,
                  false,
                  false,
                  false,
                  ""},
        TArgsCase{"QtX11Options",
                  {"-display", ":1", "-geometry", "800x600", "-title", "T", "-icon", "i.png", "-name", "n", "-visual",
                   "TrueColor", "-nograb", "-dograb", "-session", "s"},
                  true,
                  false,
                  false,
                  false,
                  ""},
        // Qt takes the next argument as the value whatever it looks like, so the tool must not read it.
        TArgsCase{"QtValueLooksLikeToolOption", {"-qwindowtitle", "--simulate"}, true, false, false, false, ""},
        TArgsCase{"QtValueMissing", {"--simulate", "-style"}, false, false, false, false, ""},
        // Forms Qt does not take stay the tool's, which refuses them.
        TArgsCase{"QtPlatformJoinedNotQt", {"-platform=offscreen"}, false, false, false, false, ""},
        TArgsCase{"QtFlagWithValueNotQt", {"-reverse=1"}, false, false, false, false, ""},
        TArgsCase{"TripleDashNotQt", {"---reverse"}, false, false, false, false, ""}),
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
    for (const char* option : {"--port", "--simulate", "--sim-hold", "--help", "--version", "-platform"}) {
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    }
    EXPECT_TRUE(usage.contains(QStringLiteral("Симулятор")));
}

TEST(CommandLineVersion, Version_NamesProjectVersionAndBuildStampOnPlainLines) {
    const QString text = tavrel::app::CommandLineVersion(QStringLiteral("tavrel-check"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3) << text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("tavrel-check " TAVREL_PROJECT_VERSION));
    EXPECT_EQ(lines[1], tavrel::app::TAboutBox::AppTitle());
    // The build stamp: the about box's version line, "v1." and the build's date and time.
    EXPECT_EQ(lines[2], tavrel::app::THalvo::GetAppVersion(false, QStringLiteral("Версия: v1.")));
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
    EXPECT_TRUE(text.endsWith(QLatin1Char('\n')));
}

}  // namespace
