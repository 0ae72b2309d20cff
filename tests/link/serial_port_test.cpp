#include "link/serial_port.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <grp.h>
#include <mutex>
#include <ostream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hang_guard.h"
#include "pty_pair.h"

namespace tavrel::link {
namespace {

using testing::TPtyPair;

struct TStatus {
    THookSerialReason Reason;
    std::string Value;
    bool operator==(const TStatus&) const = default;
};

// Records every status report of one port.
class TStatusLog {
  public:
    THookSerialStatus Hook() {
        return [this](TSerialPort&, THookSerialReason Reason, const std::string& Value) {
            const std::lock_guard guard(Lock);
            Items.push_back({Reason, Value});
        };
    }
    std::vector<TStatus> Of(THookSerialReason Reason) const {
        const std::lock_guard guard(Lock);
        std::vector<TStatus> result;
        for (const TStatus& item : Items) {
            if (item.Reason == Reason) {
                result.push_back(item);
            }
        }
        return result;
    }
    mutable std::mutex Lock;
    std::vector<TStatus> Items;
};

class SerialPortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        Port.SetOnStatus(Log.Hook());
        Port.Connect(Pty.SlavePath());
        ASSERT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
        Port.Config(115200, 8, 'N', 0, false, false);
        ASSERT_EQ(Port.LastError(), 0) << Port.LastErrorDesc();
    }

    TPtyPair Pty;
    TStatusLog Log;
    TSerialPort Port;
};

TEST_F(SerialPortOnPty, Connect_ReportsDeviceAndIsActive) {
    EXPECT_TRUE(Port.InstanceActive());
    EXPECT_EQ(Port.Device(), Pty.SlavePath());
    EXPECT_EQ(Port.FComNr(), -1);
    EXPECT_NE(Port.Handle(), os::InvalidHandle);
    EXPECT_EQ(Log.Of(THookSerialReason::HR_Connect),
              (std::vector<TStatus>{{THookSerialReason::HR_Connect, Pty.SlavePath()}}));
}

TEST_F(SerialPortOnPty, Connect_SecondOpenOfHeldPortFailsAsBusy) {
    TStatusLog otherLog;
    TSerialPort other;
    other.SetOnStatus(otherLog.Hook());
    other.Connect(Pty.SlavePath());
    EXPECT_EQ(other.LastError(), EBUSY);
    EXPECT_NE(other.LastErrorDesc().find("in use by another program"), std::string::npos) << other.LastErrorDesc();
    EXPECT_EQ(other.ConnectError(), EBUSY);
    EXPECT_FALSE(other.InstanceActive());
    EXPECT_TRUE(otherLog.Of(THookSerialReason::HR_Connect).empty());
}

TEST_F(SerialPortOnPty, Connect_OnActiveInstanceIsRefused) {
    Port.Connect(Pty.SlavePath());
    EXPECT_EQ(Port.LastError(), TSerialPort::ErrAlreadyInUse);
    EXPECT_EQ(Port.LastErrorDesc(), "Instance already in use");
    EXPECT_TRUE(Port.InstanceActive());
}

