#include "link/xcom_port.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bus/messaging_platform.h"
#include "bus/testing/manual_platform.h"
#include "hang_guard.h"
#include "link/serial_port.h"
#include "link_test_support.h"

namespace tavrel::link {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::TMessageLog;
using testing::TPty;

const std::string kStatus = std::string(subscribeComPortStatus) + "|";
const std::string kEvent = std::string(subscribeComPortEventStatus) + "|";
const std::string kError = std::string(subscribeComPortError) + "|";
const std::string kData = std::string(subscribeComPortData) + "|";

std::vector<std::string> ConnectLines(const std::string& path) {
    return {kStatus + "**HR_Connect**|0", kEvent + path + "|1"};
}

std::vector<std::string> ClosePair(const std::string& path) {
    return {kStatus + "**HR_SerialClose**|0", kEvent + path + "|0"};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class XComPortTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::InstallTestPlatform(); }

    std::unique_ptr<TXComPort> PortFor(const std::string& path) {
        auto port = std::make_unique<TXComPort>("VID_0483&PID_5740", "");
        port->SetAutoDetect(false);
        port->SetComPortName(path);
        return port;
    }

    // Connected to the pty, with its connect messages handled.
    std::unique_ptr<TXComPort> ConnectedTo(const TPty& pty) {
        auto port = PortFor(pty.SlavePath());
        port->Connect();
        Log.Pump(20ms);
        return port;
    }

    // The test platform, whose main-thread queue runs only while the test pumps it.
    static bus::TManualPlatform& Platform() { return dynamic_cast<bus::TManualPlatform&>(*bus::MessagingPlatform()); }

    testing::TTestBus Bus;
    TMessageLog Log;
};

TEST_F(XComPortTest, Connect_OpenPort_PostsConnectPairWithDevicePath) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    Log.Pump(20ms);
    EXPECT_THAT(Log.Lines(), ElementsAreArray(ConnectLines(pty.SlavePath())));
}

TEST_F(XComPortTest, Listen_OneChunk_PostsReadStatusesThenTheBytes) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    Log.Clear();
    pty.Write(Bytes("ABC"));
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kData + "ABC") == 1; }, 2s));
    EXPECT_THAT(Log.Lines(), ElementsAre(kStatus + "**HR_CanRead**|0", kEvent + "|2",
                                         kStatus + "**HR_ReadCount[3 byte]**|0", kEvent + "3|4", kData + "ABC"));
}

TEST_F(XComPortTest, Disconnect_OpenPort_PostsClosePairTwiceAndTheListenTaskEnds) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    Log.Clear();
    port->Disconnect();
    Log.Pump(50ms);
    // The two close pairs are handled while Disconnect runs on this thread; the cancel text comes from the
    // listen task and is queued.
    EXPECT_THAT(Log.Lines(), ElementsAreArray(Join({ClosePair(pty.SlavePath()),
                                                    ClosePair(pty.SlavePath()),
                                                    {kStatus + "**_StartListen is cancel**|0"}})));
}

TEST_F(XComPortTest, Connect_SecondTimeOnConnectedObject_ClosesTheOldPortFirst) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    port->Connect();
    Log.Pump(50ms);
    const auto path = pty.SlavePath();
    EXPECT_THAT(Log.Lines(), ElementsAreArray(Join({ConnectLines(path),
                                                    ClosePair(path),
                                                    ClosePair(path),
                                                    ConnectLines(path),
                                                    {kStatus + "**_StartListen is cancel**|0"}})));
}

TEST_F(XComPortTest, Connect_NoPortResolved_PostsNotFoundOnly) {
    TXComPort port("VID_FFFF&PID_FFFE", "");  // nothing on this machine has that id
    port.Connect();
    TXComPort named;
    named.SetAutoDetect(false);
    named.SetComPortName(" \t");
    named.Connect();
    Log.Pump(20ms);
    EXPECT_THAT(Log.Lines(), ElementsAre(kError + "Error: Com port not found (-1)|-1",
                                         kError + "Error: Com port not found (-1)|-1"));
}

