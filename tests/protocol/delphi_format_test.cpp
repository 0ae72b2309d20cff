#include "protocol/delphi_format.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tavrel::protocol::delphi {
namespace {

struct FixedCase {
    double value;
    int decimals;
    int width;
    char sep;
    const char* expected;
};

std::string Label(const FixedCase& c) {
    return test::Num(c.value) + " decimals " + std::to_string(c.decimals) + " width " + std::to_string(c.width) + " " +
           test::SepName(c.sep);
}
void PrintTo(const FixedCase& c, std::ostream* os) {
    *os << Label(c);
}

class DelphiFormat_Fixed : public ::testing::TestWithParam<FixedCase> {};

TEST_P(DelphiFormat_Fixed, WritesDecimalsPaddingAndSeparator) {
    const FixedCase& c = GetParam();
    EXPECT_EQ(FormatFixed(c.value, c.decimals, c.sep, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DelphiFormat_Fixed,
    ::testing::Values(FixedCase{12.3, 1, 5, '.', " 12.3"}, FixedCase{1.2, 1, 5, '.', "  1.2"},
                      FixedCase{1.23, 2, 5, ',', " 1,23"}, FixedCase{3.5, 3, 5, '.', "3.500"},
                      FixedCase{11.0, 3, 5, '.', "11.000"}, FixedCase{123.456, 2, 5, '.', "123.46"},
                      // Halves go away from zero on the decimal form, also where the binary value lies below.
                      FixedCase{0.125, 2, 0, '.', "0.13"}, FixedCase{2.675, 2, 0, '.', "2.68"},
                      FixedCase{1.005, 2, 0, '.', "1.01"}, FixedCase{-0.0001, 2, 0, '.', "0.00"},
                      FixedCase{-2.5, 0, 0, '.', "-3"}, FixedCase{9.9999, 3, 0, '.', "10.000"},
                      FixedCase{2.5, 4, 0, '.', "2.5000"}, FixedCase{0.0, 2, 5, '.', " 0.00"},
                      FixedCase{1e20, 1, 0, '.', "100000000000000000000.0"}, FixedCase{3.75, 3, 0, ',', "3,750"}),
    test::CaseName());

struct GeneralCase {
    double value;
    char sep;
    const char* expected;
};

std::string Label(const GeneralCase& c) {
    return test::Num(c.value) + " " + test::SepName(c.sep);
}
void PrintTo(const GeneralCase& c, std::ostream* os) {
    *os << Label(c);
}

class DelphiFormat_General : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(DelphiFormat_General, WritesShortestFormWithFifteenDigits) {
    EXPECT_EQ(FormatGeneral(GetParam().value, GetParam().sep), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DelphiFormat_General,
                         ::testing::Values(GeneralCase{0, '.', "0"}, GeneralCase{7.5, '.', "7.5"},
                                           GeneralCase{7.5, ',', "7,5"}, GeneralCase{0.0075 * 1000, '.', "7.5"},
                                           GeneralCase{2500, '.', "2500"}, GeneralCase{0.1, '.', "0.1"},
                                           GeneralCase{-0.1234, ',', "-0,1234"}, GeneralCase{0.00001, '.', "0.00001"},
                                           GeneralCase{0.000001, '.', "1E-6"}, GeneralCase{1e15, '.', "1E15"},
                                           GeneralCase{123456789012345.0, '.', "123456789012345"},
                                           GeneralCase{1.0 / 3.0, '.', "0.333333333333333"}),
                         test::CaseName());

struct FloatCase {
    const char* pattern;
    double value;
    char sep;
    const char* expected;
};

std::string Label(const FloatCase& c) {
    std::string pattern;
    for (const char ch : std::string(c.pattern)) {
        pattern += ch == '#' ? "h" : ch == '.' ? "p" : std::string(1, ch);
    }
    return pattern + " " + test::Num(c.value) + " " + test::SepName(c.sep);
}
void PrintTo(const FloatCase& c, std::ostream* os) {
    *os << c.pattern << " " << c.value << " " << c.sep;
}

class DelphiFormat_FormatFloat : public ::testing::TestWithParam<FloatCase> {};

TEST_P(DelphiFormat_FormatFloat, FollowsThePattern) {
    const FloatCase& c = GetParam();
    EXPECT_EQ(FormatFloat(c.pattern, c.value, c.sep), c.expected) << c.pattern << " " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DelphiFormat_FormatFloat,
    ::testing::Values(FloatCase{"#.######", 75, '.', "75"}, FloatCase{"#.######", 7.5, ',', "7,5"},
                      FloatCase{"#.######", 0, '.', ""}, FloatCase{"#.######", 0.5, '.', ".5"},
                      FloatCase{"#.######", 0.12345678, '.', ".123457"}, FloatCase{"#.0######", 0, '.', ".0"},
                      FloatCase{"#.0######", 0.0005, '.', ".0005"}, FloatCase{"#.0######", 0.0075, '.', ".0075"},
                      FloatCase{"#.0######", 0.0075 / 0.1, '.', ".075"}, FloatCase{"#.0######", 5, '.', "5.0"},
                      FloatCase{"0.0000", 0.5, '.', "0.5000"}, FloatCase{"0.0000", 12.34567, ',', "12,3457"},
                      FloatCase{"###0.##", 0, '.', "0"}, FloatCase{"###0.##", 1.5, ',', "1,5"},
                      FloatCase{"###0.##", 1024, '.', "1024"}, FloatCase{"###0.##", 1.0009765625, '.', "1"},
                      FloatCase{"###0.##", 12345.678, '.', "12345.68"}, FloatCase{"###0.##", -1.25, '.', "-1.25"}),
    test::CaseName());

TEST(DelphiFormat_Int, MinimumDigitsPadWithZerosAfterTheSign) {
    EXPECT_EQ(FormatInt(7, 2), "07");
    EXPECT_EQ(FormatInt(2021), "2021");
    EXPECT_EQ(FormatInt(123, 2), "123");
    EXPECT_EQ(FormatInt(-7, 2), "-07");
    EXPECT_EQ(FormatInt(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(DelphiFormat_Trunc, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(TruncSat(-2.9), -2);
    EXPECT_EQ(TruncSat(2550.0), 2550);
    EXPECT_EQ(TruncSat(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(TruncSat(-1e300), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(TruncSat(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(DelphiFormat_Trim, DropsControlCharactersAndBlanksAtBothEnds) {
    EXPECT_EQ(Trim("\r\n  a b \t"), "a b");
    EXPECT_EQ(Trim("   "), "");
}

}  // namespace
}  // namespace tavrel::protocol::delphi
