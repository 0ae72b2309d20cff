#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/mman.h>

#include "bench_support.h"

namespace tavrel::link::bench {

// A measurement answer carrying its sequence number as the channel 1 reading.
inline TBytes MeasureAnswer(long seq, bool badCrc = false) {
    return AnswerFrame("7;" + std::to_string(seq) + "(1);1.5(10);0.25(1);5;2026;12;9;23;15;30;log_on", badCrc);
}

// Time stamps shared with the writer child: WrittenNs[i] is taken just before answer i is written.
class TSharedStamps {
  public:
    explicit TSharedStamps(std::size_t count) : FCount(count) {
        void* memory =
            ::mmap(nullptr, count * sizeof(std::int64_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        FStamps = static_cast<std::int64_t*>(memory);
    }
    ~TSharedStamps() { ::munmap(FStamps, FCount * sizeof(std::int64_t)); }
    TSharedStamps(const TSharedStamps&) = delete;
    TSharedStamps& operator=(const TSharedStamps&) = delete;

    std::int64_t* Stamps() const { return FStamps; }
    std::size_t Count() const { return FCount; }

  private:
    std::size_t FCount;
    std::int64_t* FStamps = nullptr;
};

// Child body: after a settling pause, writes `count` answers `intervalUs` apart, stamping each write.
inline int WriteAnswers(int master, const TSharedStamps& stamps, long intervalUs, long startDelayMs) {
    ::usleep(static_cast<useconds_t>(startDelayMs * 1000));
    for (std::size_t i = 0; i < stamps.Count(); ++i) {
        const TBytes frame = MeasureAnswer(static_cast<long>(i));
        stamps.Stamps()[i] = NowNs();
        if (!WriteAll(master, frame)) {
            return 1;
        }
        ::usleep(static_cast<useconds_t>(intervalUs));
    }
    return 0;
}

// Has a child write stamps.Count() answers `intervalUs` apart while `pump` runs the reader's side, until
// `done` says all arrived or three seconds after the last one was due.
inline void MeasureWhilePumping(int master, const TSharedStamps& stamps, long intervalUs,
                                const std::function<bool()>& done, const std::function<void()>& pump) {
    const pid_t writer = StartWriter(master, [&](int fd) { return WriteAnswers(fd, stamps, intervalUs, 50); });
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(intervalUs * static_cast<long>(stamps.Count())) +
                          std::chrono::seconds(3);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        pump();
    }
    WaitWriter(writer);
}

}  // namespace tavrel::link::bench
