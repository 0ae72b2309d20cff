#pragma once

#include <cstdint>

namespace tavrel::link {

// The serial link's own share of the support helpers.
struct THalvo {
    // Waits ATimeout milliseconds. On the main thread queued main-thread work keeps running meanwhile,
    // and the answer is false as soon as the application was asked to quit; elsewhere it only sleeps.
    static bool Delay(std::uint32_t ATimeout);
};

}  // namespace tavrel::link
