#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bench_support.h"

namespace tavrel::link::bench {

// Gathers the bytes of the answers WriteAnswers writes and stamps each answer when the chunk that
// completes it arrives: seen[sequence] = the time the reader got that chunk.
class TAnswerStamper {
  public:
    void Start(std::vector<std::int64_t>& seen) {
        FSeen = &seen;
        FReceived = 0;
        FPending.clear();
    }
    void Stop() { FSeen = nullptr; }
    std::size_t Received() const { return FReceived; }

    void Feed(const std::uint8_t* data, std::size_t size, std::int64_t now) {
        for (std::size_t i = 0; i < size; ++i) {
            FPending.push_back(data[i]);
            if (data[i] == 0x03) {
                Complete(now);
            }
        }
    }

  private:
    void Complete(std::int64_t now) {
        // "\x02;" + body + ";CC;\x03": the body starts at 2.
        const long seq = FPending.size() > 2 ? SequenceOf(TBytes(FPending.begin() + 2, FPending.end())) : -1;
        if (FSeen != nullptr && seq >= 0 && static_cast<std::size_t>(seq) < FSeen->size() && (*FSeen)[seq] == 0) {
            (*FSeen)[seq] = now;
            ++FReceived;
        }
        FPending.clear();
    }

    TBytes FPending;
    std::vector<std::int64_t>* FSeen = nullptr;
    std::size_t FReceived = 0;
};

}  // namespace tavrel::link::bench
