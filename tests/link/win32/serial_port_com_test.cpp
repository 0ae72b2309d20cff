// The Win32 serial port on a real COM port. Under Wine the script points the port (TAVREL_TEST_COM, for
// example COM5) at a pseudo-terminal played by tavrel-sim; without that variable these cases are skipped.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "link/serial_port.h"
#include "protocol/tavrel_command.h"
#include "protocol/tavrel_data_parser.h"

namespace tavrel::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kErrorInvalidHandle = 6;
constexpr int kErrorAccessDenied = 5;

// The COM name the script prepared, or empty.
std::string TestCom() {
    const char* name = std::getenv("TAVREL_TEST_COM");
    return name == nullptr ? std::string() : std::string(name);
}

bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int ComNumber(const std::string& Com) {
    return std::stoi(Com.substr(3));
}

std::string DevicePath(const std::string& Com) {
    return "\\\\.\\COM" + std::to_string(ComNumber(Com));
}

class TReasons {
  public:
    THookSerialStatus Hook() {
        return [this](TSerialPort&, THookSerialReason Reason, const std::string&) {
            const std::lock_guard guard(Lock);
            Items.push_back(Reason);
        };
    }
    int Count(THookSerialReason Reason) const {
        const std::lock_guard guard(Lock);
        int n = 0;
        for (const THookSerialReason item : Items) {
            n += item == Reason ? 1 : 0;
        }
        return n;
    }
    mutable std::mutex Lock;
    std::vector<THookSerialReason> Items;
};

class ComPort : public ::testing::Test {
  protected:
    void SetUp() override {
        Com = TestCom();
        if (Com.empty()) {
            GTEST_SKIP() << "TAVREL_TEST_COM is not set: no COM port prepared";
        }
        Port.SetOnStatus(Reasons.Hook());
        Port.SetDeadlockTimeout(10000);
        Port.Connect(Com);
        ASSERT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
    }

    // Sends a command and feeds what comes back to the parser until an answer of Kind is decoded.
    std::vector<std::uint8_t> Ask(const std::vector<std::uint8_t>& Command, protocol::TTavrelCMD Kind) {
        auto parser = std::make_shared<protocol::TTavrelDataParser>();
        std::vector<std::uint8_t> answer;
        bool found = false;
        parser->OnData([&](protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
            if (kind == Kind) {
                answer = data;
                found = true;
            }
        });
        EXPECT_EQ(Port.SendBuffer(Command.data(), static_cast<int>(Command.size())), static_cast<int>(Command.size()));
        EXPECT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
        const auto deadline = Clock::now() + 5s;
        while (!found && Clock::now() < deadline) {
            if (!Port.CanRead(500)) {
                continue;
            }
            std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::max(Port.WaitingData(), 1)));
            const int got = Port.RecvBuffer(chunk.data(), static_cast<int>(chunk.size()));
            chunk.resize(static_cast<std::size_t>(got));
            parser->AddData(chunk);
        }
        EXPECT_TRUE(found) << "no answer decoded";
        return answer;
    }

    std::string Com;
    TReasons Reasons;
    TSerialPort Port;
};

TEST_F(ComPort, Connect_OpensTheNumberedDevicePath) {
    EXPECT_TRUE(Port.InstanceActive());
    EXPECT_EQ(Port.Device(), DevicePath(Com));
    EXPECT_EQ(Port.FComNr(), ComNumber(Com) - 1);
    EXPECT_EQ(Reasons.Count(THookSerialReason::HR_Connect), 1);
}

TEST_F(ComPort, Connect_LowerCaseAndDevicePathOpenTheSameDevice) {
    Port.CloseSocket();
    std::string lower = Com;
    lower[0] = 'c';
    lower[1] = 'o';
    lower[2] = 'm';
    for (const std::string& name : {lower, DevicePath(Com)}) {
        SCOPED_TRACE(name);
        Port.Connect(name);
        EXPECT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
        EXPECT_EQ(Port.Device(), DevicePath(Com));
        Port.CloseSocket();
    }
}

TEST_F(ComPort, Connect_SecondOpenIsRefusedAsOwnedByAnotherProgram) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine 8 does not enforce share mode 0 on a serial device: a second CreateFileW succeeds";
    }
    TSerialPort second;
    second.Connect(Com);
    EXPECT_FALSE(second.InstanceActive());
    EXPECT_EQ(second.LastError(), kErrorAccessDenied);
    EXPECT_NE(second.ConnectErrorDesc().find("занят другой программой"), std::string::npos)
        << second.ConnectErrorDesc();
    // The first owner keeps working.
    Port.Config(115200, 8, 'N', 0, false, false);
    EXPECT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
}

TEST_F(ComPort, Connect_OnAnActiveInstanceIsRefused) {
    Port.Connect(Com);
    EXPECT_EQ(Port.LastError(), TSerialPort::ErrAlreadyInUse);
    EXPECT_TRUE(Port.InstanceActive());
}

