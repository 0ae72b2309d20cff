#include "link_test_support.h"

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "bus/testing/manual_platform.h"

namespace tavrel::link::testing {

TBytes Bytes(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

#ifndef _WIN32
TPty::TPty() : FPty(test_support::TPseudoTerminal::TSlave::HeldRaw) {
    FReader = std::jthread([this](const std::stop_token& stop) { ReadLoop(stop); });
}

TPty::~TPty() {
    FReader.request_stop();
    FReader.join();
    HangUp();
}

void TPty::Write(const TBytes& bytes) {
    (void)test_support::WriteAll(FPty.Master(), bytes);
}

void TPty::HangUp() {
    const std::lock_guard guard(FLock);
    FPty.HangUp();
}

void TPty::ReadLoop(const std::stop_token& stop) {
    std::uint8_t buffer[4096];
    while (!stop.stop_requested()) {
        int master = -1;
        {
            const std::lock_guard guard(FLock);
            master = FPty.Master();
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
#endif

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

}  // namespace tavrel::link::testing
