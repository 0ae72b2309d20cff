#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "protocol/tavrel.h"
#include "test_support.h"

namespace tavrel::protocol {
namespace {

using CP = TChannelProperties;
using test::Bytes;

// A model after one measurement answer with the given channel pieces and shunt.
TTavrel Measured(const std::string& ch1, const std::string& ch2, const std::string& ch3, const std::string& shunt) {
    TTavrel m;
    m.ParseMeasure(Bytes("7;" + ch1 + ";" + ch2 + ";" + ch3 + ";" + shunt + ";2024;1;1;0;0;0;log_off"));
    return m;
}

struct TextCase {
    const char* ch1;
    const char* ch2;
    const char* ch3;
    const char* shunt;
    CP key;
    const char* expected;
};

const char* KeyName(CP key) {
    static constexpr const char* kNames[] = {"Ch1Value", "Ch2Value", "Ch3Value", "Ch1Range",
                                             "Ch2Range", "Ch3Range", "Ch3Shunt"};
    return kNames[static_cast<std::size_t>(key)];
}

// The key and the pieces it depends on: its own channel and, for channel 3, the shunt.
std::string Label(const TextCase& c) {
    const std::size_t channel = static_cast<std::size_t>(c.key) % 3;
    const char* pieces[] = {c.ch1, c.ch2, c.ch3};
    std::string label = std::string(KeyName(c.key)) + " " + (c.key == CP::chpCh3Shunt ? c.ch3 : pieces[channel]);
    if (c.key == CP::chpCh3Value || c.key == CP::chpCh3Range || c.key == CP::chpCh3Shunt) {
        label += std::string(" shunt ") + c.shunt;
    }
    return label;
}

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.ch1 << ";" << c.ch2 << ";" << c.ch3 << ";" << c.shunt << " key " << KeyName(c.key);
}

class Presentation_ChannelText : public ::testing::TestWithParam<TextCase> {};

// The same texts come out whatever the decimal separator: the final replacement turns "," into ".".
TEST_P(Presentation_ChannelText, IsTheSameUnderBothSeparators) {
    const TextCase& c = GetParam();
    const TTavrel m = Measured(c.ch1, c.ch2, c.ch3, c.shunt);
    EXPECT_EQ(m.GetChannelProperties(c.key, '.'), c.expected);
    EXPECT_EQ(m.GetChannelProperties(c.key, ','), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, Presentation_ChannelText,
    ::testing::Values(TextCase{"0.0123(1)", "0(0)", "0(0)", "0", CP::chpCh1Value, "+012.3 мВ"},
                      TextCase{"0.0012(1)", "0(0)", "0(0)", "0", CP::chpCh1Value, "+001.2 мВ"},
                      TextCase{"-0.5(1)", "0(0)", "0(0)", "0", CP::chpCh1Value, "-500.0 мВ"},
                      TextCase{"1.1(1)", "0(0)", "0(0)", "0", CP::chpCh1Value, "+1100.0 мВ"},
                      TextCase{"1.2(1)", "0(0)", "0(0)", "0", CP::chpCh1Value, "+Превышение"},
                      TextCase{"5(100)", "0(0)", "0(0)", "0", CP::chpCh1Value, "+05.00 В"},
                      TextCase{"-99.999(100)", "0(0)", "0(0)", "0", CP::chpCh1Value, "-100.00 В"},
                      TextCase{"0.001234(0.1)", "0(0)", "0(0)", "0", CP::chpCh1Value, "+01.23 мВ"},
                      TextCase{"0(1)", "-3.5(10)", "0(0)", "0", CP::chpCh2Value, "-3.500 В"},
                      TextCase{"0(1)", "11.2(10)", "0(0)", "0", CP::chpCh2Value, "+Превышение"},
                      TextCase{"0(1)", "-11.0(10)", "0(0)", "0", CP::chpCh2Value, "-11.000 В"},
                      TextCase{"0(1)", "-11.01(10)", "0(0)", "0", CP::chpCh2Value, "-Превышение"},
                      TextCase{"0(1)", "0(10)", "0(0)", "0", CP::chpCh2Value, "+0.000 В"},
                      TextCase{"0.5(0)", "0(0)", "0(0)", "0", CP::chpCh1Value, "—"},
                      TextCase{"0.5", "0(0)", "0(0)", "0", CP::chpCh1Value, "—"},  // no parentheses: range 0
                      TextCase{"0.5(5)", "0(0)", "0(0)", "0", CP::chpCh1Value, "Ожидание данных"},
                      TextCase{"0(1)", "0(1)", "-0.5(30)", "0", CP::chpCh3Value, "-0.5000 мА"},
                      TextCase{"0(1)", "0(1)", "12.34567(30)", "0", CP::chpCh3Value, "+12.3457 мА"},
                      TextCase{"0(1)", "0(1)", "0.05(0.1)", "0", CP::chpCh3Value, "+50.00 мВ"},
                      TextCase{"0(1)", "0(1)", "0.05(0.1)", "0.0009", CP::chpCh3Value, "+50.00 мВ"},
                      TextCase{"0(1)", "0(1)", "0.0375(0.1)", "5", CP::chpCh3Value, "+2.5000 А"},
                      TextCase{"0(1)", "0(1)", "0.0375(0.1)", "0.0075", CP::chpCh3Value, "+3.750 мА"},
                      TextCase{"0(1)", "0(1)", "-0.0375(0.1)", "0.0075", CP::chpCh3Value, "-3.750 мА"},
                      TextCase{"0(1)", "0(1)", "0.2(0.1)", "5", CP::chpCh3Value, "+Превышение"},
                      // The shunt only applies at 0.1 V.
                      TextCase{"0(1)", "0(1)", "0.5(1)", "5", CP::chpCh3Value, "+500.0 мВ"}),
    test::CaseName());

INSTANTIATE_TEST_SUITE_P(
    Ranges, Presentation_ChannelText,
    ::testing::Values(TextCase{"0(1)", "0(0)", "0(0)", "0", CP::chpCh1Range, "Диапазон 1 В"},
                      TextCase{"0(100)", "0(0)", "0(0)", "0", CP::chpCh1Range, "Диапазон 100 В"},
                      TextCase{"0(0.1)", "0(0)", "0(0)", "0", CP::chpCh1Range, "Диапазон 0.1 В"},
                      TextCase{"0(0)", "0(0)", "0(0)", "0", CP::chpCh1Range, "Отключен"},
                      TextCase{"0(0.05)", "0(0)", "0(0)", "0", CP::chpCh1Range, "Отключен"},
                      TextCase{"0(1)", "0(10)", "0(0)", "0", CP::chpCh2Range, "Диапазон 10 В"},
                      TextCase{"0(1)", "0(1)", "0(0.1)", "0", CP::chpCh3Range, "Диапазон 0.1 В"},
                      TextCase{"0(1)", "0(1)", "0(0.1)", "0.075", CP::chpCh3Range, "Шунт 75 мА"},
                      TextCase{"0(1)", "0(1)", "0(0.1)", "0.0075", CP::chpCh3Range, "Шунт 7.5 мА"},
                      TextCase{"0(1)", "0(1)", "0(0.1)", "1", CP::chpCh3Range, "Шунт 1000 мА"},
                      TextCase{"0(1)", "0(1)", "0(0.1)", "2500", CP::chpCh3Range, "Шунт 2500 А"},
                      TextCase{"0(1)", "0(1)", "0(0.1)", "0.0009", CP::chpCh3Range, "Диапазон 0.1 В"},
                      TextCase{"0(1)", "0(1)", "0(1)", "5", CP::chpCh3Range, "Диапазон 1 В"},
                      TextCase{"0(1)", "0(1)", "0(0)", "5", CP::chpCh3Range, "Отключен"},
                      TextCase{"0(1)", "0(1)", "0(30)", "0", CP::chpCh3Range, ""},
                      TextCase{"0(1)", "0(1)", "0(10)", "0", CP::chpCh3Range, "Ожидание данных"},
                      TextCase{"0(1)", "0(1)", "0(1e200)", "0", CP::chpCh3Range, "Ожидание данных"},
                      TextCase{"0(1)", "0(1)", "0(1)", "5", CP::chpCh3Shunt, "Ожидание данных"}),
    test::CaseName());

TEST(Presentation_ChannelText, AbsentKeysWaitOrShowAnEmptyRange) {
    const TTavrel m;
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh1Value, '.'), "Ожидание данных");
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh3Value, '.'), "Ожидание данных");
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh3Range, '.'), "Ожидание данных");
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh1Range, '.'), "Диапазон  В");
    EXPECT_EQ(m.GetRangeOfChannels('.'), (std::vector<double>{-1, -1, -1, -1}));
    const TTavrel measured = Measured("0(1)", "0(10)", "0(0.1)", "0.075");
    EXPECT_EQ(measured.GetRangeOfChannels(','), (std::vector<double>{1, 10, 0.1, 0.075}));
}

