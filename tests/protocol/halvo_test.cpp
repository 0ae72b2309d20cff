#include "protocol/halvo.h"

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tavrel::protocol {
namespace {

struct FloatCase {
    const char* text;
    char sep;
    double expected;  // -1 is the default passed in
};

std::string Label(const FloatCase& c) {
    return std::string(c.text) + " " + test::SepName(c.sep);
}
void PrintTo(const FloatCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" sep " << c.sep;
}

class Halvo_StrToFloatSafeDef : public ::testing::TestWithParam<FloatCase> {};

TEST_P(Halvo_StrToFloatSafeDef, AcceptsBothSeparatorsAndFallsBackToDefault) {
    const FloatCase& c = GetParam();
    EXPECT_DOUBLE_EQ(THalvo::StrToFloatSafeDef(c.text, -1, c.sep), c.expected) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, Halvo_StrToFloatSafeDef,
    ::testing::Values(FloatCase{"12,5", ',', 12.5}, FloatCase{"12.5", ',', 12.5}, FloatCase{" 12,5 ", ',', 12.5},
                      FloatCase{"\t12.5\r\n", ',', 12.5}, FloatCase{"12,5", '.', 12.5}, FloatCase{"12.5", '.', 12.5},
                      FloatCase{"-0.0012", '.', -0.0012}, FloatCase{"+3", '.', 3}, FloatCase{"1e3", '.', 1000},
                      FloatCase{"1.5E-2", ',', 0.015}, FloatCase{".5", '.', 0.5}, FloatCase{"5.", '.', 5},
                      FloatCase{"abc", ',', -1}, FloatCase{"", ',', -1}, FloatCase{"   ", '.', -1},
                      FloatCase{"1.2.3", '.', -1}, FloatCase{"1,2.3", ',', -1}, FloatCase{"1e", '.', -1},
                      FloatCase{"-", '.', -1}, FloatCase{"inf", '.', -1}, FloatCase{"nan", '.', -1},
                      FloatCase{"1e999", '.', -1}, FloatCase{"12 5", '.', -1}, FloatCase{"0x10", '.', -1}),
    test::CaseName());

TEST(Halvo_DetectDecimal, FollowsTheProcessNumericLocale) {
    {
        test::ScopedNumericLocale c("C");
        char key = '?';
        THalvo::DetectDecimal(key);
        EXPECT_EQ(key, '.');
        EXPECT_DOUBLE_EQ(THalvo::StrToFloatSafeDef("1,5", 0), 1.5);
    }
    test::ScopedNumericLocale ru(test::kCommaLocale);
    if (!ru.Active()) {
        GTEST_SKIP() << test::kCommaLocale << " is not installed";
    }
    char key = '?';
    THalvo::DetectDecimal(key);
    EXPECT_EQ(key, ',');
    EXPECT_DOUBLE_EQ(THalvo::StrToFloatSafeDef(" 12.5 ", 0), 12.5);
    EXPECT_DOUBLE_EQ(THalvo::StrToFloatSafeDef("12,5", 0), 12.5);
    EXPECT_DOUBLE_EQ(THalvo::StrToFloatSafeDef("abc", 7), 7);
}

struct BytesCase {
    std::uint64_t bytes;
    bool rus;
    char sep;
    const char* expected;
};

std::string Label(const BytesCase& c) {
    return std::to_string(c.bytes) + (c.rus ? " rus " : " eng ") + test::SepName(c.sep);
}
void PrintTo(const BytesCase& c, std::ostream* os) {
    *os << Label(c);
}

class Halvo_ConvertBytesToMeasure : public ::testing::TestWithParam<BytesCase> {};

TEST_P(Halvo_ConvertBytesToMeasure, PicksThePowerOf1024AndRounds) {
    const BytesCase& c = GetParam();
    EXPECT_EQ(THalvo::ConvertBytesToMeasure(c.bytes, c.rus, c.sep), c.expected) << c.bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Halvo_ConvertBytesToMeasure,
    ::testing::Values(BytesCase{0, true, ',', "0 Байт"}, BytesCase{1023, true, ',', "1023 Байт"},
                      BytesCase{1023, false, '.', "1023 Bytes"}, BytesCase{1024, true, ',', "1024 Байт"},
                      BytesCase{1025, true, ',', "1 КБайт"}, BytesCase{1025, false, '.', "1 KB"},
                      BytesCase{1536, true, ',', "1,5 КБайт"}, BytesCase{1536, true, '.', "1.5 КБайт"},
                      BytesCase{1048576, true, ',', "1024 КБайт"}, BytesCase{1048577, true, ',', "1 МБайт"},
                      BytesCase{3000000000ULL, false, '.', "2.79 GB"},
                      BytesCase{18446744073709551615ULL, true, ',', "16 ЭБайт"},
                      BytesCase{18446744073709551615ULL, false, '.', "16 EB"}),
    test::CaseName());

TEST(Halvo_ConvertBytesToMeasure, UsesTheLocaleSeparatorByDefault) {
    test::ScopedNumericLocale ru(test::kCommaLocale);
    if (!ru.Active()) {
        GTEST_SKIP() << test::kCommaLocale << " is not installed";
    }
    EXPECT_EQ(THalvo::ConvertBytesToMeasure(1536, true), "1,5 КБайт");
}

struct ColorCase {
    const char* text;
    std::uint32_t expected;
};

std::string Label(const ColorCase& c) {
    return c.text;
}
void PrintTo(const ColorCase& c, std::ostream* os) {
    *os << c.text;
}

class HalvoGraphics_HexToColor : public ::testing::TestWithParam<ColorCase> {};

TEST_P(HalvoGraphics_HexToColor, ReadsRedGreenBluePairs) {
    EXPECT_EQ(THalvoGraphics::HexToColor(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, HalvoGraphics_HexToColor,
                         ::testing::Values(ColorCase{"f57f17", 0x177FF5}, ColorCase{"#F57F17", 0x177FF5},
                                           ColorCase{"#0d47a1", 0xA1470D}, ColorCase{"$ff0000", 0x0000FF},
                                           ColorCase{"0d47a1ff", 0xA1470D}, ColorCase{"0d47a", 0x0A470D}),
                         test::CaseName());

struct BadColorCase {
    const char* text;
    const char* message;
};

std::string Label(const BadColorCase& c) {
    return *c.text == '\0' ? "empty" : c.text;
}
void PrintTo(const BadColorCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class HalvoGraphics_HexToColorBad : public ::testing::TestWithParam<BadColorCase> {};

TEST_P(HalvoGraphics_HexToColorBad, RaisesTheConversionError) {
    try {
        THalvoGraphics::HexToColor(GetParam().text);
        FAIL() << "no error for " << GetParam().text;
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HalvoGraphics_HexToColorBad,
                         ::testing::Values(BadColorCase{"", "'$' is not a valid integer value"},
                                           BadColorCase{"zz0000", "'$zz' is not a valid integer value"},
                                           BadColorCase{"#00ff", "'$' is not a valid integer value"},
                                           BadColorCase{"00g000", "'$g0' is not a valid integer value"}),
                         test::CaseName());

}  // namespace
}  // namespace tavrel::protocol
