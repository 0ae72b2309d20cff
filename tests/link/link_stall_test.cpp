// A wedged instrument: it stays enumerated but takes no more data. The pty's master is never read and the
// queue towards it is full, so every write of the port waits for room; nothing the main thread calls may
// wait for that write.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "hang_guard.h"
#include "link/xcom_port.h"
#include "link/xcom_port_module.h"
#include "link_test_support.h"

namespace tavrel::link {
namespace {

using namespace std::chrono_literals;
using test_support::THangGuard;
using test_support::TimedCall;
using test_support::TPseudoTerminal;
using testing::Bytes;
using testing::TMessageLog;

const std::string kConnect = std::string(subscribeComPortStatus) + "|**HR_Connect**|0";
const std::string kClose = std::string(subscribeComPortStatus) + "|**HR_SerialClose**|0";
const testing::TBytes kFrame = Bytes("\x02;3;0;65;\x03");
constexpr auto kMainThreadLimit = 200ms;

class LinkStallTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::InstallTestPlatform(); }

    std::size_t Errors() const {
        std::size_t errors = 0;
        for (const auto& entry : Log.Entries()) {
            errors += entry.Name == subscribeComPortError ? 1 : 0;
        }
        return errors;
    }

    testing::TTestBus Bus;
    TMessageLog Log;
    TPseudoTerminal Pty{TPseudoTerminal::TSlave::HeldRaw};
};

TEST_F(LinkStallTest, Module_WriteWaitsForRoom_MainThreadCallsReturnAtOnceAndStopEndsTheSession) {
    TXComPortModule module;
    module.SetAutoDetect(false);
    module.SetComPortName(Pty.SlavePath());
    Log.OnMessage = [&](const TMessageLog::TEntry& entry) {
        if (entry.Name == subscribeComPortData && !entry.Data.empty()) {
            module._ParseData(entry.Data);
        }
    };
    auto owned = std::make_unique<TDataHelper>(0x1000, nullptr, nullptr);
    TDataHelper* window = owned.get();
    module._ListenerDataHelperSet(std::move(owned));
    module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 2s));
    ASSERT_TRUE(Pty.FillTowardsMaster());
    module._SendData(kFrame);
    // The work task takes the frame out at once; its write then waits for room.
    ASSERT_TRUE(Log.PumpUntil([&] { return window->Count() == 0; }, 2s));
    Log.Pump(100ms);

    EXPECT_LT(TimedCall("_SendData", [&] { module._SendData(kFrame); }), kMainThreadLimit);
    EXPECT_LT(TimedCall("_ParseData", [&] { module._ParseData(Bytes("chunk")); }), kMainThreadLimit);
    EXPECT_LT(
        TimedCall("_ListenerDataHelperSet",
                  [&] { module._ListenerDataHelperSet(std::make_unique<TDataHelper>(0x2000, nullptr, nullptr)); }),
        kMainThreadLimit);
    EXPECT_LT(TimedCall("_ListenerDataHelperRemove", [&] { module._ListenerDataHelperRemove(0x2000, false); }),
              kMainThreadLimit);
    EXPECT_LT(TimedCall("_TaskWorkStop", [&] { module._TaskWorkStop(); }), kMainThreadLimit);
    EXPECT_FALSE(module.IsRunning());

    // Within a second the port is closed and released (close reported twice), and the frame queued while
    // the write waited is still queued.
    EXPECT_TRUE(Log.PumpUntil([&] { return Log.Count(kClose) == 2; }, 1s));
    EXPECT_EQ(window->Count(), 1U);
    // A later connect opens the port again: the stalled connection let go of it.
    module._ListenerDataHelperRemove(0x1000, false);
    module._TaskWorkStart();
    EXPECT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 2; }, 2s));
    EXPECT_EQ(Errors(), 0U);
    const THangGuard guard("the module's destruction after a stalled session", 5s);
    module._TaskWorkStop();
}

TEST_F(LinkStallTest, PortConnection_DisconnectWhileAWriteWaitsForRoom_ReturnsAtOnceAndTheWriteFails) {
    TXComPort port("VID_0483&PID_5740", "");
    port.SetAutoDetect(false);
    port.SetComPortName(Pty.SlavePath());
    port.Connect();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 2s));
    ASSERT_TRUE(Pty.FillTowardsMaster());
    std::atomic<bool> written{false};
    std::string error;
    std::jthread writer([&] {
        port.SendData(kFrame, error);
        written = true;
    });
    std::this_thread::sleep_for(100ms);
    ASSERT_FALSE(written) << "the write should be waiting for room";

    EXPECT_LT(TimedCall("Disconnect", [&] { port.Disconnect(); }), kMainThreadLimit);
    {
        const THangGuard guard("the abandoned write", 5s);
        writer.join();
    }
    EXPECT_NE(error, "") << "an abandoned write is reported, so that the work task stops";
    Log.Pump(20ms);
    EXPECT_EQ(Log.Count(kClose), 2U);
}

}  // namespace
}  // namespace tavrel::link