TEST(Presentation_ChannelText, FollowsTheProcessLocale) {
    test::ScopedNumericLocale ru(test::kCommaLocale);
    if (!ru.Active()) {
        GTEST_SKIP() << test::kCommaLocale << " is not installed";
    }
    const TTavrel m = Measured("0.0123(1)", "0(0)", "0.0375(0.1)", "0.0075");
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh1Value), "+012.3 мВ");
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh3Range), "Шунт 7.5 мА");
    EXPECT_EQ(m.GetChannelProperties(CP::chpCh3Value), "+3.750 мА");
    EXPECT_EQ(m.GetRangeOfChannels(), (std::vector<double>{1, 0, 0.1, 0.0075}));
}

struct ShuntCase {
    const char* shunt;
    int decimals;
    const char* expected;
};

std::string Label(const ShuntCase& c) {
    return std::string(c.shunt) + " A";
}
void PrintTo(const ShuntCase& c, std::ostream* os) {
    *os << Label(c);
}

class Presentation_ShuntCurrent : public ::testing::TestWithParam<ShuntCase> {};

// 37.5 mV across each shunt of the table is half its nominal current.
TEST_P(Presentation_ShuntCurrent, ShowsHalfTheNominalCurrentWithTheTableDecimals) {
    const ShuntCase& c = GetParam();
    const TTavrel m = Measured("0(1)", "0(1)", "0.0375(0.1)", c.shunt);
    for (const char sep : {'.', ','}) {
        const std::string text = m.GetChannelProperties(CP::chpCh3Value, sep);
        EXPECT_EQ(text, c.expected) << c.shunt << " sep " << sep;
        const auto dot = text.find('.');
        const auto blank = text.find(' ');
        ASSERT_NE(dot, std::string::npos);
        EXPECT_EQ(static_cast<int>(blank - dot - 1), c.decimals) << c.shunt;
    }
}

