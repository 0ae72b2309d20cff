#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tavrel::test_support {

// Bounds a step that could hang (a join, a wait for a wedged line) inside the test itself: should the
// guard still live after Limit, the test program ends there with What on standard error, instead of
// hanging until CTest's time-out says nothing more than "Timeout".
class THangGuard {
  public:
    THangGuard(std::string What, std::chrono::milliseconds Limit);
    ~THangGuard();
    THangGuard(const THangGuard&) = delete;
    THangGuard& operator=(const THangGuard&) = delete;

  private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FFinished = false;
    std::thread FWatch;
};

// Runs Call on this thread and answers how long it took, bounded by a THangGuard of HangLimit.
template <class TCall>
std::chrono::milliseconds TimedCall(const std::string& What, TCall&& Call,
                                    std::chrono::milliseconds HangLimit = std::chrono::seconds(10)) {
    const THangGuard guard(What, HangLimit);
    const auto start = std::chrono::steady_clock::now();
    Call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace tavrel::test_support
