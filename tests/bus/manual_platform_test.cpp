#include "bus/testing/manual_platform.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <latch>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

namespace tavrel::bus {
namespace {

using namespace std::chrono_literals;

TEST(ManualPlatform, CreatingThreadIsMainAndItsQueueRunsOnlyWhenPumped) {
    TManualPlatform platform(1);
    EXPECT_TRUE(platform.IsMainThread());
    bool workerIsMain = true;
    std::thread([&] { workerIsMain = platform.IsMainThread(); }).join();
    EXPECT_FALSE(workerIsMain);

    int ran = 0;
    std::thread([&] { platform.QueueOnMainThread([&] { ++ran; }); }).join();
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(platform.PendingCount(), 1U);
    EXPECT_EQ(platform.RunPending(), 1U);
    EXPECT_EQ(ran, 1);
}

TEST(ManualPlatform, ProcessMainThreadMessagesRunsWorkUntilTimeoutOrQuit) {
    TManualPlatform platform(1);
    std::atomic<int> ran{0};
    platform.StartOnWorker([&] { platform.QueueOnMainThread([&] { ++ran; }); });
    EXPECT_TRUE(platform.ProcessMainThreadMessages(200ms));
    EXPECT_EQ(ran.load(), 1);

    platform.QueueOnMainThread([&] { platform.RequestQuit(); });
    platform.QueueOnMainThread([&] { ++ran; });
    EXPECT_FALSE(platform.ProcessMainThreadMessages(5s));
    // The quit stops the pump before the next procedure; the request stays pending.
    EXPECT_EQ(ran.load(), 1);
    EXPECT_TRUE(platform.QuitRequested());
    EXPECT_FALSE(platform.ProcessMainThreadMessages(1ms));
}

TEST(ManualPlatform, RunUntilAnswersFalseWhenThePredicateNeverHolds) {
    TManualPlatform platform(1);
    EXPECT_FALSE(platform.RunUntil([] { return false; }, 20ms));
    std::atomic<bool> flag{false};
    platform.StartOnWorker([&] { flag = true; });
    EXPECT_TRUE(platform.RunUntil([&] { return flag.load(); }, 5s));
}

TEST(ManualPlatform, FailuresOfQueuedProceduresGoToTheErrorHandling) {
    TManualPlatform platform(1);
    platform.QueueOnMainThread([] { throw std::runtime_error("kept"); });
    platform.RunPending();
    auto errors = platform.TakeErrors();
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_THROW(std::rethrow_exception(errors[0]), std::runtime_error);

    int handled = 0;
    platform.SetErrorHandler([&](std::exception_ptr) { ++handled; });
    platform.QueueOnMainThread([] { throw 1; });
    platform.RunPending();
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(platform.TakeErrors().empty());
}

// Captures whose destructor hands more work to the platform, as a last reference to a message may.
class TQueuesOnDestruction {
  public:
    explicit TQueuesOnDestruction(std::function<void()> AOnDestroy) : FOnDestroy(std::move(AOnDestroy)) {}
    ~TQueuesOnDestruction() { FOnDestroy(); }

  private:
    std::function<void()> FOnDestroy;
};

TEST(ManualPlatform, ProcedureWhoseCaptureQueuesMoreWorkOnDestructionDoesNotDeadlock) {
    TManualPlatform platform(1);
    std::atomic<int> ran{0};
    auto onMain = std::make_shared<TQueuesOnDestruction>([&] { platform.QueueOnMainThread([&] { ++ran; }); });
    platform.QueueOnMainThread([held = std::move(onMain)] {});
    EXPECT_EQ(platform.RunPending(), 2U);

    auto onWorker = std::make_shared<TQueuesOnDestruction>([&] { platform.StartOnWorker([&] { ++ran; }); });
    platform.StartOnWorker([held = std::move(onWorker)] {});
    EXPECT_TRUE(platform.WaitForWorkers(5s));
    EXPECT_EQ(ran.load(), 2);
}

TEST(ManualPlatform, DestructionRunsWorkAlreadyHandedToWorkers) {
    std::atomic<int> ran{0};
    {
        TManualPlatform platform(2);
        std::latch hold(1);
        platform.StartOnWorker([&] {
            hold.wait();
            ++ran;
        });
        for (int i = 0; i < 5; ++i) {
            platform.StartOnWorker([&] { ++ran; });
        }
        hold.count_down();
    }
    EXPECT_EQ(ran.load(), 6);
}

}  // namespace
}  // namespace tavrel::bus
