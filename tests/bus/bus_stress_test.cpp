#include <atomic>
#include <chrono>
#include <deque>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bus_test_support.h"

namespace tavrel::bus::test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> GLateCalls{0};
std::atomic<long> GCalls{0};

// Handlers on every delivery thread; each call checks that its object's unsubscription has not yet returned.
class TChurned final : public TSubscriberObject {
  public:
    // Checked on entry and again on exit: a call still running when Unsubscribe returned is late too.
    void Check() {
        bool late = FUnsubscribed.load();
        std::this_thread::yield();
        late = late || FUnsubscribed.load();
        if (late) {
            ++GLateCalls;
        }
        ++GCalls;
    }
    void OnPosting(const std::shared_ptr<IAlpha>&) { Check(); }
    void OnMain(const std::shared_ptr<IAlpha>&) { Check(); }
    void OnAsync(const std::string&) { Check(); }
    void OnBackground(const std::string&) { Check(); }

    std::atomic<bool> FUnsubscribed{false};

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

const TSubscriberClass TChurned::Registration =
    TSubscriberClass("BusTest", "TChurned")
        .Method<&TChurned::OnPosting>("OnPosting", {"stress", TMessagingThread::Posting})
        .Method<&TChurned::OnMain>("OnMain", {"stress", TMessagingThread::Main})
        .Method<&TChurned::OnAsync>("OnAsync", {"stress", TMessagingThread::Async})
        .Method<&TChurned::OnBackground>("OnBackground", {"stress", TMessagingThread::Background});

TEST(Messaging_Stress, NoHandlerRunsAfterItsObjectsUnsubscriptionReturned) {
    auto platform = std::make_shared<TManualPlatform>(3);
    InstallMessagingPlatform(platform);
    InitializeMessaging();
    TMessaging& bus = SharedMessaging();

    constexpr int kPostsPerThread = 4000;
    constexpr int kCyclesPerChurner = 400;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    const auto inTime = [&] { return std::chrono::steady_clock::now() < deadline; };
    std::atomic<int> running{0};
    std::latch churning(2);
    std::vector<std::jthread> threads;
    for (int t = 0; t < 3; ++t) {
        ++running;
        threads.emplace_back([&, t] {
            churning.wait();
            for (int i = 0; i < kPostsPerThread && inTime(); ++i) {
                if ((i + t) % 2 == 0) {
                    bus.Post("stress", MakeMessage<IAlpha>(i));
                } else {
                    bus.Post("Stress", std::to_string(i));
                }
            }
            --running;
        });
    }
    for (int t = 0; t < 2; ++t) {
        ++running;
        threads.emplace_back([&] {
            // A few objects stay subscribed at a time, so posts keep finding subscribers.
            std::deque<std::unique_ptr<TChurned>> live;
            const auto retire = [&] {
                bus.Unsubscribe(live.front().get());
                live.front()->FUnsubscribed = true;
                // Freed at once: a late call would also be a use after free for the sanitizers.
                live.pop_front();
            };
            live.push_back(std::make_unique<TChurned>());
            bus.Subscribe(live.back().get());
            churning.count_down();
            for (int i = 0; i < kCyclesPerChurner && inTime(); ++i) {
                live.push_back(std::make_unique<TChurned>());
                bus.Subscribe(live.back().get());
                if (live.size() > 4) {
                    retire();
                }
                std::this_thread::yield();
            }
            while (!live.empty()) {
                retire();
            }
            --running;
        });
    }
    // The main thread runs queued Main deliveries meanwhile, some of them after their unsubscription.
    while (running.load() > 0) {
        platform->RunPending();
        std::this_thread::yield();
    }
    threads.clear();
    ASSERT_TRUE(platform->WaitForWorkers(5s));
    platform->RunPending();
    EXPECT_EQ(GLateCalls.load(), 0);
    EXPECT_GT(GCalls.load(), 0);
    EXPECT_NO_THROW(FinalizeMessaging());
    InstallMessagingPlatform(nullptr);
}

}  // namespace
}  // namespace tavrel::bus::test
