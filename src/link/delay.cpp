#include "link/delay.h"

#include <chrono>
#include <exception>
#include <memory>
#include <thread>

#include "bus/messaging_platform.h"

namespace tavrel::link {

bool THalvo::Delay(std::uint32_t ATimeout) {
    using Clock = std::chrono::steady_clock;
    if (ATimeout == 0) {
        return true;
    }
    const auto total = std::chrono::milliseconds(ATimeout);
    std::shared_ptr<bus::IMessagingPlatform> platform;
    try {
        platform = bus::MessagingPlatform();
    } catch (const std::exception&) {
        platform.reset();  // no platform: no main thread to serve either
    }
    if (!platform || !platform->IsMainThread()) {
        std::this_thread::sleep_for(total);
        return true;
    }
    const auto start = Clock::now();
    for (auto elapsed = Clock::duration::zero(); elapsed < total; elapsed = Clock::now() - start) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(total - elapsed);
        if (!platform->ProcessMainThreadMessages(left)) {
            return false;
        }
    }
    return true;
}

}  // namespace tavrel::link