TEST_F(SerialPortOnPty, CanRead_ZeroTimeoutWithNothingWaitingReturnsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Port.CanRead(0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(Port.LastError(), 0);
    EXPECT_TRUE(Log.Of(THookSerialReason::HR_CanRead).empty());
}

TEST_F(SerialPortOnPty, CanRead_TimesOutWithoutErrorThenSeesBytes) {
    EXPECT_FALSE(Port.CanRead(30));
    EXPECT_EQ(Port.LastError(), 0);
    Pty.Write("abc");
    ASSERT_TRUE(Port.CanRead(1000));
    EXPECT_EQ(Log.Of(THookSerialReason::HR_CanRead).size(), 1U);
}

TEST_F(SerialPortOnPty, RecvAndSend_TransferBytesAndReportCounts) {
    Pty.Write("hello");
    ASSERT_TRUE(Port.CanRead(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(Port.WaitingData(), 5);
    char buffer[5] = {};
    EXPECT_EQ(Port.RecvBuffer(buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(Port.LastError(), 0);

    const std::string frame = "\x02;3;0;65;\x03";
    EXPECT_EQ(Port.SendBuffer(frame.data(), static_cast<int>(frame.size())), 10);
    EXPECT_EQ(Pty.Read(10), frame);

    EXPECT_EQ(Log.Of(THookSerialReason::HR_ReadCount), (std::vector<TStatus>{{THookSerialReason::HR_ReadCount, "5"}}));
    EXPECT_EQ(Log.Of(THookSerialReason::HR_WriteCount),
              (std::vector<TStatus>{{THookSerialReason::HR_WriteCount, "10"}}));
}

TEST_F(SerialPortOnPty, RecvBuffer_LengthZeroTransfersNothingAndReportsZero) {
    Pty.Write("x");
    char buffer[1] = {};
    EXPECT_EQ(Port.RecvBuffer(buffer, 0), 0);
    EXPECT_EQ(Port.LastError(), 0);
    EXPECT_EQ(Log.Of(THookSerialReason::HR_ReadCount), (std::vector<TStatus>{{THookSerialReason::HR_ReadCount, "0"}}));
    ASSERT_TRUE(Port.CanRead(1000));
    EXPECT_EQ(Port.WaitingData(), 1);
}

TEST_F(SerialPortOnPty, RecvBuffer_ShortOfBytesEndsInTimeoutWithPartialCount) {
    Port.SetDeadlockTimeout(50);
    Pty.Write("abc");
    char buffer[10] = {};
    EXPECT_EQ(Port.RecvBuffer(buffer, 10), 3);
    EXPECT_EQ(Port.LastError(), TSerialPort::ErrTimeout);
    EXPECT_EQ(Port.LastErrorDesc(), "Timeout during operation");
    EXPECT_EQ(Log.Of(THookSerialReason::HR_ReadCount), (std::vector<TStatus>{{THookSerialReason::HR_ReadCount, "3"}}));
}

TEST_F(SerialPortOnPty, CloseSocket_FromAnotherThreadEndsEndlessWait) {
    std::atomic<bool> result{true};
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        result = Port.CanRead(-1);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done);
    Port.CloseSocket();
    waiter.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(Port.InstanceActive());
    EXPECT_EQ(Port.Handle(), os::InvalidHandle);
}

TEST_F(SerialPortOnPty, HangUp_BecomesErrorInsteadOfEndlessReadableWakes) {
    std::atomic<bool> result{true};
    std::thread waiter([&] { result = Port.CanRead(-1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Pty.HangUp();
    {
        // A wait that spins on the hung-up line instead of ending fails here, not at CTest's time-out.
        const test_support::THangGuard guard("CanRead(-1) on a hung-up line", std::chrono::seconds(5));
        waiter.join();
    }
    EXPECT_FALSE(result);
    EXPECT_EQ(Port.LastError(), EIO) << Port.LastErrorDesc();
    EXPECT_EQ(Port.LastErrorDesc(), std::strerror(EIO));

    // A listen loop on a hung-up line must stop: every later wait reports the error too.
    int wakes = 0;
    while (wakes < 100 && Port.CanRead(100)) {
        char buffer[16];
        Port.RecvBuffer(buffer, Port.WaitingData());
        ++wakes;
    }
    EXPECT_EQ(wakes, 0);
    EXPECT_NE(Port.LastError(), 0);
}

TEST(SerialPort, CloseThenDestroy_ReportsSerialCloseTwice) {
    auto port = std::make_unique<TSerialPort>();
    TPtyPair pty;
    TStatusLog log;
    port->SetOnStatus(log.Hook());
    port->Connect(pty.SlavePath());
    port->CloseSocket();
    EXPECT_EQ(port->LastError(), 0);
    port.reset();
    const std::vector<TStatus> expected(2, TStatus{THookSerialReason::HR_SerialClose, pty.SlavePath()});
    EXPECT_EQ(log.Of(THookSerialReason::HR_SerialClose), expected);
}

TEST(SerialPort, Destroy_NeverOpenedReportsOneSerialClose) {
    TStatusLog log;
    {
        TSerialPort port;
        port.SetOnStatus(log.Hook());
    }
    EXPECT_EQ(log.Items, (std::vector<TStatus>{{THookSerialReason::HR_SerialClose, ""}}));

    TStatusLog failed;
    {
        TSerialPort port;
        port.SetOnStatus(failed.Hook());
        port.Connect("/dev/tavrel-no-such-port");
    }
    EXPECT_EQ(failed.Items, (std::vector<TStatus>{{THookSerialReason::HR_SerialClose, "/dev/tavrel-no-such-port"}}));
}

TEST(SerialPort, Connect_MissingDeviceKeepsOpenErrorAfterConfig) {
    TSerialPort port;
    port.Connect("/dev/tavrel-no-such-port");
    EXPECT_EQ(port.LastError(), ENOENT);
    EXPECT_EQ(port.LastErrorDesc(), std::strerror(ENOENT));
    EXPECT_FALSE(port.InstanceActive());

    port.Config(115200, 8, 'N', 0, false, false);
    EXPECT_EQ(port.LastError(), EBADF);
    EXPECT_EQ(port.LastErrorDesc(), std::strerror(EBADF));
    EXPECT_EQ(port.ConnectError(), ENOENT);
    EXPECT_EQ(port.ConnectErrorDesc(), std::strerror(ENOENT));
}

// Run as an unprivileged user in a child, so that the open meets the device node's permissions.
TEST(SerialPort, Connect_AccessDeniedNamesTheOwningGroupAndThePackagesRule) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    }
    TPtyPair pty;
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0620), 0);
    struct stat info {};
    ASSERT_EQ(::stat(pty.SlavePath().c_str(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    const std::string groupName = owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);

    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        TSerialPort port;
        port.Connect(pty.SlavePath());
        const std::string report = std::to_string(port.LastError()) + "\n" + port.LastErrorDesc() + "\n" +
                                   std::to_string(port.ConnectError()) + "\n" + port.ConnectErrorDesc();
        const bool written = ::write(channel[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
        ::_exit(written ? 0 : 4);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n = 0; (n = ::read(channel[0], buffer, sizeof(buffer))) > 0;) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string denied = std::strerror(EACCES);
    const std::string expected = std::to_string(EACCES) + "\n" + denied + "\n" + std::to_string(EACCES) + "\n" +
                                 denied + ". Нет доступа к порту " + pty.SlavePath() +
                                 ": пользователь должен входить в группу «" + groupName +
                                 "», которой принадлежит порт, или работать за этим компьютером, где установлен "
                                 "пакет tavrel-check: его правило udev открывает прибор такому пользователю (после "
                                 "установки переподключите прибор)";
    EXPECT_EQ(report, expected);
}

TEST(SerialPort, Connect_NonTerminalIsRefused) {
    TSerialPort port;
    port.Connect("/dev/null");
    EXPECT_EQ(port.LastError(), ENOTTY);
    EXPECT_FALSE(port.InstanceActive());
}

TEST(SerialPort, ReadWrite_OnClosedInstanceFailWithoutCount) {
    TStatusLog log;
    TSerialPort port;
    port.SetOnStatus(log.Hook());
    char buffer[4] = {};
    EXPECT_EQ(port.RecvBuffer(buffer, 4), 0);
    EXPECT_EQ(port.LastError(), TSerialPort::ErrPortNotOpen);
    EXPECT_EQ(port.SendBuffer(buffer, 4), 0);
    EXPECT_EQ(port.LastError(), TSerialPort::ErrPortNotOpen);
    EXPECT_EQ(port.LastErrorDesc(), "Instance not yet connected");
    EXPECT_TRUE(log.Items.empty());
}

TEST(SerialPort, RaiseExcept_ThrowsSerialErrorWithCodeAndText) {
    TSerialPort port;
    port.SetRaiseExcept(true);
    char buffer[1] = {};
    try {
        port.RecvBuffer(buffer, 1);
        FAIL() << "no exception";
    } catch (const ESerialError& error) {
        EXPECT_EQ(error.ErrorCode, 9994);
        EXPECT_EQ(error.ErrorMessage, "Instance not yet connected");
        EXPECT_STREQ(error.what(), "Communication error 9994: Instance not yet connected");
    }
    EXPECT_THROW(port.Connect("/dev/tavrel-no-such-port"), ESerialError);
    port.SetRaiseExcept(false);
    EXPECT_NO_THROW(port.RecvBuffer(buffer, 1));
}

TEST(SerialPort, SerialCheck_TakesOsErrorOnlyForMinusOne) {
    TSerialPort port;
    errno = EPIPE;
    EXPECT_EQ(port.SerialCheck(-1), EPIPE);
    EXPECT_EQ(port.LastErrorDesc(), std::strerror(EPIPE));
    EXPECT_EQ(port.SerialCheck(5), 0);
    EXPECT_EQ(port.LastErrorDesc(), "OK");
}

struct TErrorCase {
    std::int32_t Code;
    const char* Text;
};

void PrintTo(const TErrorCase& row, std::ostream* out) {
    *out << row.Code;
}

class SerialPortErrorTable : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(SerialPortErrorTable, GetErrorDesc_GivesTableText) {
    EXPECT_EQ(TSerialPort::GetErrorDesc(GetParam().Code), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SerialPortErrorTable,
    ::testing::Values(TErrorCase{0, "OK"}, TErrorCase{9991, "Port owned by other process"},
                      TErrorCase{9992, "Instance already in use"}, TErrorCase{9993, "Wrong parameter at call"},
                      TErrorCase{9994, "Instance not yet connected"}, TErrorCase{9995, "No device answer detected"},
                      TErrorCase{9996, "Maximal buffer length exceeded"}, TErrorCase{9997, "Timeout during operation"},
                      TErrorCase{9998, "Reading of data failed"}, TErrorCase{9999, "Receive framing error"},
                      TErrorCase{10000, "Receive Overrun Error"}, TErrorCase{10001, "Receive Queue overflow"},
                      TErrorCase{10002, "Receive Parity Error"}, TErrorCase{10003, "Tranceive Queue is full"}),
    [](const ::testing::TestParamInfo<TErrorCase>& row) { return "Code" + std::to_string(row.param.Code); });

TEST(SerialPort, GetErrorDesc_OtherCodesUseOsText) {
    EXPECT_EQ(TSerialPort::GetErrorDesc(ENOENT), std::strerror(ENOENT));
    EXPECT_EQ(TSerialPort::GetErrorDesc(EACCES), std::strerror(EACCES));
    EXPECT_NE(TSerialPort::GetErrorDesc(EBUSY).find("in use by another program"), std::string::npos);
}

// Exposes the line-error decoding for a table of flag sets.
class TDecodingPort : public TSerialPort {
  public:
    using TSerialPort::DecodeLineErrors;
};

TEST(SerialPort, DecodeLineErrors_HighestCodeWins) {
    TDecodingPort port;
    port.DecodeLineErrors(TSerialPort::leFrame);
    EXPECT_EQ(port.LastError(), 9999);
    port.DecodeLineErrors(TSerialPort::leFrame | TSerialPort::leParity);
    EXPECT_EQ(port.LastError(), 10002);
    port.DecodeLineErrors(TSerialPort::leOverrun | TSerialPort::leRxOver);
    EXPECT_EQ(port.LastError(), 10001);
    port.DecodeLineErrors(TSerialPort::leTxFull | TSerialPort::leFrame);
    EXPECT_EQ(port.LastError(), 10003);
}

// One reader, one writer and a closing thread on one port, as the port connection uses it.
TEST_F(SerialPortOnPty, Concurrency_ReadWriteAndCloseFromThreeThreads) {
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        while (!stop) {
            const std::string got = Pty.Read(64, 10);
            if (!got.empty()) {
                Pty.Write(got);
            }
        }
    });
    std::atomic<int> received{0};
    std::thread reader([&] {
        while (Port.CanRead(-1)) {
            std::vector<char> buffer(static_cast<std::size_t>(std::max(Port.WaitingData(), 1)));
            received += Port.RecvBuffer(buffer.data(), static_cast<int>(buffer.size()));
        }
    });
    std::thread writer([&] {
        const std::string frame = "\x02;3;7;54;\x03";
        while (Port.InstanceActive()) {
            Port.SendBuffer(frame.data(), static_cast<int>(frame.size()));
            (void)Port.LastErrorDesc();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Port.CloseSocket();
    reader.join();
    writer.join();
    stop = true;
    echo.join();
    EXPECT_GT(received.load(), 0);
    EXPECT_FALSE(Port.InstanceActive());
}

}  // namespace
}  // namespace tavrel::link
