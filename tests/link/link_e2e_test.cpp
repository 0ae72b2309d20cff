#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "link/xcom_port.h"
#include "link/xcom_port_module.h"
#include "link_test_support.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"
#include "protocol/tavrel_data_parser.h"
#include "simulator.h"

namespace tavrel::link {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::TMessageLog;
using testing::TPty;
using TBytes = std::vector<std::uint8_t>;

const std::string kConnect = std::string(subscribeComPortStatus) + "|**HR_Connect**|0";

// A subscriber whose handler, run on the posting thread, fails with something that is no std::exception
// when the work task reports a write: a failure raised inside the work loop.
class TFailingOnWrite : public bus::TSubscriberObject {
  public:
    TFailingOnWrite() {
        bus::SharedMessaging().SubscribeCallback<&TFailingOnWrite::OnEvent>(subscribeComPortEventStatus,
                                                                            bus::TMessagingThread::Posting, this);
    }
    ~TFailingOnWrite() override {
        bus::SharedMessaging().TryUnsubscribeCallback<&TFailingOnWrite::OnEvent>(subscribeComPortEventStatus, this);
    }
    TFailingOnWrite(const TFailingOnWrite&) = delete;
    TFailingOnWrite& operator=(const TFailingOnWrite&) = delete;

    const bus::TSubscriberClass& SubscriberClass() const override {
        static const bus::TSubscriberClass registration("LinkTest", "TFailingOnWrite");
        return registration;
    }
    void OnEvent(const std::shared_ptr<ISubscribeMessage>& message) {
        if (message->MessageEvent().ErrorCode == static_cast<int>(TEventStatusComPort::XComPort_WriteCount)) {
            throw 42;  // NOLINT(hicpp-exception-baseclass): deliberately not a std::exception
        }
    }
};

// Time stamps of the writes, taken on the writing thread itself when the port reports the count: the
// next frame may leave only after the 50 ms wait that follows this report.
class TWriteStamps : public bus::TSubscriberObject {
  public:
    TWriteStamps() {
        bus::SharedMessaging().SubscribeCallback<&TWriteStamps::OnEvent>(subscribeComPortEventStatus,
                                                                         bus::TMessagingThread::Posting, this);
    }
    ~TWriteStamps() override {
        bus::SharedMessaging().TryUnsubscribeCallback<&TWriteStamps::OnEvent>(subscribeComPortEventStatus, this);
    }
    TWriteStamps(const TWriteStamps&) = delete;
    TWriteStamps& operator=(const TWriteStamps&) = delete;

    const bus::TSubscriberClass& SubscriberClass() const override {
        static const bus::TSubscriberClass registration("LinkTest", "TWriteStamps");
        return registration;
    }
    void OnEvent(const std::shared_ptr<ISubscribeMessage>& message) {
        if (message->MessageEvent().ErrorCode == static_cast<int>(TEventStatusComPort::XComPort_WriteCount)) {
            const std::lock_guard guard(FLock);
            FStamps.push_back(std::chrono::steady_clock::now());
        }
    }
    std::vector<std::chrono::steady_clock::time_point> Stamps() const {
        const std::lock_guard guard(FLock);
        return FStamps;
    }

  private:
    mutable std::mutex FLock;
    std::vector<std::chrono::steady_clock::time_point> FStamps;
};

class TCollectingParser : public protocol::IDataParser {
  public:
    void AddData(const TBytes& Buf) override { Fed.insert(Fed.end(), Buf.begin(), Buf.end()); }
    void OnData(protocol::ONDATAPROC) override {}
    TBytes Fed;
};

// The module on a pty, with a main window's reactions: data goes to _ParseData, and a port error removes
// the listener and stops the module.
class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::InstallTestPlatform();
        Pty = std::make_unique<TPty>();
        Module.SetPIDVID("VID_0483&PID_5740");
        Module.SetAutoDetect(false);
        Module.SetComPortName(Pty->SlavePath());
        Log.OnMessage = [this](const TMessageLog::TEntry& entry) {
            if (entry.Name == subscribeComPortData && !entry.Data.empty()) {
                Module._ParseData(entry.Data);
            } else if (entry.Name == subscribeComPortError && StopOnError) {
                Module._ListenerDataHelperRemove(kWindow, false);
                Module._TaskWorkStop();
            }
        };
    }

    void TearDown() override { Module._TaskWorkStop(); }

    std::shared_ptr<TCollectingParser> Register(TWindowHandle h = kWindow, TDataHelper** helper = nullptr) {
        auto parser = std::make_shared<TCollectingParser>();
        auto dh = std::make_unique<TDataHelper>(h, parser, nullptr);
        if (helper != nullptr) {
            *helper = dh.get();
        }
        Module._ListenerDataHelperSet(std::move(dh));
        return parser;
    }

    bool WaitForFrames(std::size_t count) {
        return Log.PumpUntil([&] { return Pty->Frames().size() >= count; }, 3s);
    }

    static constexpr TWindowHandle kWindow = 0x1000;
    bool StopOnError = true;
    testing::TTestBus Bus;
    TMessageLog Log;
    std::unique_ptr<TPty> Pty;
    TXComPortModule Module;
};

