#include "protocol/tavrel_data_parser.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tavrel::protocol {
namespace {

using test::Bytes;
using test::Frame;
using test::Hex;

struct Call {
    TTavrelCMD kind;
    std::vector<std::uint8_t> data;
};

class Parser : public ::testing::Test {
  protected:
    void SetUp() override {
        parser = std::make_shared<TTavrelDataParser>();
        parser->OnData([this](TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
            calls.push_back({kind, data});
        });
    }

    void Feed(const std::vector<std::uint8_t>& chunk) { parser->AddData(chunk); }

    std::vector<TTavrelCMD> Kinds() const {
        std::vector<TTavrelCMD> kinds;
        for (const Call& c : calls) {
            kinds.push_back(c.kind);
        }
        return kinds;
    }

    std::unique_ptr<TTavrel> Model(std::size_t i) const { return TTavrel::FromJSON(calls.at(i).data); }

    std::shared_ptr<TTavrelDataParser> parser;
    std::vector<Call> calls;
};

const std::string kMeasure = "7;0.1234(1);-3.5(10);0.0012(0.1);0;2024;5;6;7;8;9;log_off";

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Parser, Parser_ModeAnswer_ReportsModeWorkWithRecorderMode) {
    Feed(Hex({0x02, 0x3B, 0x4B, 0x3B, 0x31, 0x3B, 0x36, 0x46, 0x3B, 0x03}));
    ASSERT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork});
    EXPECT_EQ(Model(0)->ModeWork(), TModeWork::REGISTRATOR_MODE);
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_WrongCrc_ReportsOneCrcErrorWithEmptyData) {
    Feed(Hex({0x02, 0x3B, 0x4B, 0x3B, 0x31, 0x3B, 0x36, 0x45, 0x3B, 0x03}));
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].kind, TTavrelCMD::cmdCRCError);
    EXPECT_TRUE(calls[0].data.empty());
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_LowerCaseCrcText_IsAccepted) {
    // Find a frame whose CRC text has a letter digit and write it in lower case.
    for (int mode = 0; mode < 100; ++mode) {
        auto f = Frame("K;" + std::to_string(mode));
        const auto hi = f[f.size() - 4];
        const auto lo = f[f.size() - 3];
        if (hi >= 'A' || lo >= 'A') {
            f[f.size() - 4] = static_cast<std::uint8_t>(std::tolower(hi));
            f[f.size() - 3] = static_cast<std::uint8_t>(std::tolower(lo));
            Feed(f);
            ASSERT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork}) << mode;
            return;
        }
    }
    FAIL() << "no CRC with a letter digit found";
}

TEST_F(Parser, Parser_NonHexCrcText_ClearsTheWholeBufferSilently) {
    auto bad = Frame("K;1");
    bad[bad.size() - 4] = '7';
    bad[bad.size() - 3] = 'G';
    Feed(Concat(bad, {0x02, ';', 'K'}));  // a partial next frame goes too
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(parser->BufferedSize(), 0U);
    Feed(Frame("K;4"));
    EXPECT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork});
}

TEST_F(Parser, Parser_SplitFrame_ReportedOnceWhenEtxArrives) {
    const auto f = Frame("D;1048576;524288");
    Feed({f.begin(), f.begin() + 5});
    Feed({f.begin() + 5, f.end() - 1});
    EXPECT_TRUE(calls.empty());
    Feed({f.end() - 1, f.end()});
    ASSERT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdMemoryInfo});
    EXPECT_EQ(Model(0)->MemoryFull(), 1048576);
}

TEST_F(Parser, Parser_NoiseAndEtxBeforeFrame_DroppedWithTheFrame) {
    Feed(Concat(Bytes("noise\x03;xx"), Frame("K;4")));
    ASSERT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork});
    EXPECT_EQ(Model(0)->ModeWork(), TModeWork::IPP_MODE);
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_BytesWithoutStx_StayUntilAFrameArrives) {
    Feed(Bytes("abc\x03"));
    EXPECT_EQ(parser->BufferedSize(), 4U);
    Feed(Frame("K;1"));
    EXPECT_EQ(calls.size(), 1U);
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_TwoFramesInOneChunk_BothReportedInOrder) {
    Feed(Concat(Concat(Frame("0;1234;7;21;1.05"), Frame("9;A;D;E;3.95;87;5.02;24")), {0x02, ';', '9'}));
    ASSERT_EQ(Kinds(), (std::vector<TTavrelCMD>{TTavrelCMD::cmdDeviceInfo, TTavrelCMD::cmdAKBInfo}));
    EXPECT_EQ(Model(0)->NumberDevice(), 1234);
    EXPECT_EQ(Model(0)->SourcePower(), TSourcePower::B);
    // The second report carries what the first answer set as well.
    EXPECT_EQ(Model(1)->NumberDevice(), 1234);
    EXPECT_EQ(Model(1)->SourcePower(), TSourcePower::A);
    EXPECT_EQ(parser->BufferedSize(), 3U);  // the partial third frame waits
}

