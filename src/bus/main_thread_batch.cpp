#include "bus/main_thread_batch.h"

#include <exception>
#include <utility>

#include "bus/messaging_platform.h"

namespace tavrel::bus {

namespace {

thread_local TMainThreadBatch* tOpenBatch = nullptr;

// Runs every procedure even when one throws, as separately queued ones would be run. The first failure
// leaves through the batch itself; later ones are queued on their own, so the platform reports each.
void RunAll(std::vector<std::function<void()>>& procs) {
    std::exception_ptr first;
    for (auto& proc : procs) {
        try {
            proc();
        } catch (...) {
            if (!first) {
                first = std::current_exception();
            } else {
                MessagingPlatform()->QueueOnMainThread([failure = std::current_exception()] {
                    std::rethrow_exception(failure);
                });
            }
        }
    }
    if (first) {
        std::rethrow_exception(first);
    }
}

}  // namespace

TMainThreadBatch::TMainThreadBatch() : FOuter(tOpenBatch) {
    if (FOuter == nullptr) {
        tOpenBatch = this;
    }
}

TMainThreadBatch::~TMainThreadBatch() {
    if (FOuter != nullptr) {
        return;
    }
    tOpenBatch = nullptr;
    try {
        Flush();
    } catch (...) {
        // Only running out of memory gets here; a destructor has nobody to tell.
    }
}

void TMainThreadBatch::Flush() {
    if (FOuter != nullptr || FProcs.empty()) {
        return;
    }
    std::vector<std::function<void()>> procs = std::exchange(FProcs, {});
    if (procs.size() == 1) {
        MessagingPlatform()->QueueOnMainThread(std::move(procs.front()));
        return;
    }
    MessagingPlatform()->QueueOnMainThread([procs = std::move(procs)]() mutable { RunAll(procs); });
}

bool TMainThreadBatch::Collect(std::function<void()>& proc) {
    if (tOpenBatch == nullptr) {
        return false;
    }
    tOpenBatch->FProcs.push_back(std::move(proc));
    return true;
}

}  // namespace tavrel::bus