TEST_F(LinkTest, QueuedFrames_LeaveFiftyMillisecondsApartInOrder) {
    TWriteStamps writes;
    Register();
    const std::vector<TBytes> frames = {Bytes("\x02;3;0;65;\x03"), Bytes("\x02;E;41;\x03"), Bytes("\x02;1;7;00;\x03")};
    for (const auto& frame : frames) {
        Module._SendData(frame);
    }
    Module._TaskWorkStart();
    ASSERT_TRUE(WaitForFrames(3));
    const auto received = Pty->Frames();
    ASSERT_EQ(received.size(), 3U);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(received[i].Bytes, frames[i]);
    }
    const auto stamps = writes.Stamps();
    ASSERT_EQ(stamps.size(), 3U);
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_GE(stamps[i] - stamps[i - 1], 50ms) << "write " << i;
        // Queued together, they go out in consecutive passes, not later.
        EXPECT_LT(stamps[i] - stamps[i - 1], 150ms) << "write " << i;
    }
}

TEST_F(LinkTest, TwoListeners_EachFrameGoesOutTwiceInOnePass) {
    TWriteStamps writes;
    Register(1);
    Register(2);
    Module._SendData(Bytes("\x02;A;\x03"));
    Module._SendData(Bytes("\x02;B;\x03"));
    Module._TaskWorkStart();
    ASSERT_TRUE(WaitForFrames(4));
    const auto received = Pty->Frames();
    ASSERT_EQ(received.size(), 4U);
    EXPECT_EQ(received[0].Bytes, Bytes("\x02;A;\x03"));
    EXPECT_EQ(received[1].Bytes, Bytes("\x02;A;\x03"));
    EXPECT_EQ(received[2].Bytes, Bytes("\x02;B;\x03"));
    EXPECT_EQ(received[3].Bytes, Bytes("\x02;B;\x03"));
    const auto stamps = writes.Stamps();
    ASSERT_EQ(stamps.size(), 4U);
    EXPECT_LT(stamps[1] - stamps[0], 50ms) << "both copies in one pass, without the pacing wait between";
    EXPECT_GE(stamps[2] - stamps[1], 50ms);
}

TEST_F(LinkTest, ReceivedBytes_ReachEveryListenersParser) {
    auto first = Register(1);
    auto second = Register(2);
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 2s));
    const TBytes chunk = Bytes("\x02;7;answer;00;\x03");
    Pty->Write(chunk);
    ASSERT_TRUE(Log.PumpUntil([&] { return first->Fed.size() == chunk.size(); }, 2s));
    EXPECT_EQ(first->Fed, chunk);
    EXPECT_EQ(second->Fed, chunk);
}