TEST_F(Parser, Parser_FailingFrameInTheMiddle_ClearsTheRestOfTheChunk) {
    auto bad = Frame("K;1");
    bad[bad.size() - 3] = 'Z';
    Feed(Concat(Concat(Frame("K;4"), bad), Frame("K;1")));
    EXPECT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork});
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_Measurement_ReportsRawBodyThenModel) {
    Feed(Frame(kMeasure));
    ASSERT_EQ(Kinds(), (std::vector<TTavrelCMD>{TTavrelCMD::cmdUnknown, TTavrelCMD::cmdMeasure}));
    EXPECT_EQ(calls[0].data, Bytes(kMeasure));
    const auto m = Model(1);
    EXPECT_DOUBLE_EQ(m->DicChannel().at(TChannelProperties::chpCh2Value), -3.5);
    EXPECT_EQ(m->DateTimeOnDevice(), "Время на приборе: 06.05.2024 07:08:09");
}

TEST_F(Parser, Parser_MeasurementWithInvalidClock_ReportsOnlyTheRawTextAndClears) {
    Feed(Concat(Frame("7;1(1);0(1);0(1);0;2024;2;30;0;0;0;log_on"), Frame("K;1")));
    EXPECT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdUnknown});
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_MeasurementWithInvalidClock_LeavesNoReadingForTheNextReport) {
    Feed(Frame(kMeasure));
    Feed(Frame("7;9(100);9(100);9(100);5;2024;2;30;0;0;0;log_on"));
    Feed(Frame("K;1"));
    ASSERT_EQ(Kinds(), (std::vector<TTavrelCMD>{TTavrelCMD::cmdUnknown, TTavrelCMD::cmdMeasure,
                                                TTavrelCMD::cmdUnknown, TTavrelCMD::cmdModeWork}));
    const auto before = Model(1);
    auto after = Model(3);
    EXPECT_EQ(after->DicChannel(), before->DicChannel());
    EXPECT_EQ(after->TypeState(), TTypeState::tsNoRec);
    EXPECT_EQ(after->DateTimeOnDevice(), "Время на приборе: 06.05.2024 07:08:09");
}

// STX, `gap` - 1 bytes and ETX, with a valid CRC text just before the last separator.
std::vector<std::uint8_t> ShortFrame(std::size_t gap) {
    std::vector<std::uint8_t> f(gap + 1, ';');
    f[0] = 0x02;
    f[gap] = 0x03;
    const int crc = TCRCHelper::CRC7Calc(f.data(), 0, static_cast<int>(gap) - 3);
    f[gap - 3] = static_cast<std::uint8_t>("0123456789ABCDEF"[crc >> 4]);
    f[gap - 2] = static_cast<std::uint8_t>("0123456789ABCDEF"[crc & 15]);
    return f;
}

TEST_F(Parser, Parser_UnknownLetterAndShortFrames_ReportUnknownWithoutData) {
    Feed(Frame("Z;1"));
    Feed(ShortFrame(4));
    Feed(ShortFrame(5));
    Feed(Frame(""));  // e - s = 6: an empty body
    ASSERT_EQ(calls.size(), 4U);
    for (const Call& c : calls) {
        EXPECT_EQ(c.kind, TTavrelCMD::cmdUnknown);
        EXPECT_TRUE(c.data.empty());
    }
    auto wrong = ShortFrame(5);
    wrong[2] = wrong[2] == '0' ? '1' : '0';
    Feed(wrong);
    ASSERT_EQ(calls.size(), 5U);
    EXPECT_EQ(calls[4].kind, TTavrelCMD::cmdCRCError);
}

TEST_F(Parser, Parser_EtxThreeBytesAfterStx_ClearsTheBuffer) {
    // The CRC text would start at the STX itself, which is no hexadecimal digit.
    Feed(Concat(Hex({0x02, '0', '0', 0x03}), Frame("K;1")));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_FrameTooShortForCrc_ClearsTheBuffer) {
    Feed(Hex({'x', 0x02, ';', ';', 0x03, 0x02}));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_WrongPieceCount_ReportsTheUnchangedModel) {
    Feed(Frame("0;1;2;3;4"));
    Feed(Frame("0;9;9;9"));
    ASSERT_EQ(Kinds(), (std::vector<TTavrelCMD>{TTavrelCMD::cmdDeviceInfo, TTavrelCMD::cmdDeviceInfo}));
    EXPECT_EQ(*Model(1), *Model(0));
}