INSTANTIATE_TEST_SUITE_P(ShuntTable, Presentation_ShuntCurrent,
                         ::testing::Values(ShuntCase{"0.0075", 3, "+3.750 мА"}, ShuntCase{"0.075", 2, "+37.50 мА"},
                                           ShuntCase{"0.15", 2, "+75.00 мА"}, ShuntCase{"5", 4, "+2.5000 А"},
                                           ShuntCase{"10", 3, "+5.000 А"}, ShuntCase{"20", 3, "+10.000 А"},
                                           ShuntCase{"25", 4, "+12.5000 А"}, ShuntCase{"30", 3, "+15.000 А"},
                                           ShuntCase{"40", 3, "+20.000 А"}, ShuntCase{"50", 3, "+25.000 А"},
                                           ShuntCase{"60", 3, "+30.000 А"}, ShuntCase{"75", 4, "+37.5000 А"},
                                           ShuntCase{"100", 2, "+50.00 А"}, ShuntCase{"150", 3, "+75.000 А"},
                                           ShuntCase{"200", 2, "+100.00 А"}, ShuntCase{"250", 3, "+125.000 А"},
                                           ShuntCase{"300", 2, "+150.00 А"}, ShuntCase{"400", 2, "+200.00 А"},
                                           ShuntCase{"500", 2, "+250.00 А"}, ShuntCase{"600", 2, "+300.00 А"},
                                           ShuntCase{"750", 3, "+375.000 А"}, ShuntCase{"1000", 1, "+500.0 А"},
                                           ShuntCase{"1500", 2, "+750.00 А"}, ShuntCase{"2000", 1, "+1000.0 А"},
                                           ShuntCase{"2500", 2, "+1250.00 А"}),
                         test::CaseName());