// The whole road: the answer leaves the instrument in two pieces, is read by the listen task, posted,
// handed to _ParseData on the main thread and decoded by a real stream parser into the model.
TEST_F(LinkTest, MeasurementAnswer_DecodedIntoTheModelThroughTheRealParser) {
    std::vector<protocol::TTavrelCMD> kinds;
    std::unique_ptr<protocol::TTavrel> model;
    Module._ListenerDataHelperSet(std::make_unique<TDataHelper>(
        kWindow, std::make_shared<protocol::TTavrelDataParser>(), [&](protocol::TTavrelCMD kind, const TBytes& data) {
            kinds.push_back(kind);
            if (kind == protocol::TTavrelCMD::cmdMeasure) {
                model = protocol::TTavrel::FromJSON(data);
            }
        }));
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 2s));
    const TBytes answer = testing::AnswerFrame("7;1.2345(10);0.5(1);0.05(0.1);5;2026;12;9;23;15;30;log_on");
    Pty->Write(TBytes(answer.begin(), answer.begin() + 20));
    Log.Pump(30ms);
    Pty->Write(TBytes(answer.begin() + 20, answer.end()));
    ASSERT_TRUE(Log.PumpUntil([&] { return model != nullptr; }, 2s));
    EXPECT_EQ(kinds,
              (std::vector<protocol::TTavrelCMD>{protocol::TTavrelCMD::cmdUnknown, protocol::TTavrelCMD::cmdMeasure}));
    EXPECT_DOUBLE_EQ(model->DicChannel().at(protocol::TChannelProperties::chpCh1Value), 1.2345);
    EXPECT_DOUBLE_EQ(model->DicChannel().at(protocol::TChannelProperties::chpCh1Range), 10);
    EXPECT_EQ(model->TypeState(), protocol::TTypeState::tsRec);

    const TBytes spoilt = testing::AnswerFrame("7;1(1);1(1);1(1);5;2026;12;9;23;15;30;log_on", true);
    Pty->Write(spoilt);
    ASSERT_TRUE(Log.PumpUntil([&] { return kinds.size() == 3; }, 2s));
    EXPECT_EQ(kinds.back(), protocol::TTavrelCMD::cmdCRCError);
}

// The main window disconnects from inside an answer callback (old firmware): the callback runs under the
// list lock while the work task is busy writing, so stopping must neither deadlock nor leave the port open.
TEST_F(LinkTest, AnswerCallbackStopsTheRunningLink_PortReleasedWithoutDeadlock) {
    int answers = 0;
    Module._ListenerDataHelperSet(std::make_unique<TDataHelper>(
        kWindow, std::make_shared<protocol::TTavrelDataParser>(), [&](protocol::TTavrelCMD kind, const TBytes&) {
            if (kind == protocol::TTavrelCMD::cmdDeviceInfo && ++answers == 1) {
                Module._ListenerDataHelperRemove(kWindow, false);
                Module._TaskWorkStop();
                Module._SendData(Bytes("\x02;after;\x03"));
            }
        }));
    Register(0x2000);  // a dialog's listener keeps the work task writing
    for (int i = 0; i < 20; ++i) {
        Module._SendData(Bytes("\x02;3;0;65;\x03"));
    }
    Module._TaskWorkStart();
    ASSERT_TRUE(WaitForFrames(2));
    Pty->Write(testing::AnswerFrame("0;1234;12;24;v1.3"));
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 2s));
    // The work task closes and releases the port on its way out.
    EXPECT_TRUE(Log.PumpUntil(
        [&] { return Log.Count(std::string(subscribeComPortStatus) + "|**HR_SerialClose**|0") == 2; }, 2s));
    EXPECT_EQ(answers, 1);
    const auto written = Pty->Frames().size();
    Log.Pump(150ms);
    EXPECT_EQ(Pty->Frames().size(), written) << "nothing is written once stopped";
    EXPECT_EQ(Module.ListenerCount(), 1U);
}

// A failure in the work loop is shown on the main thread while the work task waits for it; then the task
// ends and the port is released.
TEST_F(LinkTest, FailureInTheWorkLoop_ShownOnTheMainThreadThenTheTaskStops) {
    std::vector<std::string> shown;
    bool onMain = false;
    Module.SetOnTaskFailure([&](const std::string& message) {
        onMain = bus::MessagingPlatform()->IsMainThread();
        shown.push_back(message);
    });
    TFailingOnWrite failing;
    TDataHelper* helper = nullptr;
    Register(kWindow, &helper);
    Module._SendData(Bytes("\x02;E;41;\x03"));
    Module._SendData(Bytes("\x02;never;\x03"));
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 3s));
    EXPECT_EQ(shown, std::vector<std::string>{"Unknown error in the exchange task"});
    EXPECT_TRUE(onMain);
    EXPECT_EQ(helper->GetData(), Bytes("\x02;never;\x03")) << "the task ended after the failing pass";
}

TEST_F(LinkTest, TaskWorkStart_WhileRunning_DoesNothing) {
    Register();
    Module._TaskWorkStart();
    Module._TaskWorkStart();
    Log.Pump(100ms);
    EXPECT_TRUE(Module.IsRunning());
    EXPECT_EQ(Log.Count(kConnect), 1U) << "the port connection was not re-created";
}