struct TOpenFailure {
    const char* Name;
    std::string Path;
    int Errno;
};

class XComPortOpenFailureTest : public XComPortTest, public ::testing::WithParamInterface<TOpenFailure> {};

// The error reported is the open's own, not the invalid-handle error of configuring a port that never
// opened; no listen task starts, and releasing the port object reports the close once.
TEST_P(XComPortOpenFailureTest, Connect_PortCannotBeOpened_ReportsTheOpenErrorThenOneClosePair) {
    const auto& failure = GetParam();
    auto port = PortFor(failure.Path);
    port->Connect();
    Log.Pump(20ms);
    const std::string text = TSerialPort::GetErrorDesc(failure.Errno);
    EXPECT_THAT(Log.Lines(), ElementsAreArray(Join({{kError + "Error: " + text + " (" + std::to_string(failure.Errno) +
                                                     ")|" + std::to_string(failure.Errno)},
                                                    ClosePair(failure.Path)})));
}

INSTANTIATE_TEST_SUITE_P(Paths, XComPortOpenFailureTest,
                         ::testing::Values(TOpenFailure{"Missing", "/dev/tavrel-no-such-port", ENOENT},
                                           TOpenFailure{"Directory", "/tmp", EISDIR},
                                           TOpenFailure{"NotATerminal", "/dev/null", ENOTTY}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(XComPortTest, Connect_PortHeldByAnotherConnection_ReportsBusyThenOneClosePair) {
    TPty pty;
    auto holder = PortFor(pty.SlavePath());
    holder->Connect();
    Log.Clear();
    auto second = PortFor(pty.SlavePath());
    second->Connect();
    Log.Pump(20ms);
    EXPECT_THAT(Log.Lines(), ElementsAreArray(Join({{kError + "Error: " + TSerialPort::GetErrorDesc(EBUSY) + " (" +
                                                     std::to_string(EBUSY) + ")|" + std::to_string(EBUSY)},
                                                    ClosePair(pty.SlavePath())})));
}

// While the main thread does not keep up, the listen task stops reading after a bounded number of chunks
// (the rest waits in the driver), and disconnecting still ends it.
TEST_F(XComPortTest, Listen_MainThreadFallsBehind_ReadingPausesAndDisconnectEndsIt) {
    bus::TManualPlatform& platform = Platform();
    TPty pty;
    auto port = ConnectedTo(pty);
    // One chunk at a time: each wake reads one and queues its five messages as one procedure, which waits
    // in the main thread's queue. A chunk that is not queued within the wait stays in the driver.
    constexpr int kChunks = 80;
    int read = 0;
    {
        const test_support::THangGuard guard("writing chunks while the main thread falls behind", 30s);
        for (int i = 0; i < kChunks; ++i) {
            const std::size_t before = platform.PendingCount();
            pty.Write(Bytes("chunk;"));
            const auto end = std::chrono::steady_clock::now() + 500ms;
            while (platform.PendingCount() == before && std::chrono::steady_clock::now() < end) {
                std::this_thread::sleep_for(1ms);
            }
            if (platform.PendingCount() == before) {
                break;
            }
            ++read;
        }
    }
    EXPECT_EQ(read, 64) << "reading paused at the limit of chunks waiting for the main thread";
    {
        const test_support::THangGuard guard("Disconnect of a listen task that waits for room", 5s);
        port->Disconnect();
    }
    Log.Pump(50ms);
    std::size_t chunks = 0;
    for (const auto& entry : Log.Entries()) {
        chunks += entry.Name == subscribeComPortData ? 1 : 0;
    }
    EXPECT_EQ(chunks, 64U);
    // Cancelled right after a chunk: once from the read loop, once more from the cancel check.
    EXPECT_EQ(Log.Count(kStatus + "**_StartListen is cancel**|0"), 2U);
}

// A close handler that throws while the port connection is released: the failure reaches the platform's
// error handling from both destructors instead of terminating the program.
TEST_F(XComPortTest, CloseHandlerThrowsWhileReleasing_ReportedInsteadOfTerminating) {
    bus::TManualPlatform& platform = Platform();
    TPty pty;
    auto port = ConnectedTo(pty);
    platform.TakeErrors();
    Log.OnMessage = [](const TMessageLog::TEntry& entry) {
        if (entry.Event.Text == "**HR_SerialClose**") {
            throw std::runtime_error("close handler failed");
        }
    };
    port.reset();
    Log.OnMessage = nullptr;
    platform.RunPending();
    const auto errors = platform.TakeErrors();
    ASSERT_EQ(errors.size(), 2U) << "the port object's destructor and the connection's";
    for (const auto& error : errors) {
        try {
            std::rethrow_exception(error);
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "close handler failed");
        }
    }
}

TEST_F(XComPortTest, Listen_TimeOutZeroAndNoData_PostsTimeoutErrorAndEnds) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->SetTimeOut(0);
    port->Connect();
    const std::string timeout = kError + "Error: Timeout while waiting for data (0) (20000)|20000";
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(timeout) == 1; }, 2s));
    pty.Write(Bytes("late"));
    Log.Pump(100ms);
    EXPECT_EQ(Log.Count(kData + "late"), 0U) << "the listen task ended after the time-out";
}

