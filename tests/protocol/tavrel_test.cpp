#include "protocol/tavrel.h"

#include <algorithm>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support.h"

namespace tavrel::protocol {
namespace {

using CP = TChannelProperties;
using test::Bytes;

double Channel(const TTavrel& m, CP key) {
    const auto it = m.DicChannel().find(key);
    return it == m.DicChannel().end() ? -999 : it->second;
}

TEST(Tavrel_DeviceInfo, StoresNumberMonthCenturyYearAndFirmware) {
    TTavrel m;
    m.ParseDeviceInfo(Bytes("0;1234;7;21;1.05"));
    EXPECT_EQ(m.NumberDevice(), 1234);
    EXPECT_EQ(m.MonthDevice(), 7);
    EXPECT_EQ(m.YearDevice(), 2021);
    EXPECT_EQ(m.FirmwareDevice(), "1.05");
}

TEST(Tavrel_DeviceInfo, WrongPieceCountLeavesTheModelAndNonNumbersGiveZero) {
    TTavrel m;
    m.ParseDeviceInfo(Bytes("0;1234;7;21;"));  // empty firmware at the end: 4 pieces
    EXPECT_EQ(m, TTavrel());
    m.ParseDeviceInfo(Bytes("0;x;;2147483000;\xC3\xA9"));
    EXPECT_EQ(m.NumberDevice(), 0);
    EXPECT_EQ(m.MonthDevice(), 0);
    EXPECT_EQ(m.YearDevice(), 2000);      // a year that would overflow counts as not a number
    EXPECT_EQ(m.FirmwareDevice(), "??");  // bytes above 127 decode as '?'
}

std::string MeasureBody(const std::string& ch1, const std::string& ch2, const std::string& ch3,
                        const std::string& shunt, const std::string& clock, const std::string& word) {
    return "7;" + ch1 + ";" + ch2 + ";" + ch3 + ";" + shunt + ";" + clock + ";" + word;
}

TEST(Tavrel_Measure, StoresValuesRangesShuntClockAndState) {
    TTavrel m;
    m.ParseMeasure(Bytes(MeasureBody("0.1234(1)", "-3.5(10)", "0.0012(30)", "0.075", "2024;2;29;23;59;58", "LOG_ON")));
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh1Value), 0.1234);
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh1Range), 1);
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh2Value), -3.5);
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh2Range), 10);
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh3Value), 0.0012);
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh3Range), 255);
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh3Shunt), 0.075);
    EXPECT_EQ(m.TypeState(), TTypeState::tsRec);
    EXPECT_EQ(m.DateTimeOnDevice(), "Время на приборе: 29.02.2024 23:59:58");
    datetime::TParts p{};
    ASSERT_TRUE(datetime::DecodeDateTime(m.DateTimeOnDeviceValue(), p));
    EXPECT_EQ(p.msec, 0);
}

struct PieceCase {
    const char* piece;
    double value;
    double range;
};

std::string Label(const PieceCase& c) {
    return c.piece;
}
void PrintTo(const PieceCase& c, std::ostream* os) {
    *os << c.piece;
}

class Tavrel_MeasurePiece : public ::testing::TestWithParam<PieceCase> {};

TEST_P(Tavrel_MeasurePiece, SplitsValueAndRangeGreedily) {
    TTavrel m;
    m.ParseMeasure(Bytes(MeasureBody("0(1)", "0(1)", GetParam().piece, "0", "2024;1;1;0;0;0", "log_off")));
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh3Value), GetParam().value) << GetParam().piece;
    EXPECT_DOUBLE_EQ(Channel(m, CP::chpCh3Range), GetParam().range) << GetParam().piece;
}

INSTANTIATE_TEST_SUITE_P(Table, Tavrel_MeasurePiece,
                         ::testing::Values(PieceCase{"0.0012(30)", 0.0012, 255}, PieceCase{"0.0012(0.1)", 0.0012, 0.1},
                                           PieceCase{"0.0012(0,1)", 0.0012, 0.1}, PieceCase{"12.5", 0, 0},
                                           PieceCase{"1(2(3)", 0, 0}, PieceCase{"5(1))", 5, 0},
                                           PieceCase{"5(130.5)", 5, 255}, PieceCase{"(1)", 0, 1},
                                           PieceCase{"abc(xyz)", 0, 0}),
                         test::CaseName());