TEST_F(LinkTest, FramesQueuedWhileStopped_AreSentAfterRestart) {
    Register();
    Module._TaskWorkStart();
    Module._TaskWorkStop();
    EXPECT_FALSE(Module.IsRunning());
    Module._SendData(Bytes("\x02;first;\x03"));
    Module._SendData(Bytes("\x02;second;\x03"));
    Log.Pump(100ms);
    EXPECT_TRUE(Pty->Frames().empty());
    Module._TaskWorkStart();
    ASSERT_TRUE(WaitForFrames(2));
    EXPECT_EQ(Pty->Frames()[0].Bytes, Bytes("\x02;first;\x03"));
    EXPECT_EQ(Pty->Frames()[1].Bytes, Bytes("\x02;second;\x03"));
}

TEST_F(LinkTest, HangUp_PostsErrorAndAFreshStartConnectsAgain) {
    Register();
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 2s));
    Pty->HangUp();
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 3s)) << "the error handler stopped the module";
    EXPECT_EQ(Module.ListenerCount(), 0U);

    auto replacement = std::make_unique<TPty>();
    Module.SetComPortName(replacement->SlavePath());
    Pty = std::move(replacement);
    Register();
    Module._SendData(Bytes("\x02;again;\x03"));
    Module._TaskWorkStart();
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(Pty->Frames()[0].Bytes, Bytes("\x02;again;\x03"));
    EXPECT_EQ(Log.Count(kConnect), 2U);
}

TEST_F(LinkTest, WriteError_StopsTheTaskAndKeepsTheRestQueued) {
    StopOnError = false;  // only the write error may stop the task here
    TDataHelper* helper = nullptr;
    Register(kWindow, &helper);
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 2s));
    Pty->HangUp();
    // Once the listen task has seen the hang-up, every write fails.
    ASSERT_TRUE(Log.PumpUntil(
        [&] { return Log.Count(std::string(subscribeComPortError) + "|Error: Input/output error (5)|5") == 1; }, 2s));
    Module._SendData(Bytes("\x02;lost;\x03"));
    Module._SendData(Bytes("\x02;kept;\x03"));
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 3s));
    EXPECT_EQ(Module.ListenerCount(), 1U);
    EXPECT_EQ(helper->GetData(), Bytes("\x02;kept;\x03"));
}

// With nothing to open, the work task posts the error and ends by itself; the main window's handler then
// finds the module stopped, and the next start connects afresh.
TEST_F(LinkTest, ConnectFails_TheTaskPostsTheErrorAndEnds_NextStartConnects) {
    const std::string path = Pty->SlavePath();
    for (const std::string& bad : {std::string(), std::string("/dev/tavrel-no-such-port")}) {
        Log.Clear();
        TDataHelper* helper = nullptr;
        Register(kWindow, &helper);
        Module._SendData(Bytes("\x02;kept;\x03"));
        Module.SetComPortName(bad);
        Module._TaskWorkStart();
        EXPECT_TRUE(Log.PumpUntil([&] { return !Log.Entries().empty() && !Module.IsRunning(); }, 2s)) << bad;
        EXPECT_EQ(Log.Entries().front().Name, subscribeComPortError) << bad;
        EXPECT_EQ(Module.ListenerCount(), 0U) << "the handler removed the listener: " << bad;
    }
    Register();
    Module.SetComPortName(path);
    Module._SendData(Bytes("\x02;ok;\x03"));
    Module._TaskWorkStart();
    EXPECT_TRUE(Module.IsRunning());
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(Pty->Frames()[0].Bytes, Bytes("\x02;ok;\x03"));
}

// A work task that ends by itself is still closing the port when the next start comes: the new task waits
// for it, so the port is never opened twice (which would fail with "busy").
TEST_F(LinkTest, TaskEndsItselfAndAStartFollowsAtOnce_TheNewConnectionOpensThePort) {
    StopOnError = false;
    auto failing = std::make_unique<TFailingOnWrite>();
    Register();
    Module._SendData(Bytes("\x02;E;41;\x03"));
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 3s));
    failing.reset();
    Module._SendData(Bytes("\x02;again;\x03"));
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 2; }, 3s));
    // (The first frame may have been discarded unread by the purge that closing makes.)
    EXPECT_TRUE(Log.PumpUntil(
        [&] { return !Pty->Frames().empty() && Pty->Frames().back().Bytes == Bytes("\x02;again;\x03"); }, 3s));
    for (const auto& entry : Log.Entries()) {
        EXPECT_NE(entry.Name, subscribeComPortError) << entry.Event.Text;
    }
}

