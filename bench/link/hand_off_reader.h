#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "answer_stamper.h"
#include "answer_writer.h"
#include "bench_bus.h"

namespace tavrel::link::bench {

// The least a reader with a listen thread of its own can do: a bare poll() thread that reads each chunk
// and queues it to the main thread through the platform, where it is looked at. It shows what the hop
// to the main thread alone costs on this machine; a yardstick, never used by the product.
class THandOffReader {
  public:
    THandOffReader();
    ~THandOffReader();
    THandOffReader(const THandOffReader&) = delete;
    THandOffReader& operator=(const THandOffReader&) = delete;

    // A child writes stamps.Count() answers intervalUs apart; for the chunk completing answer i, the time
    // the poll() thread woke for it goes to woken[i] and the time the main thread got it to seen[i].
    void MeasureBlock(const TSharedStamps& stamps, std::vector<std::int64_t>& woken, std::vector<std::int64_t>& seen,
                      long intervalUs, TBenchMain& mainThread);

  private:
    void Listen();

    TPtyPair FPty;
    int FPort = -1;
    int FStop = -1;
    TAnswerStamper FWoken;  // main thread only, like FSeen
    TAnswerStamper FSeen;
    std::jthread FListen;
};

}  // namespace tavrel::link::bench