TEST(Presentation_ShuntList, FollowsTheTableInBothSeparators) {
    const auto dot = TTavrel::GetListShunts('.');
    const auto comma = TTavrel::GetListShunts(',');
    ASSERT_EQ(dot.size(), 26U);
    ASSERT_EQ(comma.size(), 26U);
    const std::vector<std::string> head = {"0 А", "7.5 мА", "75 мА", "150 мА", "5 А", "10 А"};
    for (std::size_t i = 0; i < head.size(); ++i) {
        EXPECT_EQ(dot[i], head[i]);
    }
    EXPECT_EQ(comma[1], "7,5 мА");
    EXPECT_EQ(comma[2], "75 мА");
    EXPECT_EQ(dot[25], "2500 А");
    EXPECT_EQ(dot[21], "750 А");
    EXPECT_EQ(TTavrel::ShuntTable().size(), 26U);
    test::ScopedNumericLocale ru(test::kCommaLocale);
    if (ru.Active()) {
        EXPECT_EQ(TTavrel::GetListShunts()[1], "7,5 мА");
    }
}

TEST(Presentation_Identity, FormatsNumberDateAndFirmware) {
    TTavrel m;
    m.ParseDeviceInfo(Bytes("0;1234;7;21;1.05"));
    EXPECT_EQ(m.GetNumberDevice(" Серийный номер: "), "Серийный номер: 1234");
    EXPECT_EQ(m.GetMonthAndYearDevice("Дата производства: "), "Дата производства: 07.2021");
    EXPECT_EQ(m.GetMonthAndYearDevice(""), "07.2021");
    EXPECT_EQ(m.GetFirmwareDevice("Версия прошивки: "), "Версия прошивки: 1.05        ");
    m.ParseDeviceInfo(Bytes("0;5;11;5;x"));
    EXPECT_EQ(m.GetMonthAndYearDevice("Дата: "), "Дата: 11.2005");
}

TEST(Presentation_Clock, ShowsDayMonthYearAndTime) {
    EXPECT_EQ(TTavrel().DateTimeOnDevice(), "Время на приборе: 30.12.1899 00:00:00");
    const TTavrel m = [] {
        TTavrel t;
        t.ParseMeasure(Bytes("7;0(1);0(1);0(1);0;2026;3;4;5;6;7;log_off"));
        return t;
    }();
    EXPECT_EQ(m.DateTimeOnDevice(), "Время на приборе: 04.03.2026 05:06:07");
}

TEST(Presentation_AKB, SummaryHasSixLines) {
    TTavrel m;
    m.ParseAKBState(Bytes("9;A;D;E;3.95;87;5.02;24"));
    EXPECT_EQ(m.GetVoltAKB(), "3.95 В");
    EXPECT_EQ(m.GetVoltPowerAKB(), "5.02 В");
    EXPECT_EQ(m.GetTempAKB(), "24 °C");
    EXPECT_EQ(m.GetPercentAKB(), "87%");
    EXPECT_EQ(m.AKBStateFullInfo(),
              "Источник питания: Аккумулятор\r\nСостояние аккумулятора: Разрядка АКБ\r\nНапряжение АКБ: 3.95 В\r\n"
              "Уровень заряда: 87%\r\nНапряжение питания: 5.02 В\r\nТемпература: 24 °C");
    EXPECT_EQ(TTavrel().AKBStateFullInfo(),
              "Источник питания: Блок питания\r\nСостояние аккумулятора: Зарядка АКБ\r\nНапряжение АКБ:  В\r\n"
              "Уровень заряда: %\r\nНапряжение питания:  В\r\nТемпература:  °C");
    // Values without a name (only reachable through JSON) give an empty name instead of a fault.
    const auto odd = TTavrel::FromJSONText(R"({"sourcePower":"tspUnknown","aKBState":"takbUnknown"})");
    EXPECT_EQ(odd->AKBStateFullInfo().substr(0, odd->AKBStateFullInfo().find('\r')), "Источник питания: ");
}

