#include "bus/testing/manual_platform.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <utility>

namespace tavrel::bus {

TManualPlatform::TManualPlatform(std::size_t AWorkers) : FMainThread(std::this_thread::get_id()) {
    for (std::size_t i = 0; i < AWorkers; ++i) {
        FWorkers.emplace_back([this](std::stop_token stop) { WorkerLoop(stop); });
    }
}

TManualPlatform::~TManualPlatform() {
    for (auto& worker : FWorkers) {
        worker.request_stop();
    }
    FWorkerWake.notify_all();
    FWorkers.clear();
}

bool TManualPlatform::IsMainThread() const {
    return std::this_thread::get_id() == FMainThread;
}

void TManualPlatform::QueueOnMainThread(std::function<void()> proc) {
    {
        const std::lock_guard guard(FLock);
        FMainQueue.push_back(std::move(proc));
    }
    FMainWake.notify_all();
}

void TManualPlatform::StartOnWorker(std::function<void()> proc) {
    if (FWorkers.empty()) {
        throw std::logic_error("TManualPlatform has no workers");
    }
    {
        const std::lock_guard guard(FLock);
        FWorkerQueue.push_back(std::move(proc));
    }
    FWorkerWake.notify_one();
}

void TManualPlatform::Fail(std::exception_ptr AError) {
    TErrorHandler handler;
    {
        const std::lock_guard guard(FLock);
        handler = FErrorHandler;
        if (!handler) {
            FErrors.push_back(AError);
            return;
        }
    }
    handler(AError);
}

// Takes the oldest procedure of AQueue and runs it without the lock. It is also destroyed without the
// lock: what it captured may queue more work from its destructor.
void TManualPlatform::RunFront(std::deque<std::function<void()>>& AQueue, std::unique_lock<std::mutex>& ALock) {
    auto proc = std::move(AQueue.front());
    AQueue.pop_front();
    ALock.unlock();
    try {
        proc();
    } catch (...) {
        Fail(std::current_exception());
    }
    proc = nullptr;
    ALock.lock();
}

// Runs the oldest main-thread procedure; false when there is none.
bool TManualPlatform::RunOne(std::unique_lock<std::mutex>& ALock) {
    if (FMainQueue.empty()) {
        return false;
    }
    RunFront(FMainQueue, ALock);
    return true;
}

std::size_t TManualPlatform::RunPending() {
    assert(IsMainThread());
    std::size_t count = 0;
    std::unique_lock lock(FLock);
    while (RunOne(lock)) {
        ++count;
    }
    return count;
}

bool TManualPlatform::RunUntil(const std::function<bool()>& APredicate, std::chrono::milliseconds ATimeout) {
    assert(IsMainThread());
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    std::unique_lock lock(FLock);
    for (;;) {
        while (RunOne(lock)) {
        }
        lock.unlock();
        if (APredicate()) {
            return true;
        }
        lock.lock();
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        // Short waits: the predicate may turn true without anything being queued.
        FMainWake.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5)),
                             [this] { return !FMainQueue.empty(); });
    }
    lock.unlock();
    return APredicate();
}

bool TManualPlatform::ProcessMainThreadMessages(std::chrono::milliseconds timeout) {
    assert(IsMainThread());
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(FLock);
    while (!FQuit) {
        while (!FQuit && RunOne(lock)) {
        }
        if (FQuit || !FMainWake.wait_until(lock, deadline, [this] { return FQuit || !FMainQueue.empty(); })) {
            break;
        }
    }
    return !FQuit;
}

std::size_t TManualPlatform::PendingCount() const {
    const std::lock_guard guard(FLock);
    return FMainQueue.size();
}

bool TManualPlatform::WaitForWorkers(std::chrono::milliseconds ATimeout) {
    std::unique_lock lock(FLock);
    return FWorkersIdle.wait_for(lock, ATimeout, [this] { return FWorkerQueue.empty() && FWorkersBusy == 0; });
}

void TManualPlatform::RequestQuit() {
    {
        const std::lock_guard guard(FLock);
        FQuit = true;
    }
    FMainWake.notify_all();
}

bool TManualPlatform::QuitRequested() const {
    const std::lock_guard guard(FLock);
    return FQuit;
}

void TManualPlatform::SetErrorHandler(TErrorHandler AHandler) {
    const std::lock_guard guard(FLock);
    FErrorHandler = std::move(AHandler);
}

std::vector<std::exception_ptr> TManualPlatform::TakeErrors() {
    const std::lock_guard guard(FLock);
    return std::exchange(FErrors, {});
}

void TManualPlatform::WorkerLoop(std::stop_token AStop) {
    std::unique_lock lock(FLock);
    for (;;) {
        // Work queued before the stop request still runs, so nothing handed over is lost.
        FWorkerWake.wait(lock, AStop, [this] { return !FWorkerQueue.empty(); });
        if (FWorkerQueue.empty()) {
            return;
        }
        ++FWorkersBusy;
        RunFront(FWorkerQueue, lock);
        --FWorkersBusy;
        FWorkersIdle.notify_all();
    }
}

}  // namespace tavrel::bus
