#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "bus/messaging_platform.h"

namespace tavrel::bus {

// A platform for tests: the thread that creates it is the main thread, whose queue runs only when a
// test pumps it; a few real pool workers run StartOnWorker procedures and are joined on destruction.
class TManualPlatform final : public IMessagingPlatform {
  public:
    using TErrorHandler = std::function<void(std::exception_ptr)>;

    explicit TManualPlatform(std::size_t AWorkers = 3);
    ~TManualPlatform() override;

    bool IsMainThread() const override;
    void QueueOnMainThread(std::function<void()> proc) override;
    void StartOnWorker(std::function<void()> proc) override;
    // Pumps the main-thread queue until `timeout` has passed or a quit is requested.
    bool ProcessMainThreadMessages(std::chrono::milliseconds timeout) override;

    // Main thread only: runs queued procedures until the queue is empty; answers how many ran.
    std::size_t RunPending();
    // Main thread only: pumps until APredicate holds or the timeout passes; answers APredicate().
    bool RunUntil(const std::function<bool()>& APredicate, std::chrono::milliseconds ATimeout);
    std::size_t PendingCount() const;
    // Waits until no worker procedure is queued or running.
    bool WaitForWorkers(std::chrono::milliseconds ATimeout);

    void RequestQuit();
    bool QuitRequested() const;

    // Receives what a queued main-thread procedure (or a worker procedure) threw; the default keeps it
    // for TakeErrors. Called on the thread that ran the procedure.
    void SetErrorHandler(TErrorHandler AHandler);
    std::vector<std::exception_ptr> TakeErrors();

  private:
    void RunFront(std::deque<std::function<void()>>& AQueue, std::unique_lock<std::mutex>& ALock);
    bool RunOne(std::unique_lock<std::mutex>& ALock);
    void Fail(std::exception_ptr AError);
    void WorkerLoop(std::stop_token AStop);

    const std::thread::id FMainThread;
    mutable std::mutex FLock;
    std::condition_variable FMainWake;
    std::condition_variable_any FWorkerWake;
    std::condition_variable FWorkersIdle;
    std::deque<std::function<void()>> FMainQueue;
    std::deque<std::function<void()>> FWorkerQueue;
    std::size_t FWorkersBusy = 0;
    bool FQuit = false;
    TErrorHandler FErrorHandler;
    std::vector<std::exception_ptr> FErrors;
    std::vector<std::jthread> FWorkers;  // last: joined before the queues go
};

}  // namespace tavrel::bus
