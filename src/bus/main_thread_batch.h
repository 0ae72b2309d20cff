#pragma once

#include <functional>
#include <vector>

namespace tavrel::bus {

// While one is open on a thread, the main-thread deliveries of the messages that thread posts are
// collected and queued as one procedure, in posting order, when it is flushed or closed. A burst of
// messages then wakes the main thread once, and the main thread does not fight the poster for its
// queue message by message. Deliveries on the posting thread or on workers are not affected.
// Batches nest: an inner one adds to the outermost, which alone queues.
class TMainThreadBatch {
  public:
    TMainThreadBatch();
    // Queues what is left; a failure to queue is swallowed here, so flush explicitly to see it.
    ~TMainThreadBatch();
    TMainThreadBatch(const TMainThreadBatch&) = delete;
    TMainThreadBatch& operator=(const TMainThreadBatch&) = delete;

    // Queues what was collected so far (outermost batch only).
    void Flush();

    // Takes `proc` into the batch open on this thread; false, leaving `proc` alone, when none is open.
    static bool Collect(std::function<void()>& proc);

  private:
    TMainThreadBatch* FOuter;
    std::vector<std::function<void()>> FProcs;
};

}  // namespace tavrel::bus
