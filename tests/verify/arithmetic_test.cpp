#include "verify/arithmetic.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/tavrel.h"
#include "test_points.h"

namespace tavrel::verify {
namespace {

using test::IppCurrent;
using test::Shunt;

TestPoint Voltage(int channel, double range, double nominal) {
    TestPoint p;
    p.channel = channel;
    p.range = range;
    p.nominal = nominal;
    p.band = 5 * Resolution(p);
    return p;
}

Limit Relative(double a, double b) {
    return Limit{Limit::Form::Relative, a, b, 0};
}

Limit Absolute(double x) {
    return Limit{Limit::Form::Absolute, 0, 0, x};
}

// ---- Stability -------------------------------------------------------------------------------------------

struct StabilityCase {
    const char* name;
    std::vector<double> values;
    double band;
    bool stable;
};

class Stability : public testing::TestWithParam<StabilityCase> {};

TEST_P(Stability, EveryValueWithinBandOfTheMean) {
    EXPECT_EQ(IsStable(GetParam().values, GetParam().band), GetParam().stable);
}

INSTANTIATE_TEST_SUITE_P(Cases, Stability,
                         testing::Values(StabilityCase{"Identical", {0.9, 0.9, 0.9}, 0.0001, true},
                                         // Mean 0.9001; the outer values sit exactly on the band's edges.
                                         StabilityCase{"OnTheEdge", {0.9000, 0.9001, 0.9002}, 0.0001, true},
                                         // Mean 0.90015; 0.9000 is 0.00015 below it.
                                         StabilityCase{"JustOutside", {0.9000, 0.9001, 0.9002, 0.9003}, 0.0001, false},
                                         StabilityCase{"DriftingUp", {1.0, 1.001, 1.002}, 0.0005, false},
                                         StabilityCase{"NegativeWithin", {-5.001, -5.000, -4.999}, 0.001, true},
                                         StabilityCase{"OneSpike", {2.0, 2.0, 2.0, 2.0, 2.5}, 0.05, false}),
                         [](const auto& c) { return std::string(c.param.name); });

// ---- Average and deviation -------------------------------------------------------------------------------

struct StatsCase {
    const char* name;
    std::vector<double> values;
    double mean;
    double stdDev;
};

class Statistics : public testing::TestWithParam<StatsCase> {};

TEST_P(Statistics, MeanAndSampleDeviation) {
    EXPECT_NEAR(Mean(GetParam().values), GetParam().mean, 1e-12);
    EXPECT_NEAR(StdDev(GetParam().values), GetParam().stdDev, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Cases, Statistics,
                         testing::Values(
                             // Squares 4+1+0+1+4 = 10 over n−1 = 4: √2.5.
                             StatsCase{"OneToFive", {1, 2, 3, 4, 5}, 3, 1.5811388300841898},
                             StatsCase{"Single", {0.5}, 0.5, 0},
                             // Deviations ±0.0001 and 0: √(2e-8 / 2) = 1e-4.
                             StatsCase{"Readings", {0.9001, 0.9003, 0.9002}, 0.9002, 0.0001},
                             StatsCase{"Negative", {-2, -4}, -3, 1.4142135623730951}),
                         [](const auto& c) { return std::string(c.param.name); });

// ---- Error, limit and verdict ----------------------------------------------------------------------------

struct ErrorCase {
    const char* name;
    TestPoint point;
    std::vector<double> values;  // in the point's unit
    std::optional<Limit> limit;
    double mean;
    double error;
    double errorPercent;
    std::optional<double> shownLimit;
    Verdict verdict;
};

class ErrorAndVerdict : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorAndVerdict, HandComputed) {
    const auto& c = GetParam();
    const Outcome o = Evaluate(c.point, c.values, c.limit);
    const double step = Resolution(c.point);
    EXPECT_NEAR(o.mean, c.mean, step / 100);
    EXPECT_NEAR(o.error, c.error, step / 100);
    EXPECT_NEAR(o.errorPercent, c.errorPercent, 1e-9);
    ASSERT_EQ(o.limit.has_value(), c.shownLimit.has_value());
    if (c.shownLimit) {
        EXPECT_NEAR(*o.limit, *c.shownLimit, step / 100);
    }
    EXPECT_EQ(o.verdict, c.verdict);
    EXPECT_EQ(o.count, static_cast<int>(c.values.size()));
}

// 1 V range, nominal 0.9, ±(0.05 % of 0.9 + 0.01 % of 1) = ±0.00055 V, shown and judged as ±0.0005 V.
const Limit k1V = Relative(0.05, 0.01);
// 10 V range, nominal −5, ±0.003 V.
const Limit k10V = Absolute(0.003);
// 5 A shunt: range 0.1 V × 5 / 0.075 = 6.6667 A; 0.01 % of it is 0.00066667 A, shown as 0.0006 A.
const Limit kShunt5A = Relative(0, 0.01);

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorAndVerdict,
    testing::Values(
        ErrorCase{"RelativeAtUpperLimit",
                  Voltage(1, 1, 0.9),
                  {0.9004, 0.9006},
                  k1V,
                  0.9005,
                  0.0005,
                  0.05,
                  0.0005,
                  Verdict::Pass},
        ErrorCase{"RelativeJustAbove", Voltage(1, 1, 0.9), {0.9006}, k1V, 0.9006, 0.0006, 0.06, 0.0005, Verdict::Fail},
        ErrorCase{
            "RelativeAtLowerLimit", Voltage(1, 1, 0.9), {0.8995}, k1V, 0.8995, -0.0005, -0.05, 0.0005, Verdict::Pass},
        ErrorCase{
            "RelativeJustBelow", Voltage(1, 1, 0.9), {0.8994}, k1V, 0.8994, -0.0006, -0.06, 0.0005, Verdict::Fail},
        ErrorCase{
            "AbsoluteAtUpperLimit", Voltage(2, 10, -5), {-4.997}, k10V, -4.997, 0.003, 0.03, 0.003, Verdict::Pass},
        ErrorCase{"AbsoluteJustAbove", Voltage(2, 10, -5), {-4.996}, k10V, -4.996, 0.004, 0.04, 0.003, Verdict::Fail},
        ErrorCase{
            "AbsoluteAtLowerLimit", Voltage(2, 10, -5), {-5.003}, k10V, -5.003, -0.003, -0.03, 0.003, Verdict::Pass},
        ErrorCase{"AbsoluteJustBelow", Voltage(2, 10, -5), {-5.004}, k10V, -5.004, -0.004, -0.04, 0.003, Verdict::Fail},
        // A mean finer than the display is rounded first: 0.90054 shows as 0.9005, inside the limit.
        ErrorCase{"MeanRoundedBeforeJudging",
                  Voltage(1, 1, 0.9),
                  {0.90054},
                  k1V,
                  0.9005,
                  0.0005,
                  0.05,
                  0.0005,
                  Verdict::Pass},
        ErrorCase{
            "NoLimitNoVerdict", Voltage(1, 1, 0.9), {0.95}, std::nullopt, 0.95, 0.05, 5, std::nullopt, Verdict::None},
        // Rounding at each range's step, halves away from zero.
        ErrorCase{"Range0_1V",
                  Voltage(3, 0.1, 0.05),
                  {0.0500049, 0.0500051},
                  std::nullopt,
                  0.05001,
                  0.00001,
                  0.01,
                  std::nullopt,
                  Verdict::None},
        ErrorCase{"Range1V",
                  Voltage(1, 1, -0.5),
                  {-0.50015},
                  std::nullopt,
                  -0.5002,
                  -0.0002,
                  -0.02,
                  std::nullopt,
                  Verdict::None},
        ErrorCase{"Range10V", Voltage(1, 10, 1), {1.0004}, std::nullopt, 1.000, 0, 0, std::nullopt, Verdict::None},
        ErrorCase{"Range100V",
                  Voltage(1, 100, 90),
                  {90.014, 90.016},
                  std::nullopt,
                  90.02,
                  0.02,
                  0.02,
                  std::nullopt,
                  Verdict::None},
        // 30 mA range, four decimals of mA; 0.0013 mA of 30 mA is 0.00433 %, three decimals.
        ErrorCase{"IppCurrent",
                  IppCurrent(27),
                  {27.00125},
                  std::nullopt,
                  27.0013,
                  0.0013,
                  0.004,
                  std::nullopt,
                  Verdict::None},
        // 0.03751 V across a 5 A shunt: 2.500667 A, shown as 2.5007 A; 0.0007 A beyond ±0.0006 A.
        ErrorCase{"Shunt5AJustAbove",
                  Shunt(5, Unit::A, 2.5),
                  {0.03751 / 0.075 * 5},
                  kShunt5A,
                  2.5007,
                  0.0007,
                  0.01,
                  0.0006,
                  Verdict::Fail},
        ErrorCase{
            "Shunt5AAtLimit", Shunt(5, Unit::A, 2.5), {2.5006}, kShunt5A, 2.5006, 0.0006, 0.01, 0.0006, Verdict::Pass}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- Channel 3 through the shunt -------------------------------------------------------------------------

struct ShuntCase {
    const char* name;
    double shunt;
    Unit unit;
    double volts;    // across the shunt, as the instrument reports it
    double current;  // in `unit`
    int decimals;    // of the current in `unit`
    double range;    // 0.1 V through the shunt, in `unit`
};

class ShuntCurrent : public testing::TestWithParam<ShuntCase> {};

TEST_P(ShuntCurrent, VoltsOverShuntResistance) {
    const auto& c = GetParam();
    const TestPoint p = Shunt(c.shunt, c.unit);
    EXPECT_NEAR(ToPointUnit(p, c.volts), c.current, std::abs(c.current) * 1e-12);
    EXPECT_EQ(ValueDecimals(p), c.decimals);
    EXPECT_NEAR(RangeInUnit(p), c.range, c.range * 1e-12);
}

// Current = U / R with R = 75 mV / nominal current of the shunt.
INSTANTIATE_TEST_SUITE_P(Cases, ShuntCurrent,
                         testing::Values(ShuntCase{"Shunt7_5mA", 0.0075, Unit::mA, 0.0375, 3.75, 3, 10},
                                         ShuntCase{"Shunt75mA", 0.075, Unit::mA, 0.06, 60, 2, 100},
                                         ShuntCase{"Shunt150mAInAmperes", 0.15, Unit::A, 0.045, 0.09, 5, 0.2},
                                         ShuntCase{"Shunt5A", 5, Unit::A, 0.0375, 2.5, 4, 0.1 * 5 / 0.075},
                                         ShuntCase{"Shunt5AInMilliamperes", 5, Unit::mA, -0.0375, -2500, 1,
                                                   0.1 * 5000 / 0.075},
                                         ShuntCase{"Shunt100A", 100, Unit::A, 0.03, 40, 2, 0.1 * 100 / 0.075},
                                         ShuntCase{"Shunt1000A", 1000, Unit::A, 0.0675, 900, 1, 0.1 * 1000 / 0.075},
                                         ShuntCase{"Shunt2500A", 2500, Unit::A, 0.075, 2500, 2, 0.1 * 2500 / 0.075}),
                         [](const auto& c) { return std::string(c.param.name); });

// ---- The resolution is the one the instrument's display shows ---------------------------------------------

struct DisplayCase {
    double range;
    double value;
    double shunt;
};

class DisplayResolution : public testing::TestWithParam<DisplayCase> {};

// Decimals in the channel text of the device model, converted to the unit the point uses.
int ShownDecimals(const DisplayCase& c) {
    protocol::TTavrel model;
    char body[128];
    std::snprintf(body, sizeof body, "7;0(0);0(0);%.6f(%g);%g;2026;12;10;12;0;0;log_off", c.value, c.range, c.shunt);
    const std::string text(body);
    model.ParseMeasure(std::vector<std::uint8_t>(text.begin(), text.end()));
    const std::string shown = model.GetChannelProperties(protocol::TChannelProperties::chpCh3Value, '.');
    const auto dot = shown.find('.');
    const auto space = shown.find(' ');
    EXPECT_NE(dot, std::string::npos) << shown;
    const int digits = static_cast<int>(space - dot - 1);
    return shown.find(" мВ") != std::string::npos ? digits + 3 : digits;
}

TEST_P(DisplayResolution, MatchesTheChannelText) {
    const auto& c = GetParam();
    TestPoint p;
    p.channel = 3;
    p.range = c.range;
    p.shunt = c.shunt;
    p.unit = c.shunt == 0 ? Unit::V : c.shunt <= 1 ? Unit::mA : Unit::A;
    EXPECT_EQ(ValueDecimals(p), ShownDecimals(c));
}

INSTANTIATE_TEST_SUITE_P(Cases, DisplayResolution,
                         testing::Values(DisplayCase{0.1, 0.05, 0}, DisplayCase{1, 0.5, 0},
                                         DisplayCase{0.1, 0.05, 0.0075}, DisplayCase{0.1, 0.05, 0.15},
                                         DisplayCase{0.1, 0.05, 25}, DisplayCase{0.1, 0.05, 750},
                                         DisplayCase{0.1, 0.05, 2000}));

TEST(DisplayResolution, TenAndHundredVoltRangesOnChannelOne) {
    // The same formats on channel 1: 10 V as "0.000 В", 100 V as "00.00 В".
    for (const auto& [range, decimals] : {std::pair{10.0, 3}, std::pair{100.0, 2}}) {
        protocol::TTavrel model;
        char body[128];
        std::snprintf(body, sizeof body, "7;5.5(%g);0(0);0(0);0;2026;12;10;12;0;0;log_off", range);
        const std::string text(body);
        model.ParseMeasure(std::vector<std::uint8_t>(text.begin(), text.end()));
        const std::string shown = model.GetChannelProperties(protocol::TChannelProperties::chpCh1Value, '.');
        EXPECT_EQ(static_cast<int>(shown.find(' ') - shown.find('.') - 1), decimals) << shown;
        EXPECT_EQ(ValueDecimals(Voltage(1, range, 5)), decimals);
    }
}

// ---- Texts -----------------------------------------------------------------------------------------------

TEST(Texts, InstructionAtTheReadingsResolution) {
    EXPECT_EQ(InstructionText(Voltage(1, 1, 0.9)), "Установите на калибраторе +0.9000 В и подключите к каналу 1");
    EXPECT_EQ(InstructionText(Voltage(2, 10, -5)), "Установите на калибраторе -5.000 В и подключите к каналу 2");
    EXPECT_EQ(NominalText(IppCurrent(3)), "+3.0000 мА");
    EXPECT_EQ(NominalText(Shunt(5, Unit::A, 2.5)), "+2.5000 А");
}

TEST(Texts, FormatFixedNeverWritesMinusZero) {
    EXPECT_EQ(FormatFixed(-0.00004, 4), "0.0000");
    EXPECT_EQ(FormatFixed(-0.00004, 4, true), "+0.0000");
    EXPECT_EQ(FormatFixed(-0.00005, 4), "-0.0001");
    EXPECT_EQ(FormatFixed(1234.5, -2), "1200");
}

}  // namespace
}  // namespace tavrel::verify