// The hand-written value and range captures agree with std::regex on awkward pieces.
TEST(Tavrel_MeasurePiece, CapturesMatchTheRegularExpressions) {
    const std::regex value("(.*)\\(");
    const std::regex range("\\((.*)\\)");
    const char* pieces[] = {"0.1(1)", "a(b(c)d)e", "((", "))((",      "x)y(z", "1(\n2)",   "\n(1)\r(2)",
                            "a\n(b)", "(()",       ")(", "a(b\nc(d)", "",      "no parens"};
    for (const char* piece : pieces) {
        std::cmatch mv;
        std::cmatch mr;
        const std::string v = std::regex_search(piece, mv, value) ? mv[1].str() : "";
        const std::string r = std::regex_search(piece, mr, range) ? mr[1].str() : "";
        EXPECT_EQ(detail::MeasureValuePart(piece), v) << piece;
        EXPECT_EQ(detail::MeasureRangePart(piece), r) << piece;
    }
}

TEST(Tavrel_Measure, RecordingWordsIgnoreCase) {
    const std::pair<const char*, TTypeState> cases[] = {{"log_off", TTypeState::tsNoRec},
                                                        {"LOG_ON", TTypeState::tsRec},
                                                        {"Log_Aw", TTypeState::tsWaitRec},
                                                        {"log", TTypeState::tsUnknown}};
    for (const auto& [word, state] : cases) {
        TTavrel m;
        m.ParseMeasure(Bytes(MeasureBody("0(1)", "0(1)", "0(1)", "0", "2024;1;1;0;0;0", word)));
        EXPECT_EQ(m.TypeState(), state) << word;
    }
}

// An answer the model rejects: a piece missing or one too many, or a measurement whose clock is no date.
struct RejectedCase {
    const char* label;
    const char* body;
    bool throws;
};

std::string Label(const RejectedCase& c) {
    return c.label;
}
void PrintTo(const RejectedCase& c, std::ostream* os) {
    *os << c.body;
}

void Decode(TTavrel& m, const std::string& body) {
    const auto buf = Bytes(body);
    switch (body.at(0)) {
        case '0':
            return m.ParseDeviceInfo(buf);
        case '7':
            return m.ParseMeasure(buf);
        case '9':
            return m.ParseAKBState(buf);
        case 'D':
            return m.ParseMemoryState(buf);
        case 'K':
            return m.ParseModeWork(buf);
        default:
            FAIL() << "no decoder for " << body;
    }
}

// Every field holds something an answer set, so that any field a rejected answer touches shows.
class Tavrel_Filled : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* body : {"0;1234;7;21;1.05", "7;0.1234(1);-3.5(10);0.0012(30);0.075;2024;2;29;23;59;58;log_on",
                                 "9;A;D;E;3.95;87;5.02;24", "D;1048576;524288", "K;4"}) {
            Decode(model, body);
        }
        model.ParseAnswerCommand(test::Hex({0x7F, 'F', 0x00, 0x04}));
        ASSERT_EQ(model.DicChannel().size(), 7U);
    }
    TTavrel model;
};

class Tavrel_RejectedAnswer : public Tavrel_Filled, public ::testing::WithParamInterface<RejectedCase> {};

