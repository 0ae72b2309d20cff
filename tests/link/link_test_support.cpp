#include "link_test_support.h"

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "bus/testing/manual_platform.h"
#include "protocol/crc_helper.h"

namespace tavrel::link::testing {

TBytes Bytes(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

TPty::TPty() {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[128] = {};
    if (::ptsname_r(FMaster, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal name");
    }
    FSlavePath = name;
    // Raw from the start, so that nothing is echoed or held back before the port configures itself; one
    // slave descriptor stays open so that the master does not see a hang-up between connections.
    FKeepSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    ::tcgetattr(FKeepSlave, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(FKeepSlave, TCSANOW, &settings);
    FReader = std::jthread([this](const std::stop_token& stop) { ReadLoop(stop); });
}

TPty::~TPty() {
    FReader.request_stop();
    FReader.join();
    HangUp();
    if (FKeepSlave >= 0) {
        ::close(FKeepSlave);
    }
}

void TPty::Write(const TBytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void TPty::HangUp() {
    const std::lock_guard guard(FLock);
    if (FMaster >= 0) {
        if (FKeepSlave >= 0) {
            ::close(FKeepSlave);
            FKeepSlave = -1;
        }
        ::close(FMaster);
        FMaster = -1;
    }
}

void TPty::ReadLoop(const std::stop_token& stop) {
    std::uint8_t buffer[4096];
    while (!stop.stop_requested()) {
        int master = -1;
        {
            const std::lock_guard guard(FLock);
            master = FMaster;
        }
        if (master < 0) {
            return;
        }
        pollfd entry{master, POLLIN, 0};
        if (::poll(&entry, 1, 20) <= 0 || (entry.revents & POLLIN) == 0) {
            continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        const std::lock_guard guard(FLock);
        for (ssize_t i = 0; i < n; ++i) {
            FPending.push_back(buffer[i]);
            if (buffer[i] == 0x03) {
                FFrames.push_back({now, std::move(FPending)});
                FPending.clear();
            }
        }
    }
}

std::vector<TPty::TReceived> TPty::Frames() const {
    const std::lock_guard guard(FLock);
    return FFrames;
}

bool TPty::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (Frames().size() >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Frames().size() >= count;
}

TMessageLog::TMessageLog() {
    bus::SharedMessaging().Subscribe(this);
}

TMessageLog::~TMessageLog() {
    bus::SharedMessaging().Unsubscribe(this);
}

const bus::TSubscriberClass& TMessageLog::SubscriberClass() const {
    static const bus::TSubscriberClass registration =
        bus::TSubscriberClass("LinkTestSupport", "TMessageLog")
            .Method<&TMessageLog::OnSubscribeComPortData>("OnSubscribeComPortData",
                                                          {subscribeComPortData, bus::TMessagingThread::Main})
            .Method<&TMessageLog::OnSubscribeComPortError>("OnSubscribeComPortError",
                                                           {subscribeComPortError, bus::TMessagingThread::Main})
            .Method<&TMessageLog::OnSubscribeComPortEventStatus>(
                "OnSubscribeComPortEventStatus", {subscribeComPortEventStatus, bus::TMessagingThread::Main})
            .Method<&TMessageLog::OnSubscribeComPortStatus>("OnSubscribeComPortStatus",
                                                            {subscribeComPortStatus, bus::TMessagingThread::Main});
    return registration;
}

void TMessageLog::OnSubscribeComPortData(const std::shared_ptr<ISubscribeMessage>& message) {
    Record(subscribeComPortData, message);
}

void TMessageLog::OnSubscribeComPortError(const std::shared_ptr<ISubscribeMessage>& message) {
    Record(subscribeComPortError, message);
}

void TMessageLog::OnSubscribeComPortEventStatus(const std::shared_ptr<ISubscribeMessage>& message) {
    Record(subscribeComPortEventStatus, message);
}

void TMessageLog::OnSubscribeComPortStatus(const std::shared_ptr<ISubscribeMessage>& message) {
    Record(subscribeComPortStatus, message);
}

void TMessageLog::Record(const char* name, const std::shared_ptr<ISubscribeMessage>& message) {
    TEntry entry{name, message->MessageEvent(), message->Data()};
    {
        const std::lock_guard guard(FLock);
        FEntries.push_back(entry);
    }
    if (OnMessage) {
        OnMessage(entry);
    }
}

std::vector<TMessageLog::TEntry> TMessageLog::Entries() const {
    const std::lock_guard guard(FLock);
    return FEntries;
}

void TMessageLog::Clear() {
    const std::lock_guard guard(FLock);
    FEntries.clear();
}

std::vector<std::string> TMessageLog::Lines(bool withData) const {
    std::vector<std::string> lines;
    for (const auto& entry : Entries()) {
        if (entry.Name == subscribeComPortData) {
            if (withData) {
                lines.push_back(entry.Name + "|" + std::string(entry.Data.begin(), entry.Data.end()));
            }
            continue;
        }
        lines.push_back(entry.Name + "|" + entry.Event.Text + "|" + std::to_string(entry.Event.ErrorCode));
    }
    return lines;
}

std::size_t TMessageLog::Count(const std::string& line) const {
    std::size_t count = 0;
    for (const auto& l : Lines()) {
        count += l == line ? 1 : 0;
    }
    return count;
}

bool TMessageLog::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        bus::MessagingPlatform()->ProcessMainThreadMessages(std::chrono::milliseconds(5));
    }
    return true;
}

void TMessageLog::Pump(std::chrono::milliseconds duration) {
    bus::MessagingPlatform()->ProcessMainThreadMessages(duration);
}

void InstallTestPlatform() {
    bus::InstallMessagingPlatform(std::make_shared<bus::TManualPlatform>());
    static const bool created = [] {
        bus::InitializeMessaging();
        return true;
    }();
    (void)created;
}

TBytes AnswerFrame(const std::string& body, bool badCrc) {
    const std::string head = "\x02;" + body + ";";
    TBytes frame(head.begin(), head.end());
    int crc = protocol::TCRCHelper::CRC7Calc(frame, -1);
    if (badCrc) {
        crc ^= 0x11;
    }
    char text[3];
    std::snprintf(text, sizeof text, "%02X", crc);
    frame.push_back(static_cast<std::uint8_t>(text[0]));
    frame.push_back(static_cast<std::uint8_t>(text[1]));
    frame.push_back(';');
    frame.push_back(0x03);
    return frame;
}

}  // namespace tavrel::link::testing
