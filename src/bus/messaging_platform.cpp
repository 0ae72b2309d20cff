#include "bus/messaging_platform.h"

#include <mutex>
#include <stdexcept>

namespace tavrel::bus {
namespace {

std::mutex& PlatformLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<IMessagingPlatform>& InstalledPlatform() {
    static std::shared_ptr<IMessagingPlatform> platform;
    return platform;
}

}  // namespace

void InstallMessagingPlatform(std::shared_ptr<IMessagingPlatform> platform) {
    const std::lock_guard guard(PlatformLock());
    InstalledPlatform() = std::move(platform);
}

std::shared_ptr<IMessagingPlatform> MessagingPlatform() {
    const std::lock_guard guard(PlatformLock());
    if (!InstalledPlatform()) {
        throw std::logic_error("No messaging platform installed");
    }
    return InstalledPlatform();
}

}  // namespace tavrel::bus
