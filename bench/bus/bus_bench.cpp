#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "bus/messaging.h"
#include "bus/messaging_platform.h"

namespace {

using tavrel::bus::TMessaging;
using tavrel::bus::TMessagingThread;
using tavrel::bus::TSubscriberClass;

class IPayload {
  public:
    static constexpr std::string_view GUID = "{39CF243A-5AC3-4A7B-8263-BA0F3385B559}";
    virtual ~IPayload() = default;
    virtual int Value() const = 0;
};

class TPayload final : public IPayload {
  public:
    int Value() const override { return 1; }
};

// The benchmark thread is never the main thread, so Main deliveries are only queued; the queue is a
// plain vector drained outside the timed region.
class TQueueOnlyPlatform final : public tavrel::bus::IMessagingPlatform {
  public:
    bool IsMainThread() const override { return false; }
    void QueueOnMainThread(std::function<void()> proc) override { Queue.push_back(std::move(proc)); }
    void StartOnWorker(std::function<void()> proc) override { proc(); }
    bool ProcessMainThreadMessages(std::chrono::milliseconds) override { return true; }

    std::vector<std::function<void()>> Queue;
};

template <TMessagingThread T>
class TSubscriber final : public tavrel::bus::TSubscriberObject {
  public:
    void OnData(const std::shared_ptr<IPayload>& AMessage) { Sum += AMessage->Value(); }
    long Sum = 0;

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

template <TMessagingThread T>
const TSubscriberClass TSubscriber<T>::Registration =
    TSubscriberClass("BusBench", "TSubscriber")
        .template Method<&TSubscriber::OnData>("OnData", {"subscribeComPortData", T});

void BM_TypedPost_OnePostingSubscriber(benchmark::State& state) {
    tavrel::bus::InitializeMessaging();
    TMessaging& bus = tavrel::bus::SharedMessaging();
    TSubscriber<TMessagingThread::Posting> subscriber;
    bus.Subscribe(&subscriber);
    const std::shared_ptr<IPayload> message = std::make_shared<TPayload>();
    for (auto _ : state) {
        bus.Post("subscribeComPortData", message);
    }
    benchmark::DoNotOptimize(subscriber.Sum);
    bus.Unsubscribe(&subscriber);
    tavrel::bus::FinalizeMessaging();
}
BENCHMARK(BM_TypedPost_OnePostingSubscriber);

void BM_TypedPost_OneMainSubscriberQueued(benchmark::State& state) {
    auto platform = std::make_shared<TQueueOnlyPlatform>();
    tavrel::bus::InstallMessagingPlatform(platform);
    tavrel::bus::InitializeMessaging();
    TMessaging& bus = tavrel::bus::SharedMessaging();
    TSubscriber<TMessagingThread::Main> subscriber;
    bus.Subscribe(&subscriber);
    const std::shared_ptr<IPayload> message = std::make_shared<TPayload>();
    constexpr std::size_t kBatch = 4096;
    platform->Queue.reserve(kBatch);
    for (auto _ : state) {
        bus.Post("subscribeComPortData", message);
        if (platform->Queue.size() == kBatch) {
            state.PauseTiming();
            for (auto& proc : platform->Queue) {
                proc();
            }
            platform->Queue.clear();
            state.ResumeTiming();
        }
    }
    for (auto& proc : platform->Queue) {
        proc();
    }
    platform->Queue.clear();
    benchmark::DoNotOptimize(subscriber.Sum);
    bus.Unsubscribe(&subscriber);
    tavrel::bus::FinalizeMessaging();
    tavrel::bus::InstallMessagingPlatform(nullptr);
}
BENCHMARK(BM_TypedPost_OneMainSubscriberQueued);

}  // namespace

BENCHMARK_MAIN();