TEST_F(ComPort, Config_SetsTheLineOf115200_8N1) {
    Port.Config(115200, 8, 'N', 0, false, false);
    EXPECT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
}

TEST_F(ComPort, CanRead_WithNothingWaitingAndNoTimeReturnsAtOnce) {
    Port.Config(115200, 8, 'N', 0, false, false);
    const auto start = Clock::now();
    EXPECT_FALSE(Port.CanRead(0));
    EXPECT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_EQ(Port.WaitingData(), 0);
}

TEST_F(ComPort, CanRead_WithoutLimitIsEndedByACloseFromAnotherThread) {
    Port.Config(115200, 8, 'N', 0, false, false);
    std::atomic<bool> started{false};
    auto waiting = std::async(std::launch::async, [&] {
        started = true;
        return Port.CanRead(-1);
    });
    while (!started) {
        std::this_thread::yield();
    }
    EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout) << "the wait ended without a byte";
    const auto closing = Clock::now();
    Port.CloseSocket();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready) << "the close did not end the wait";
    EXPECT_FALSE(waiting.get());
    // The close ends a wait or a read in progress at once, not after a read attempt has run out.
    EXPECT_LT(Clock::now() - closing, 150ms);
    EXPECT_FALSE(Port.InstanceActive());
}

TEST_F(ComPort, Exchange_TheInstrumentsAnswersAreDecoded) {
    Port.Config(115200, 8, 'N', 0, false, false);
    ASSERT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
    const std::vector<std::uint8_t> identity =
        Ask(protocol::TTavrelCommand::getVersion(), protocol::TTavrelCMD::cmdDeviceInfo);
    EXPECT_FALSE(identity.empty());
    // The model comes as UTF-16LE JSON: the simulator's serial number shows as 1\0 2\0 3\0 4\0.
    const std::string text(identity.begin(), identity.end());
    EXPECT_NE(text.find(std::string("1\0002\0003\0004\0", 8)), std::string::npos);
    EXPECT_FALSE(Ask(protocol::TTavrelCommand::getAKBState(), protocol::TTavrelCMD::cmdAKBInfo).empty());
    EXPECT_GT(Reasons.Count(THookSerialReason::HR_ReadCount), 0);
    EXPECT_EQ(Reasons.Count(THookSerialReason::HR_WriteCount), 2);
}

// Run against a simulator that hangs up (--hangup-after): the line's end is an error, never a busy wait.
TEST_F(ComPort, HangUp_BecomesAnErrorNotASpin) {
    Port.Config(115200, 8, 'N', 0, false, false);
    const auto deadline = Clock::now() + 10s;
    int waits = 0;
    bool failed = false;
    while (!failed && Clock::now() < deadline) {
        ++waits;
        if (Port.CanRead(1000)) {
            std::uint8_t buffer[256];
            Port.RecvBuffer(buffer, std::min(Port.WaitingData(), static_cast<int>(sizeof(buffer))));
        }
        failed = Port.LastError() != 0;
    }
    ASSERT_TRUE(failed) << "the hang-up was not reported within 10 s";
    EXPECT_FALSE(Port.LastErrorDesc().empty());
    // A returning wait per second at most: no wait may come back at once without a byte while the line is up.
    EXPECT_LT(waits, 15);
    // Every later wait also fails at once instead of reporting data.
    EXPECT_FALSE(Port.CanRead(1000));
    EXPECT_NE(Port.LastError(), 0);
}

TEST(ComNames, NotNumberedNamesAreOpenedUnchangedAndFail) {
    for (const std::string name : {"COM0", "COM", "COMX"}) {
        SCOPED_TRACE(name);
        TReasons reasons;
        TSerialPort port;
        port.SetOnStatus(reasons.Hook());
        port.Connect(name);
        EXPECT_EQ(port.Device(), name);
        EXPECT_EQ(port.FComNr(), -1);
        EXPECT_NE(port.LastError(), 0);
        EXPECT_FALSE(port.InstanceActive());
        EXPECT_EQ(reasons.Count(THookSerialReason::HR_Connect), 0);
    }
}

TEST(ComNames, MissingNumberedPortFailsWithTheSystemsText) {
    TSerialPort port;
    port.Connect("/dev/ttyS199");
    EXPECT_EQ(port.Device(), "\\\\.\\COM200");
    EXPECT_EQ(port.FComNr(), 199);
    EXPECT_NE(port.LastError(), 0);
    EXPECT_NE(port.LastErrorDesc().rfind("System error", 0), 0U) << port.LastErrorDesc();
}

TEST(ComNames, ConfigOnANeverOpenedPortEndsWithTheInvalidHandleError) {
    TSerialPort port;
    port.Config(115200, 8, 'N', 0, false, false);
    EXPECT_EQ(port.LastError(), kErrorInvalidHandle);
    EXPECT_FALSE(port.LastErrorDesc().empty());
}

}  // namespace
}  // namespace tavrel::link