TEST_F(XComPortTest, Listen_HangUp_PostsTheLineErrorOnce) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    Log.Clear();
    pty.HangUp();
    ASSERT_TRUE(Log.PumpUntil(
        [&] {
            for (const auto& e : Log.Entries()) {
                if (e.Name == subscribeComPortError) {
                    return true;
                }
            }
            return false;
        },
        2s));
    Log.Pump(100ms);
    std::size_t errors = 0;
    for (const auto& e : Log.Entries()) {
        errors += e.Name == subscribeComPortError ? 1 : 0;
    }
    EXPECT_EQ(errors, 1U);
}

TEST_F(XComPortTest, SendData_Connected_WritesTheBytesAndReportsTheCount) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    Log.Clear();
    std::string error = "stale";
    port->SendData(Bytes("\x02;3;0;65;\x03"), error);
    EXPECT_EQ(error, "");
    ASSERT_TRUE(pty.WaitForFrames(1, 2s));
    EXPECT_EQ(pty.Frames()[0].Bytes, Bytes("\x02;3;0;65;\x03"));
    Log.Pump(20ms);
    EXPECT_THAT(Log.Lines(), ElementsAre(kStatus + "**HR_WriteCount[10 byte]**|0", kEvent + "10|5"));
}

TEST_F(XComPortTest, SendData_LineHungUp_ReportsTheWriteFailure) {
    TPty pty;
    auto port = PortFor(pty.SlavePath());
    port->Connect();
    pty.HangUp();
    ASSERT_TRUE(Log.PumpUntil(
        [&] { return !Log.Entries().empty() && Log.Entries().back().Name == subscribeComPortError; }, 2s));
    std::string error;
    port->SendData(Bytes("\x02;E;41;\x03"), error);
    EXPECT_NE(error, "");
    std::string none = "stale";
    TXComPort closed;
    closed.SendData(Bytes("x"), none);
    EXPECT_EQ(none, "") << "no port object: nothing written, nothing reported";
}

TEST(XComPortGuid, Constructor_GuidTextParsedOrRefused) {
    EXPECT_EQ(TXComPort().PortsGUID(), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(TXComPort("VID_0483&PID_5740", " ").PortsGUID(), TXComPort::DefaultPortsGUID);
    EXPECT_EQ(TXComPort("x", "{4d36e978-e325-11ce-bfc1-08002be10318}").PortsGUID(), TXComPort::DefaultPortsGUID);
    EXPECT_THROW(TXComPort("x", "4D36E978-E325-11CE-BFC1-08002BE10318"), std::invalid_argument);
    EXPECT_THROW(TXComPort("x", "{4D36E978-E325-11CE-BFC1-08002BE1031G}"), std::invalid_argument);
}

}  // namespace
}  // namespace tavrel::link
