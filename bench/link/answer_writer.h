#pragma once

#include <cstdint>
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

}  // namespace tavrel::link::bench