TEST_P(Tavrel_RejectedAnswer, LeavesTheModelUnchanged) {
    const TTavrel before = model;
    if (GetParam().throws) {
        EXPECT_THROW(Decode(model, GetParam().body), EInvalidDateTime);
    } else {
        EXPECT_NO_THROW(Decode(model, GetParam().body));
    }
    EXPECT_EQ(model.ToJSONText(), before.ToJSONText());
    EXPECT_EQ(model, before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Tavrel_RejectedAnswer,
    ::testing::Values(
        RejectedCase{"info firmware missing", "0;9;12;30;", false},
        RejectedCase{"info one piece more", "0;9;12;30;2.00;x", false},
        RejectedCase{"measure second 60", "7;0.5(10);0.6(10);0.7(100);5;2025;6;15;12;30;60;log_off", true},
        RejectedCase{"measure day 31 of June", "7;0.5(10);0.6(10);0.7(100);5;2025;6;31;12;30;0;log_off", true},
        RejectedCase{"measure hour 24", "7;0.5(10);0.6(10);0.7(100);5;2025;6;15;24;0;0;log_off", true},
        // A day that is no number reads as 0, which is no date.
        RejectedCase{"measure day not a number", "7;0.5(10);0.6(10);0.7(100);5;2025;6;x;12;30;0;log_off", true},
        RejectedCase{"measure year 0", "7;0.5(10);0.6(10);0.7(100);5;0;6;15;12;30;0;log_off", true},
        RejectedCase{"measure state missing", "7;0.5(10);0.6(10);0.7(100);5;2025;6;15;12;30;0;", false},
        RejectedCase{"measure one piece more", "7;0.5(10);0.6(10);0.7(100);5;2025;6;15;12;30;0;log_off;1", false},
        RejectedCase{"power temperature missing", "9;U;C;D;4.10;99;5.10;", false},
        RejectedCase{"power one piece more", "9;U;C;D;4.10;99;5.10;30;1", false},
        RejectedCase{"memory free missing", "D;2048;", false},
        RejectedCase{"memory one piece more", "D;2048;1024;0", false},
        RejectedCase{"mode number missing", "K;", false}, RejectedCase{"mode one piece more", "K;1;1", false}),
    test::CaseName());

// The same answers with a good last piece are taken, so each row above is rejected for the reason it names.
TEST_F(Tavrel_Filled, TheSameAnswersWithAGoodLastPieceAreTaken) {
    for (const char* body :
         {"0;9;12;30;2.00", "7;0.5(10);0.6(10);0.7(100);5;2025;6;15;12;30;0;log_off", "9;U;C;D;4.10;99;5.10;30",
          "D;2048;1024", "K;1"}) {
        const TTavrel before = model;
        Decode(model, body);
        EXPECT_NE(model, before) << body;
    }
    EXPECT_DOUBLE_EQ(Channel(model, CP::chpCh1Value), 0.5);
    EXPECT_EQ(model.DateTimeOnDevice(), "Время на приборе: 15.06.2025 12:30:00");
}

TEST(Tavrel_Measure, ElevenPiecesChangeNothing) {
    TTavrel m;
    m.ParseMeasure(Bytes("7;0.5(1);0(1);0(1);0;2024;1;1;0;0;0"));
    EXPECT_TRUE(m.DicChannel().empty());
}

TEST(Tavrel_AKB, StoresLettersAndTextsAndKeepsUnknownLetters) {
    TTavrel m;
    m.ParseAKBState(Bytes("9;A;D;E;3.95;87;5.02;24"));
    EXPECT_EQ(m.SourcePower(), TSourcePower::A);
    EXPECT_EQ(m.AKBState(), TAKBState::D);
    EXPECT_EQ(m.USBPower(), TUSBPower::USB_E);
    EXPECT_EQ(m.VoltAKB(), "3.95");
    EXPECT_EQ(m.PercentAKB(), "87");
    EXPECT_EQ(m.VoltPowerAKB(), "5.02");
    EXPECT_EQ(m.TempAKB(), "24");
    m.ParseAKBState(Bytes("9;u;X;D;;;;1"));
    EXPECT_EQ(m.SourcePower(), TSourcePower::A);  // letters are case-sensitive
    EXPECT_EQ(m.AKBState(), TAKBState::D);
    EXPECT_EQ(m.USBPower(), TUSBPower::USB_D);
    EXPECT_EQ(m.VoltAKB(), "");
    EXPECT_EQ(m.TempAKB(), "1");
    m.ParseAKBState(Bytes("9;B;C;E;1;2;3"));
    EXPECT_EQ(m.SourcePower(), TSourcePower::A);
}

TEST(Tavrel_Memory, StoresTotalAndFreeAs64Bit) {
    TTavrel m;
    m.ParseMemoryState(Bytes("D;1048576;524288"));
    EXPECT_EQ(m.MemoryFull(), 1048576);
    EXPECT_EQ(m.MemoryFree(), 524288);
    m.ParseMemoryState(Bytes("D;8589934592;x"));
    EXPECT_EQ(m.MemoryFull(), 8589934592LL);
    EXPECT_EQ(m.MemoryFree(), 0);
    m.ParseMemoryState(Bytes("D;1;2;3"));
    EXPECT_EQ(m.MemoryFull(), 8589934592LL);
}

TEST(Tavrel_ModeWork, NumbersOneAndFourAreTheModes) {
    const std::pair<const char*, TModeWork> cases[] = {{"K;1", TModeWork::REGISTRATOR_MODE},
                                                       {"K;4", TModeWork::IPP_MODE},
                                                       {"K;2", TModeWork::UNKNOWN_MODE},
                                                       {"K;x", TModeWork::UNKNOWN_MODE}};
    for (const auto& [body, mode] : cases) {
        TTavrel m;
        m.ParseModeWork(Bytes("K;4"));
        m.ParseModeWork(Bytes(body));
        EXPECT_EQ(m.ModeWork(), mode) << body;
    }
    TTavrel m;
    m.ParseModeWork(Bytes("K;4;"));  // trailing separator: still 2 pieces
    EXPECT_EQ(m.ModeWork(), TModeWork::IPP_MODE);
    m.ParseModeWork(Bytes("K;1;1"));
    EXPECT_EQ(m.ModeWork(), TModeWork::IPP_MODE);
}

TEST(Tavrel_AnswerCommand, TakesRawBytesWithoutSeparatorsAndZeroesShortAnswers) {
    TTavrel m;
    m.ParseAnswerCommand(test::Hex({0x7F, ';', 'F', ';', 0x00, ';', 0x04}));
    EXPECT_EQ(m.LastCommand(), 'F');
    EXPECT_EQ(m.LastCode(), 0);
    EXPECT_EQ(m.LastResult(), 4);
    m.ParseAnswerCommand(test::Hex({0x7F, 0x34, 0x4B, 0xFF}));
    EXPECT_EQ(m.LastCommand(), 0x34);
    EXPECT_EQ(m.LastCode(), 0x4B);
    EXPECT_EQ(m.LastResult(), 255);
    m.ParseAnswerCommand(test::Hex({0x7F, ';', 'F', ';', 0x00, ';'}));
    EXPECT_EQ(m.LastCommand(), 0);
    EXPECT_EQ(m.LastCode(), 0);
    EXPECT_EQ(m.LastResult(), 0);
}

TEST(Tavrel_OldFirmware, LeadingZerosOrBlankTextAreOld) {
    const std::pair<const char*, bool> cases[] = {{"00.12", true},  {"   ", true}, {"", true},
                                                  {"01.00", false}, {"0", false},  {" 00", false}};
    for (const auto& [fw, old] : cases) {
        TTavrel m;
        m.ParseDeviceInfo(Bytes(std::string("0;1;1;1;") + fw));
        if (std::string(fw).empty()) {
            EXPECT_TRUE(m.FirmwareDevice().empty());
        }
        EXPECT_EQ(m.IsOldFirmware(), old) << '"' << fw << '"';
    }
}

TTavrel FullModel() {
    TTavrel m;
    m.ParseDeviceInfo(Bytes("0;1234;7;21;1.05 \"beta\"\\"));
    m.ParseMeasure(Bytes(MeasureBody("0.1234(1)", "-3.5(10)", "0.0375(0.1)", "0.0075", "2026;12;9;22;5;7", "log_aw")));
    m.ParseModeWork(Bytes("K;4"));
    m.ParseAnswerCommand(test::Hex({0x7F, 'E', 0x00, 0x04}));
    m.ParseMemoryState(Bytes("D;8589934592;4294967296"));
    m.ParseAKBState(Bytes("9;U;D;D;3.95;87;5.02;-4\t"));
    return m;
}

TEST(Tavrel_JSON, FreshModelWritesInitialEnumerationNames) {
    const auto doc = nlohmann::json::parse(test::Utf16ToAscii(TTavrel().ToJSON()));
    EXPECT_EQ(doc["typeState"], "tsUnknown");
    EXPECT_EQ(doc["modeWork"], "UNKNOWN_MODE");
    EXPECT_EQ(doc["sourcePower"], "B");
    EXPECT_EQ(doc["uSBPower"], "USB_E");
    EXPECT_EQ(doc["aKBState"], "C");
    EXPECT_EQ(doc["dateTimeOnDevice"], "1899-12-30T00:00:00.000Z");
    EXPECT_TRUE(doc["dicChannel"].is_object());
    EXPECT_TRUE(doc["dicChannel"].empty());
}

TEST(Tavrel_JSON, MembersFollowTheFieldOrderAndUtf16Le) {
    const auto bytes = FullModel().ToJSON();
    ASSERT_GE(bytes.size(), 4U);
    EXPECT_EQ(bytes[0], '{');
    EXPECT_EQ(bytes[1], 0);
    const std::string text = test::Utf16ToAscii(bytes);
    const char* order[] = {"numberDevice",     "monthDevice", "yearDevice", "firmwareDevice", "dicChannel",
                           "dateTimeOnDevice", "typeState",   "modeWork",   "lastCommand",    "lastResult",
                           "lastCode",         "memoryFree",  "memoryFull", "percentAKB",     "sourcePower",
                           "voltPowerAKB",     "voltAKB",     "tempAKB",    "uSBPower",       "aKBState"};
    std::size_t last = 0;
    for (const char* name : order) {
        const auto at = text.find(std::string("\"") + name + "\":");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    const auto doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc.size(), 20U);
    EXPECT_EQ(doc["dateTimeOnDevice"], "2026-12-09T22:05:07.000Z");
    EXPECT_EQ(doc["memoryFull"], 8589934592LL);
    EXPECT_EQ(doc["typeState"], "tsWaitRec");
    EXPECT_EQ(doc["dicChannel"].size(), 7U);
}

TEST(Tavrel_JSON, RoundTripRebuildsEveryField) {
    const TTavrel sent = FullModel();
    const auto rebuilt = TTavrel::FromJSON(sent.ToJSON());
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(*rebuilt, sent);
    EXPECT_EQ(rebuilt->FirmwareDevice(), "1.05 \"beta\"\\");
    EXPECT_EQ(rebuilt->TempAKB(), "-4\t");
    EXPECT_EQ(rebuilt->DateTimeOnDevice(), sent.DateTimeOnDevice());
    EXPECT_EQ(TTavrel::FromJSON(TTavrel().ToJSON())->DicChannel().size(), 0U);
}

TEST(Tavrel_JSON, ChannelMapCarriesExactlyThePresentKeys) {
    TTavrel sent;
    sent.ParseMeasure(Bytes(MeasureBody("0.1(1)", "0(0)", "0(1)", "0", "2024;1;1;0;0;0", "x")));
    const auto rebuilt = TTavrel::FromJSONText(R"({"dicChannel":{"chpCh2Range":0.1,"chpCh3Shunt":-1e-300}})");
    EXPECT_EQ(rebuilt->DicChannel().size(), 2U);
    EXPECT_EQ(rebuilt->DicChannel().count(CP::chpCh1Value), 0U);
    EXPECT_DOUBLE_EQ(rebuilt->DicChannel().at(CP::chpCh3Shunt), -1e-300);
    EXPECT_EQ(*TTavrel::FromJSON(sent.ToJSON()), sent);
}

TEST(Tavrel_JSON, NumbersIgnoreACommaLocale) {
    test::ScopedNumericLocale ru(test::kCommaLocale);
    if (!ru.Active()) {
        GTEST_SKIP() << test::kCommaLocale << " is not installed";
    }
    TTavrel sent;
    sent.ParseMeasure(Bytes(MeasureBody("0,1234(1)", "-3.5(10)", "0.0375(0.1)", "1.5", "2024;1;1;0;0;0", "x")));
    const std::string text = test::Utf16ToAscii(sent.ToJSON());
    EXPECT_NE(text.find("\"chpCh1Value\":0.1234"), std::string::npos) << text;
    EXPECT_NE(text.find("\"chpCh3Shunt\":1.5"), std::string::npos) << text;
    const auto rebuilt = TTavrel::FromJSON(sent.ToJSON());
    EXPECT_EQ(*rebuilt, sent);
    EXPECT_DOUBLE_EQ(rebuilt->DicChannel().at(CP::chpCh2Value), -3.5);
}

TEST(Tavrel_JSON, ReceivingSideRejectsWhatIsNotAModelObject) {
    const char* texts[] = {"",
                           "[]",
                           "42",
                           "\"text\"",
                           "{",
                           "null",
                           R"({"typeState":"tsNothing"})",
                           R"({"numberDevice":"12"})",
                           R"({"numberDevice":1.5})",
                           R"({"numberDevice":4294967296})",
                           R"({"dicChannel":{"chpCh9Value":1}})",
                           R"({"dicChannel":[1]})",
                           R"({"dateTimeOnDevice":"2024-02-30T00:00:00.000Z"})",
                           R"({"dateTimeOnDevice":"yesterday"})"};
    for (const char* text : texts) {
        std::vector<std::uint8_t> utf16;
        for (const char c : std::string(text)) {
            utf16.push_back(static_cast<std::uint8_t>(c));
            utf16.push_back(0);
        }
        EXPECT_THROW(TTavrel::FromJSON(utf16), EJsonModelError) << text;
    }
    EXPECT_THROW(TTavrel::FromJSON({'{', 0, '}'}), EJsonModelError);  // odd length
    EXPECT_NO_THROW(TTavrel::FromJSON({'{', 0, '}', 0}));
}

TEST(Tavrel_JSON, NonAsciiUtf16TextIsDecoded) {
    // {"firmwareDevice":"Ж"} in UTF-16LE
    std::vector<std::uint8_t> utf16;
    for (const char c : std::string(R"({"firmwareDevice":")")) {
        utf16.push_back(static_cast<std::uint8_t>(c));
        utf16.push_back(0);
    }
    utf16.insert(utf16.end(), {0x16, 0x04, '"', 0, '}', 0});
    EXPECT_EQ(TTavrel::FromJSON(utf16)->FirmwareDevice(), "Ж");
}

TEST(Tavrel_JSON, NonAsciiTextSurvivesASecondRoundTrip) {
    TTavrel sent;
    sent.SetTempAKB("24 °C");
    sent.SetPercentAKB("Ж\xF0\x9F\x94\x8B");  // a letter and a character outside the 16-bit plane
    const auto once = TTavrel::FromJSON(sent.ToJSON());
    EXPECT_EQ(*once, sent);
    EXPECT_EQ(*TTavrel::FromJSON(once->ToJSON()), sent);
    const auto bytes = sent.ToJSON();
    const std::vector<std::uint8_t> zhe = {0x16, 0x04};  // U+0416 as one UTF-16LE unit
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), zhe.begin(), zhe.end()), bytes.end());
}

