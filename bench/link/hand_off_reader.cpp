#include "hand_off_reader.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

#include "bus/messaging_platform.h"

namespace tavrel::link::bench {

THandOffReader::THandOffReader() {
    FPort = ::open(FPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    FStop = ::eventfd(0, EFD_CLOEXEC);
    if (FPort < 0 || FStop < 0) {
        throw std::runtime_error("hand-off reader: cannot open its pty");
    }
    FListen = std::jthread([this] { Listen(); });
}

THandOffReader::~THandOffReader() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FStop, &one, sizeof one);
    FListen.join();
    ::close(FStop);
    ::close(FPort);
}

void THandOffReader::Listen() {
    const auto platform = bus::MessagingPlatform();
    pollfd fds[2] = {{FPort, POLLIN, 0}, {FStop, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) {
            return;
        }
        const std::int64_t woke = NowNs();
        TBytes chunk(4096);
        const ssize_t n = ::read(FPort, chunk.data(), chunk.size());
        if (n <= 0) {
            continue;
        }
        chunk.resize(static_cast<std::size_t>(n));
        platform->QueueOnMainThread([this, woke, chunk = std::move(chunk)] {
            FSeen.Feed(chunk.data(), chunk.size(), NowNs());
            FWoken.Feed(chunk.data(), chunk.size(), woke);
        });
    }
}

void THandOffReader::MeasureBlock(const TSharedStamps& stamps, std::vector<std::int64_t>& woken,
                                  std::vector<std::int64_t>& seen, long intervalUs, TBenchMain& mainThread) {
    FWoken.Start(woken);
    FSeen.Start(seen);
    MeasureWhilePumping(
        FPty.Master(), stamps, intervalUs, [this, &stamps] { return FSeen.Received() >= stamps.Count(); },
        [&mainThread] { mainThread.Pump(std::chrono::milliseconds(20)); });
    mainThread.Pump(std::chrono::milliseconds(5));  // nothing of this block may reach the next one
    FWoken.Stop();
    FSeen.Stop();
}

}  // namespace tavrel::link::bench