// The instrument simulator on its own pty: commands built by the command builder are queued, written by
// the work task, answered by the simulator and decoded by the real parser into the model.
class LinkSimulatorTest : public ::testing::Test {
  protected:
    void Connect(sim::TSimOptions options) {
        Sim = std::make_unique<sim::Simulator>(std::move(options));
        const std::string path = Sim->OpenPty();
        ASSERT_FALSE(path.empty()) << Sim->LastError();
        Sim->Start();
        Module.SetAutoDetect(false);
        Module.SetComPortName(path);
        Module._ListenerDataHelperSet(std::make_unique<TDataHelper>(
            kWindow, std::make_shared<protocol::TTavrelDataParser>(),
            [this](protocol::TTavrelCMD kind, const TBytes& data) {
                if (kind != protocol::TTavrelCMD::cmdUnknown && kind != protocol::TTavrelCMD::cmdCRCError) {
                    Models.emplace_back(kind, protocol::TTavrel::FromJSON(data));
                }
            }));
        Module._TaskWorkStart();
        ASSERT_TRUE(Module.IsRunning());
    }
    void TearDown() override {
        Module._TaskWorkStop();
        if (Sim) {
            Sim->Stop();
        }
    }

    static constexpr TWindowHandle kWindow = 0x3000;
    testing::TTestBus Bus;
    TMessageLog Log;
    TXComPortModule Module;
    std::unique_ptr<sim::Simulator> Sim;
    std::vector<std::pair<protocol::TTavrelCMD, std::unique_ptr<protocol::TTavrel>>> Models;
};

TEST_F(LinkSimulatorTest, IdentityAndMeasurement_AnsweredAndDecodedInOrder) {
    Log.OnMessage = [this](const TMessageLog::TEntry& entry) {
        if (entry.Name == subscribeComPortData && !entry.Data.empty()) {
            Module._ParseData(entry.Data);
        }
    };
    sim::TSimOptions options;
    options.Serial = "4321";
    options.Firmware = "02.07";
    Connect(options);
    Module._SendData(protocol::TTavrelCommand::getVersion());
    Module._SendData(protocol::TTavrelCommand::getMeasuringVolt());
    ASSERT_TRUE(Log.PumpUntil([&] { return Models.size() >= 2; }, 3s));
    EXPECT_EQ(Models[0].first, protocol::TTavrelCMD::cmdDeviceInfo);
    EXPECT_EQ(Models[0].second->NumberDevice(), 4321);
    EXPECT_EQ(Models[0].second->FirmwareDevice(), "02.07");
    EXPECT_EQ(Models[1].first, protocol::TTavrelCMD::cmdMeasure);
    EXPECT_EQ(Models[1].second->FirmwareDevice(), "02.07") << "one model per parser, updated answer by answer";
    EXPECT_EQ(Models[1].second->DicChannel().count(protocol::TChannelProperties::chpCh1Value), 1U);
    EXPECT_EQ(Sim->Counts().Received, 2U);
    EXPECT_EQ(Sim->Counts().BadCrc, 0U);
}

TEST_F(LinkSimulatorTest, SimulatorHangsUp_ErrorPostedAndAFreshStartConnectsAgain) {
    Log.OnMessage = [this](const TMessageLog::TEntry& entry) {
        if (entry.Name == subscribeComPortData && !entry.Data.empty()) {
            Module._ParseData(entry.Data);
        } else if (entry.Name == subscribeComPortError) {
            Module._TaskWorkStop();  // the main window's answer to every port error
        }
    };
    sim::TSimOptions options;
    options.HangUpAfterMs = 300;
    Connect(options);
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 3s));
    std::size_t errors = 0;
    for (const auto& entry : Log.Entries()) {
        errors += entry.Name == subscribeComPortError ? 1 : 0;
    }
    EXPECT_GE(errors, 1U);
    Sim->Stop();

    Models.clear();
    Module._ListenerDataHelperRemove(kWindow, false);
    Connect({});
    Module._SendData(protocol::TTavrelCommand::getVersion());
    ASSERT_TRUE(Log.PumpUntil([&] { return !Models.empty(); }, 3s));
    EXPECT_EQ(Models[0].first, protocol::TTavrelCMD::cmdDeviceInfo);
}

}  // namespace
}  // namespace tavrel::link