TEST_F(Parser, Parser_CommandAnswer_ReportsLetterCodeAndResult) {
    Feed(Frame(std::string("\x7F;F;") + '\x00' + ";\x04"));
    ASSERT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdAnswerCommandResult});
    EXPECT_EQ(Model(0)->LastCommand(), 'F');
    EXPECT_EQ(Model(0)->LastResult(), 4);
}

TEST_F(Parser, Parser_ThrowingCallback_ClearsTheBufferAndStaysSilent) {
    parser->OnData([](TTavrelCMD, const std::vector<std::uint8_t>&) { throw std::runtime_error("receiver failed"); });
    EXPECT_NO_THROW(Feed(Concat(Frame("K;1"), Frame("K;4"))));
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_CallbackFeedingTheParserAgain_IsNotReportedTwice) {
    bool fed = false;
    parser->OnData([&](TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
        calls.push_back({kind, data});
        if (!fed) {
            fed = true;
            parser->AddData(Frame("K;4"));  // appended after the memory frame still waiting
            // The callback may also replace itself while it runs.
            parser->OnData([&](TTavrelCMD k, const std::vector<std::uint8_t>& d) { calls.push_back({k, d}); });
        }
    });
    Feed(Concat(Frame("K;1"), Frame("D;10;5")));
    ASSERT_EQ(Kinds(),
              (std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork, TTavrelCMD::cmdMemoryInfo, TTavrelCMD::cmdModeWork}));
    EXPECT_EQ(Model(0)->ModeWork(), TModeWork::REGISTRATOR_MODE);
    EXPECT_EQ(Model(2)->ModeWork(), TModeWork::IPP_MODE);
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_NoCallback_StillConsumesFrames) {
    auto quiet = std::make_shared<TTavrelDataParser>();
    quiet->AddData(Concat(Frame("K;1"), Frame("K;4")));
    EXPECT_EQ(quiet->BufferedSize(), 0U);
}

TEST_F(Parser, Parser_NoiseBeyondBound_IsDroppedKeepingThePartialFrame) {
    const std::vector<std::uint8_t> noise(TTavrelDataParser::kMaxBuffered, 'n');
    Feed(noise);
    EXPECT_EQ(parser->BufferedSize(), TTavrelDataParser::kMaxBuffered);
    const auto f = Frame("K;4");
    Feed(Concat(Bytes("more noise"), {f.begin(), f.begin() + 4}));
    EXPECT_EQ(parser->BufferedSize(), 4U);  // only the started frame is kept
    Feed({f.begin() + 4, f.end()});
    ASSERT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork});
    EXPECT_EQ(Model(0)->ModeWork(), TModeWork::IPP_MODE);
}

TEST_F(Parser, Parser_EndlessNoise_StaysWithinTheBound) {
    const std::vector<std::uint8_t> chunk(4000, 'n');
    for (int i = 0; i < 40; ++i) {
        Feed(chunk);
        EXPECT_LE(parser->BufferedSize(), TTavrelDataParser::kMaxBuffered);
    }
    // A partial frame that never ends is dropped too, but a newer STX is kept.
    std::vector<std::uint8_t> open = {0x02};
    open.resize(TTavrelDataParser::kMaxBuffered, 'x');
    Feed(open);
    EXPECT_EQ(parser->BufferedSize(), TTavrelDataParser::kMaxBuffered);
    const auto f = Frame("K;4");
    Feed({f.begin(), f.begin() + 3});
    EXPECT_EQ(parser->BufferedSize(), 3U);
    Feed({f.begin() + 3, f.end()});
    EXPECT_EQ(Kinds(), std::vector<TTavrelCMD>{TTavrelCMD::cmdModeWork});
}

// Frames fed from two threads at once: each is reported once, and no two callbacks run at the same time.
TEST(Parser_Threads, ConcurrentFeeders_EveryFrameReportedOnceAndCallbacksSerialised) {
    auto parser = std::make_shared<TTavrelDataParser>();
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int modeAnswers = 0;  // written only under the parser's lock
    parser->OnData([&](TTavrelCMD kind, const std::vector<std::uint8_t>&) {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        if (kind == TTavrelCMD::cmdModeWork) {
            ++modeAnswers;
        }
        inside.fetch_sub(1);
    });
    constexpr int kFrames = 2000;
    const auto feed = [&parser](const std::vector<std::uint8_t>& frame) {
        for (int i = 0; i < kFrames; ++i) {
            parser->AddData(frame);
        }
    };
    std::thread first(feed, Frame("K;1"));
    std::thread second(feed, Frame("K;4"));
    first.join();
    second.join();
    EXPECT_FALSE(overlapped.load());
    EXPECT_EQ(modeAnswers, 2 * kFrames);
    EXPECT_EQ(parser->BufferedSize(), 0U);
}

}  // namespace
}  // namespace tavrel::protocol
