#include "simulator.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <ostream>
#include <poll.h>
#include <regex>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/crc_helper.h"

namespace tavrel::sim {
namespace {

using namespace std::string_literals;
using protocol::TCRCHelper;

// Command frames as the tool builds them.
const std::string kGetVersion = "\x02;3;0;65;\x03";
const std::string kGetMeasuringVolt = "\x02;3;7;54;\x03";
const std::string kGetAKBState = "\x02;3;9;36;\x03";
const std::string kGetMemoryState = "\x02;3;D;6F;\x03";
const std::string kGetModeWork = "\x02;3;K;06;\x03";
const std::string kStreamStart = "\x02;1;1;68;\x03";
const std::string kStreamStop = "\x02;1;3;7E;\x03";
const std::string kSetMode1 = "\x02;4;K;1;63;\x03";
const std::string kSetMode4 = "\x02;4;K;4;44;\x03";
const std::string kIppVolt = "\x02;F;1;78;\x03";
const std::string kIppAmpere = "\x02;E;41;\x03";
const std::string kChargeOn = "\x02;6;E;6B;\x03";
const std::string kChargeOff = "\x02;6;D;60;\x03";
const std::string kChannels = "\x02;0;1;2;4;750;7D;\x03";

std::string Command(const std::string& body) {
    const std::vector<std::uint8_t> frame = Simulator::BuildFrame(body);
    return {frame.begin(), frame.end()};
}

struct TFrame {
    std::string Body;
    bool CrcOk;
};

// The tool's side of the line: a raw pty slave with a frame cutter that checks CRCs on its own.
class SimulatorLine : public ::testing::Test {
  protected:
    void Open(TSimOptions options = {}) {
        options.LogFile = LogPath;
        Sim = std::make_unique<Simulator>(options);
        const std::string path = Sim->OpenPty();
        ASSERT_FALSE(path.empty()) << Sim->LastError();
        Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(Fd, 0);
        termios tio{};
        ::tcgetattr(Fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(Fd, TCSANOW, &tio);
        Sim->Start();
    }

    void TearDown() override {
        if (Sim) {
            Sim->Stop();
        }
        if (Fd >= 0) {
            ::close(Fd);
        }
        std::remove(LogPath.c_str());
    }

    void Send(const std::string& bytes) const {
        ASSERT_EQ(::write(Fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until Count frames arrived or TimeoutMs passed with nothing new.
    std::vector<TFrame> Frames(std::size_t count, int timeoutMs = 1000) {
        std::vector<TFrame> frames;
        while (frames.size() < count) {
            pollfd fd{Fd, POLLIN, 0};
            if (::poll(&fd, 1, timeoutMs) <= 0 || (fd.revents & POLLIN) == 0) {
                break;
            }
            char buffer[4096];
            const ssize_t n = ::read(Fd, buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            ++Reads;
            Pending.append(buffer, static_cast<std::size_t>(n));
            Cut(frames);
        }
        return frames;
    }

    std::vector<std::string> Bodies(std::size_t count, int timeoutMs = 1000) {
        std::vector<std::string> bodies;
        for (const TFrame& frame : Frames(count, timeoutMs)) {
            EXPECT_TRUE(frame.CrcOk) << frame.Body;
            bodies.push_back(frame.Body);
        }
        return bodies;
    }

    std::vector<std::string> LogLines() const {
        std::ifstream in(LogPath);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::unique_ptr<Simulator> Sim;
    int Fd = -1;
    int Reads = 0;
    std::string Pending;
    std::string Noise;  // bytes seen outside frames
    const std::string LogPath = ::testing::TempDir() + "tavrel_sim_test_" + std::to_string(::getpid()) + ".log";

  private:
    void Cut(std::vector<TFrame>& frames) {
        for (;;) {
            const std::size_t s = Pending.find('\x02');
            if (s == std::string::npos) {
                Noise += Pending;
                Pending.clear();
                return;
            }
            Noise += Pending.substr(0, s);
            const std::size_t e = Pending.find('\x03', s);
            if (e == std::string::npos) {
                Pending.erase(0, s);
                return;
            }
            const std::string frame = Pending.substr(s, e - s + 1);
            Pending.erase(0, e + 1);
            const std::size_t last = frame.size() - 1;
            const int crc = std::stoi(frame.substr(last - 3, 2), nullptr, 16);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.data());
            frames.push_back(
                {frame.substr(2, last - 6), TCRCHelper::CRC7Check(crc, bytes, 0, static_cast<int>(last) - 3)});
        }
    }
};

struct TCommandCase {
    const char* Name;
    std::string Command;
    std::vector<std::string> Answers;  // regular expressions, one per answer frame
};

void PrintTo(const TCommandCase& row, std::ostream* out) {
    *out << row.Name;
}

class SimulatorCommands : public SimulatorLine, public ::testing::WithParamInterface<TCommandCase> {};

const std::string kMeasure =
    R"(7;0\.\d{5}\(1\);0\.\d{5}\(1\);0\.\d{5}\(1\);0\.075;20\d\d;\d\d;\d\d;\d\d;\d\d;\d\d;log_off)";

TEST_P(SimulatorCommands, Command_IsAnsweredAsTheInstrumentDoes) {
    Open();
    Send(GetParam().Command);
    const std::vector<std::string> bodies = Bodies(GetParam().Answers.size());
    ASSERT_EQ(bodies.size(), GetParam().Answers.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_TRUE(std::regex_match(bodies[i], std::regex(GetParam().Answers[i]))) << bodies[i];
    }
    EXPECT_TRUE(Bodies(1, 150).empty()) << "an extra answer";
}

INSTANTIATE_TEST_SUITE_P(Table, SimulatorCommands,
                         ::testing::Values(TCommandCase{"Version", kGetVersion, {"0;1234;7;21;01\\.05"}},
                                           TCommandCase{"Measurement", kGetMeasuringVolt, {kMeasure}},
                                           TCommandCase{"Battery", kGetAKBState, {"9;U;C;E;4\\.10;87;5\\.02;24"}},
                                           TCommandCase{"Memory", kGetMemoryState, {"D;1048576;524288"}},
                                           TCommandCase{"ModeWork", kGetModeWork, {"K;1"}},
                                           TCommandCase{"SetModeIpp", kSetMode4, {"\\x7F;4;K;\\x04", "K;4"}},
                                           TCommandCase{"SetModeRecorder", kSetMode1, {"\\x7F;4;K;\\x04", "K;1"}},
                                           TCommandCase{"IppVoltStep", kIppVolt, {"\\x7F;F;\\x00;\\x04"}},
                                           TCommandCase{"IppAmpereStep", kIppAmpere, {"\\x7F;E;\\x00;\\x04"}},
                                           TCommandCase{"ChannelSettings", kChannels, {"\\x7F;0;\\x00;\\x04"}},
                                           TCommandCase{"UnknownModeRefused", Command("4;K;2"), {"\\x7F;4;K;\\x01"}},
                                           TCommandCase{"ChargingAnswersNothing", kChargeOff, {}},
                                           TCommandCase{"BadCrcIgnored", "\x02;3;0;66;\x03"s, {}}),
                         [](const ::testing::TestParamInfo<TCommandCase>& row) { return std::string(row.param.Name); });

TEST_F(SimulatorLine, ChannelSettings_ChangeRangesAndShuntOfLaterMeasurements) {
    Open();
    Send(Command("0;2;1;4;50000"));  // ch1 10 V, ch2 1 V, ch3 0.1 V, 5 A shunt
    ASSERT_EQ(Bodies(1), (std::vector<std::string>{"\x7F;0;\x00;\x04"s}));
    Send(kGetMeasuringVolt);
    const std::vector<std::string> bodies = Bodies(1);
    ASSERT_EQ(bodies.size(), 1U);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(bodies[0], m, std::regex(R"(7;([0-9.]+)\(10\);([0-9.]+)\(1\);([0-9.]+)\(0\.1\);5;.*)")))
        << bodies[0];
    EXPECT_LE(std::stod(m[1]), 10.0);
    EXPECT_LE(std::stod(m[3]), 0.1);

    // A range channel 2 does not have is refused and changes nothing.
    Send(Command("0;1;3;1;0"));
    ASSERT_EQ(Bodies(1), (std::vector<std::string>{"\x7F;0;\x00;\x01"s}));
    Send(kGetMeasuringVolt);
    const std::vector<std::string> after = Bodies(1);
    ASSERT_EQ(after.size(), 1U);
    EXPECT_TRUE(std::regex_match(after[0], std::regex(R"(7;[0-9.]+\(10\);[0-9.]+\(1\);[0-9.]+\(0\.1\);5;.*)")))
        << after[0];

    Send(Command("0;0;1;1;750"));  // channel 1 off
    Bodies(1);
    Send(kGetMeasuringVolt);
    const std::vector<std::string> off = Bodies(1);
    ASSERT_EQ(off.size(), 1U);
    EXPECT_EQ(off[0].substr(0, 13), "7;0.00000(0);");
}

TEST_F(SimulatorLine, UsbCharging_IsReflectedInLaterBatteryAnswers) {
    Open();
    Send(kChargeOff);
    Send(kGetAKBState);
    EXPECT_EQ(Bodies(1), (std::vector<std::string>{"9;U;D;D;4.10;87;5.02;24"}));
    Send(kChargeOn);
    Send(kGetAKBState);
    EXPECT_EQ(Bodies(1), (std::vector<std::string>{"9;U;C;E;4.10;87;5.02;24"}));
}

TEST_F(SimulatorLine, Streaming_StartsWithUsbTransferAndStopsWithNoUsbTransfer) {
    TSimOptions options;
    options.RateMs = 20;
    Open(options);
    EXPECT_TRUE(Bodies(1, 150).empty());
    Send(kStreamStart);
    const std::vector<std::string> stream = Bodies(5, 1000);
    ASSERT_EQ(stream.size(), 5U);
    for (const std::string& body : stream) {
        EXPECT_TRUE(std::regex_match(body, std::regex(kMeasure))) << body;
    }
    Send(kStreamStop);
    Bodies(100, 100);  // what was on its way
    EXPECT_TRUE(Bodies(1, 200).empty());
}

TEST_F(SimulatorLine, Log_HasOneLinePerCommandAndAnswerInOrder) {
    Open();
    Send("\x02;3;0;00;\x03"s);
    Send(kGetVersion);
    Bodies(1);
    Send(kSetMode1);
    Bodies(2);
    Sim->Stop();
    const std::vector<std::string> expected = {
        "rx-bad-crc \\x02;3;0;00;\\x03", "rx 3;0", "tx 0;1234;7;21;01.05", "rx 4;K;1", "tx \\x7F;4;K;\\x04", "tx K;1"};
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(Sim->Counts().Received, 2U);
    EXPECT_EQ(Sim->Counts().BadCrc, 1U);
    EXPECT_EQ(Sim->Counts().Sent, 3U);
}

TEST_F(SimulatorLine, Faults_CrcErrorEveryNthFrame) {
    TSimOptions options;
    options.CrcErrorEvery = 2;
    Open(options);
    for (int i = 0; i < 4; ++i) {
        Send(kGetVersion);
    }
    const std::vector<TFrame> frames = Frames(4);
    ASSERT_EQ(frames.size(), 4U);
    EXPECT_TRUE(frames[0].CrcOk);
    EXPECT_FALSE(frames[1].CrcOk);
    EXPECT_TRUE(frames[2].CrcOk);
    EXPECT_FALSE(frames[3].CrcOk);
    EXPECT_EQ(frames[1].Body, "0;1234;7;21;01.05");
}

TEST_F(SimulatorLine, Faults_RefusedModesAnswerWithoutAcceptance) {
    TSimOptions options;
    options.RefuseModes = true;
    Open(options);
    Send(kSetMode4);
    EXPECT_EQ(Bodies(2, 300), (std::vector<std::string>{"\x7F;4;K;\x01"s}));
    Send(kIppAmpere);
    EXPECT_EQ(Bodies(1), (std::vector<std::string>{"\x7F;E;\x00;\x01"s}));
    Send(kGetModeWork);
    EXPECT_EQ(Bodies(1), (std::vector<std::string>{"K;1"}));
}

TEST_F(SimulatorLine, Faults_SilentAnswersNothingButLogsCommands) {
    TSimOptions options;
    options.Silent = true;
    Open(options);
    Send(kGetVersion);
    EXPECT_TRUE(Frames(1, 300).empty());
    Sim->Stop();
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"rx 3;0"}));
}

TEST_F(SimulatorLine, Faults_IdentityOverridesAndRecordingState) {
    TSimOptions options;
    options.Serial = "77";
    options.Firmware = "00.12";
    options.RecordState = "log_on";
    Open(options);
    Send(kGetVersion);
    Send(kGetMeasuringVolt);
    const std::vector<std::string> bodies = Bodies(2);
    ASSERT_EQ(bodies.size(), 2U);
    EXPECT_EQ(bodies[0], "0;77;7;21;00.12");
    EXPECT_TRUE(bodies[1].ends_with(";log_on")) << bodies[1];
}

TEST_F(SimulatorLine, Faults_NoiseAndSplitFramesStillCarryWholeFrames) {
    TSimOptions options;
    options.NoiseBytes = 5;
    options.SplitFrames = true;
    Open(options);
    Send(kGetVersion);
    Send(kGetMemoryState);
    EXPECT_EQ(Bodies(2), (std::vector<std::string>{"0;1234;7;21;01.05", "D;1048576;524288"}));
    EXPECT_EQ(Noise.size(), 10U);
    for (const char c : Noise) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
    }
    EXPECT_GE(Reads, 3);  // frames arrive in pieces
    EXPECT_EQ(Sim->Counts().NoiseBytes, 10U);
}

TEST_F(SimulatorLine, Faults_HangUpClosesTheLine) {
    TSimOptions options;
    options.HangUpAfterMs = 200;
    Open(options);
    pollfd fd{Fd, POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 3000), 1);
    EXPECT_NE(fd.revents & POLLHUP, 0);
    for (int i = 0; i < 100 && Sim->Running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(Sim->Running());
}

TEST_F(SimulatorLine, Flood_MixesValidBadCrcFramesAndNoise) {
    TSimOptions options;
    options.Flood = true;
    Open(options);
    const std::vector<TFrame> frames = Frames(300, 500);
    Sim->Stop();
    std::size_t good = 0;
    std::size_t bad = 0;
    for (const TFrame& frame : frames) {
        (frame.CrcOk ? good : bad) += 1;
        if (frame.CrcOk) {
            EXPECT_TRUE(std::regex_match(frame.Body, std::regex(kMeasure))) << frame.Body;
        }
    }
    EXPECT_GT(good, bad);
    EXPECT_GT(bad, 0U);
    EXPECT_FALSE(Noise.empty());
    const TSimCounts counts = Sim->Counts();
    EXPECT_GE(counts.Sent, good);
    EXPECT_GE(counts.SentBadCrc, bad);
}

}  // namespace
}  // namespace tavrel::sim