TEST(Tavrel_JSON, NegativeZeroRebuildsToTheSameJSON) {
    TTavrel sent;
    sent.ParseMeasure(Bytes(MeasureBody("-0(1)", ".143(-0)9", "-0.0(0.1)", "-0", "2024;1;1;0;0;0", "x")));
    ASSERT_EQ(sent.DicChannel().size(), 7U);
    const auto json = sent.ToJSON();
    const auto rebuilt = TTavrel::FromJSON(json);
    EXPECT_EQ(*rebuilt, sent);
    EXPECT_EQ(rebuilt->ToJSON(), json);
}

TEST(Tavrel_JSON, MalformedUtf8TextIsWrittenAsQuestionMarks) {
    TTavrel sent;
    sent.SetVoltAKB(
        "3\xFF"
        "9\xC3");
    const auto rebuilt = TTavrel::FromJSON(sent.ToJSON());
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(rebuilt->VoltAKB(), "3?9?");
}

TEST(Tavrel_DateTime, EncodesDaysSince1899AndDecodesBack) {
    EXPECT_DOUBLE_EQ(datetime::EncodeDateTime(1899, 12, 30, 0, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(datetime::EncodeDateTime(1900, 1, 1, 12, 0, 0, 0), 2.5);
    EXPECT_DOUBLE_EQ(datetime::EncodeDateTime(1899, 12, 29, 18, 0, 0, 0), -1.75);
    datetime::TParts p{};
    ASSERT_TRUE(datetime::DecodeDateTime(-1.75, p));
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 18);
    ASSERT_TRUE(datetime::DecodeDateTime(datetime::EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), p));
    EXPECT_EQ(p.year, 9999);
    EXPECT_EQ(p.msec, 999);
    ASSERT_TRUE(datetime::DecodeDateTime(datetime::EncodeDateTime(1, 1, 1, 0, 0, 0, 0), p));
    EXPECT_EQ(p.year, 1);
    EXPECT_FALSE(datetime::DecodeDateTime(1e300, p));
}

}  // namespace
}  // namespace tavrel::protocol