struct MemoryCase {
    std::int64_t full;
    std::int64_t free;
    int freePercent;
    int allocPercent;
    const char* used;
};

std::string Label(const MemoryCase& c) {
    return "full " + std::to_string(c.full) + " free " + std::to_string(c.free);
}
void PrintTo(const MemoryCase& c, std::ostream* os) {
    *os << Label(c);
}

class Presentation_MemoryPercent : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(Presentation_MemoryPercent, TruncatesTheirOwnWay) {
    TTavrel m;
    m.SetMemoryFull(GetParam().full);
    m.SetMemoryFree(GetParam().free);
    EXPECT_EQ(m.GetMemoryFree(), GetParam().freePercent);
    EXPECT_EQ(m.GetMemoryAlloc(), GetParam().allocPercent);
    EXPECT_EQ(m.GetMemoryUsed(), GetParam().used);
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(Table, Presentation_MemoryPercent,
                         ::testing::Values(MemoryCase{3, 1, 33, 67, "66%"}, MemoryCase{0, 0, 0, 100, "100%"},
                                           MemoryCase{1048576, 524288, 50, 50, "50%"},
                                           MemoryCase{1000, 0, 0, 100, "100%"}, MemoryCase{1000, 1000, 100, 0, "0%"},
                                           MemoryCase{0, 5, 500, -400, "-400%"},
                                           // Percentages beyond an integer count as a failed computation.
                                           MemoryCase{1, kMax, 0, 100, "0%"},
                                           // The largest negative percent whose "100 minus" still fits an int.
                                           MemoryCase{1, -21474835, -2147483500, 2147483600, "2147483600%"},
                                           MemoryCase{1, -21474836, 0, 100, "0%"}),
                         test::CaseName());

TEST(Presentation_Memory, TextsInBytesAndSizes) {
    TTavrel m;
    m.ParseMemoryState(Bytes("D;1048576;524288"));
    EXPECT_EQ(m.GetMemoryFull(false, ','), "1048576");
    EXPECT_EQ(m.GetMemoryFull(true, ','), "1024 КБайт");
    EXPECT_EQ(m.GetMemoryFree(true, ','), "512 КБайт");
    EXPECT_EQ(m.GetMemoryAlloc(false, ','), "524288");
    EXPECT_EQ(m.MemoryFullInfo(','),
              "Полный объем: 1024 КБайт (1048576 байт)\r\nСвободно: 512 КБайт (524288 байт)\r\n"
              "Занято: 512 КБайт (524288 байт)\r\nИспользовано: 50%");
    m.ParseMemoryState(Bytes("D;3072;1536"));
    EXPECT_EQ(m.GetMemoryFree(true, ','), "1,5 КБайт");
    EXPECT_EQ(m.GetMemoryFree(true, '.'), "1.5 КБайт");
    m.ParseMemoryState(Bytes("D;-9223372036854775808;1"));
    EXPECT_EQ(m.GetMemoryAlloc(false, '.'), "-9223372036854775808");  // saturates instead of overflowing
    EXPECT_EQ(m.GetMemoryFull(true, '.'), "0 Байт");
    test::ScopedNumericLocale ru(test::kCommaLocale);
    if (ru.Active()) {
        m.ParseMemoryState(Bytes("D;3072;1536"));
        EXPECT_EQ(m.GetMemoryFree(true), "1,5 КБайт");
        EXPECT_NE(m.MemoryFullInfo().find("Свободно: 1,5 КБайт (1536 байт)"), std::string::npos);
    }
}

}  // namespace
}  // namespace tavrel::protocol
