#include "bus/message_manager.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bus/main_thread_batch.h"
#include "bus/message_key.h"
#include "bus_test_support.h"

namespace tavrel::bus::test {
namespace {

using namespace std::chrono_literals;

thread_local bool GInsidePost = false;

// Posts with GInsidePost set, so a handler can tell whether it runs inside this Post.
template <class... A>
void PostMarked(TMessaging& ABus, A&&... AArgs) {
    GInsidePost = true;
    try {
        ABus.Post(std::forward<A>(AArgs)...);
    } catch (...) {
        GInsidePost = false;
        throw;
    }
    GInsidePost = false;
}

struct TCall {
    std::string Handler;
    std::string Message;
    std::thread::id Thread;
    bool InsidePost = false;
};

// The text of the EMessaging that AAction throws; without one, a text that matches no expected message.
std::string MessagingError(const std::function<void()>& AAction) {
    try {
        AAction();
    } catch (const EMessaging& error) {
        return error.what();
    }
    return "(no EMessaging thrown)";
}

// Records every call it gets.
class TRecorder : public TSubscriberObject {
  public:
    void Record(std::string AHandler, std::string AMessage) {
        const std::lock_guard guard(FLock);
        FCalls.push_back({std::move(AHandler), std::move(AMessage), std::this_thread::get_id(), GInsidePost});
        ++FCount;
    }
    std::vector<TCall> Calls() const {
        const std::lock_guard guard(FLock);
        return FCalls;
    }
    int Count() const { return FCount.load(); }

  private:
    mutable std::mutex FLock;
    std::vector<TCall> FCalls;
    std::atomic<int> FCount{0};
};

// The main window's shape: typed handlers for the port data message and a text handler.
class TMainForm final : public TRecorder {
  public:
    void OnSubscribeComPortData(const std::shared_ptr<IAlpha>& AMessage) {
        Record("OnSubscribeComPortData", std::to_string(AMessage->Value()));
        if (Fail) {
            Fail();
        }
    }
    void OnBeta(const std::shared_ptr<IBeta>& AMessage) { Record("OnBeta", std::to_string(AMessage->Value())); }
    void OnHello(const std::string& AMessage) { Record("OnHello", AMessage); }
    void OnCallbackText(const std::string& AMessage) { Record("OnCallbackText", AMessage); }
    void OnCallbackAlpha(const std::shared_ptr<IAlpha>& AMessage) {
        Record("OnCallbackAlpha", std::to_string(AMessage->Value()));
    }
    void OnCallbackNoGuid(const std::shared_ptr<INoGuid>&) {}

    std::function<void()> Fail;

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

const TSubscriberClass TMainForm::Registration =
    TSubscriberClass("MainUnit", "TMainForm")
        .Method<&TMainForm::OnSubscribeComPortData>("OnSubscribeComPortData", {"subscribeComPortData"})
        .Method<&TMainForm::OnBeta>("OnBeta", {"subscribeComPortData"})
        .Method<&TMainForm::OnHello>("OnHello", {"Hello"});

constexpr std::string_view kDataKey = "{39cf243a-5ac3-4a7b-8263-ba0f3385b559}subscribecomportdata";

// One text handler "ping" on the thread T.
template <TMessagingThread T>
class TOn final : public TRecorder {
  public:
    void OnPing(const std::string& AMessage) { Record("OnPing", AMessage); }

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

template <TMessagingThread T>
const TSubscriberClass TOn<T>::Registration =
    TSubscriberClass("BusTest", "TOn").template Method<&TOn::OnPing>("OnPing", {"ping", T});

// Two handlers of one object for one message, registered First then Second.
class TTwice final : public TRecorder {
  public:
    void First(const std::string&) { Record("First", ""); }
    void Second(const std::string&) { Record("Second", ""); }

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

const TSubscriberClass TTwice::Registration = TSubscriberClass("BusTest", "TTwice")
                                                  .Method<&TTwice::First>("First", {"ping"})
                                                  .Method<&TTwice::Second>("Second", {"ping"});

// A handler whose behaviour a test injects.
template <TMessagingThread T>
class THook final : public TSubscriberObject {
  public:
    void OnPing(const std::string& AMessage) { Body(AMessage); }

    std::function<void(const std::string&)> Body;

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

template <TMessagingThread T>
const TSubscriberClass THook<T>::Registration =
    TSubscriberClass("BusTest", "THook").template Method<&THook::OnPing>("OnPing", {"ping", T});

class ETestError : public Exception {
  public:
    using Exception::Exception;
};

// ---- Keys ----

using Messaging_Keys = BusFixture;

TEST_F(Messaging_Keys, TextNamesDifferingInCaseAreOneMessage) {
    TMainForm form;
    FBus->Subscribe(&form);
    FBus->Post("Hello", std::string("a"));
    FBus->Post("hELLO", std::string("b"));
    FBus->Post("Hello2", std::string("c"));
    FBus->Unsubscribe(&form);
    ASSERT_EQ(form.Count(), 2);
    EXPECT_EQ(form.Calls()[1].Message, "b");
}

TEST_F(Messaging_Keys, TypedAndTextOfOneNameAndTwoInterfacesOfOneNameAreDifferentMessages) {
    TMainForm form;
    FBus->Subscribe(&form);
    FBus->Post("subscribeComPortData", MakeMessage<IAlpha>(1));
    FBus->Post("SUBSCRIBECOMPORTDATA", MakeMessage<IBeta>(2));
    FBus->Post("subscribeComPortData", std::string("text"));
    FBus->Post("", MakeMessage<IAlpha>(3));
    FBus->Unsubscribe(&form);
    const auto calls = form.Calls();
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].Handler, "OnSubscribeComPortData");
    EXPECT_EQ(calls[0].Message, "1");
    EXPECT_EQ(calls[1].Handler, "OnBeta");
    EXPECT_EQ(calls[1].Message, "2");
}

TEST_F(Messaging_Keys, EmptyTextNameReachesOnlyACallbackUnderTheEmptyName) {
    TMainForm form;
    FBus->SubscribeCallback<&TMainForm::OnCallbackText>("", TMessagingThread::Posting, &form);
    FBus->Post("", std::string("empty"));
    FBus->Post("x", std::string("other"));
    EXPECT_TRUE(FBus->TryUnsubscribeCallback<&TMainForm::OnCallbackText>("", &form));
    ASSERT_EQ(form.Count(), 1);
    EXPECT_EQ(form.Calls()[0].Message, "empty");
}

TEST_F(Messaging_Keys, InterfaceWithoutIdentifierFailsAtRunTimeWithTheGeneralError) {
    TMainForm form;
    const auto expectGuidError = [](auto&& AAction) {
        try {
            AAction();
            ADD_FAILURE() << "no error";
        } catch (const EMessaging&) {
            ADD_FAILURE() << "an EMessaging, not the general error";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "Cannot possible to get the guid of \"INoGuid\"");
        }
    };
    expectGuidError([&] { FBus->Post("x", MakeMessage<INoGuid>(1)); });
    expectGuidError([&] { FBus->SubscribeCallback<&TMainForm::OnCallbackNoGuid>("x", TMessagingThread::Main, &form); });
    expectGuidError([&] { FBus->TryUnsubscribeCallback<&TMainForm::OnCallbackNoGuid>("x", &form); });
}

TEST_F(Messaging_Keys, PostingANameNobodySubscribedDoesNothing) {
    EXPECT_NO_THROW(FBus->Post("nobody", std::string("x")));
    EXPECT_NO_THROW(FBus->Post("nobody", MakeMessage<IAlpha>(1)));
}

// ---- Delivery threads ----

enum class TWhere { Poster, Main, Pool };

struct TDeliveryCase {
    const char* Name;
    TMessagingThread Thread;
    bool FromMain;
    bool InsidePost;
    TWhere Where;
};

void PrintTo(const TDeliveryCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class Messaging_Delivery : public BusFixture, public ::testing::WithParamInterface<TDeliveryCase> {
  protected:
    template <TMessagingThread T>
    TCall Run(bool AFromMain) {
        TOn<T> subscriber;
        FBus->Subscribe(&subscriber);
        std::thread::id poster = std::this_thread::get_id();
        if (AFromMain) {
            PostMarked(*FBus, "ping", std::string("x"));
        } else {
            std::thread worker([&] { PostMarked(*FBus, "ping", std::string("x")); });
            poster = worker.get_id();
            worker.join();
        }
        EXPECT_TRUE(FPlatform->RunUntil([&] { return subscriber.Count() == 1; }, 5s));
        FBus->Unsubscribe(&subscriber);
        FPoster = poster;
        return subscriber.Calls().at(0);
    }
    TCall RunCase(const TDeliveryCase& ACase) {
        switch (ACase.Thread) {
            case TMessagingThread::Posting:
                return Run<TMessagingThread::Posting>(ACase.FromMain);
            case TMessagingThread::Main:
                return Run<TMessagingThread::Main>(ACase.FromMain);
            case TMessagingThread::Async:
                return Run<TMessagingThread::Async>(ACase.FromMain);
            case TMessagingThread::Background:
                return Run<TMessagingThread::Background>(ACase.FromMain);
        }
        return {};
    }
    std::thread::id FPoster;
};

TEST_P(Messaging_Delivery, RunsOnTheThreadItAskedFor) {
    const TDeliveryCase& c = GetParam();
    const TCall call = RunCase(c);
    EXPECT_EQ(call.InsidePost, c.InsidePost);
    const auto main = std::this_thread::get_id();
    switch (c.Where) {
        case TWhere::Poster:
            EXPECT_EQ(call.Thread, FPoster);
            break;
        case TWhere::Main:
            EXPECT_EQ(call.Thread, main);
            break;
        case TWhere::Pool:
            EXPECT_NE(call.Thread, main);
            EXPECT_NE(call.Thread, FPoster);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Threads, Messaging_Delivery,
    ::testing::Values(TDeliveryCase{"PostingFromMain", TMessagingThread::Posting, true, true, TWhere::Poster},
                      TDeliveryCase{"PostingFromWorker", TMessagingThread::Posting, false, true, TWhere::Poster},
                      TDeliveryCase{"MainFromMain", TMessagingThread::Main, true, true, TWhere::Main},
                      TDeliveryCase{"MainFromWorkerIsQueued", TMessagingThread::Main, false, false, TWhere::Main},
                      TDeliveryCase{"AsyncFromMain", TMessagingThread::Async, true, false, TWhere::Pool},
                      TDeliveryCase{"AsyncFromWorker", TMessagingThread::Async, false, false, TWhere::Pool},
                      TDeliveryCase{"BackgroundFromMain", TMessagingThread::Background, true, false, TWhere::Pool},
                      TDeliveryCase{"BackgroundFromWorker", TMessagingThread::Background, false, true, TWhere::Poster}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(BusFixture, Messaging_MainFromWorker_WaitsInTheQueueUntilTheMainThreadPumps) {
    TOn<TMessagingThread::Main> subscriber;
    FBus->Subscribe(&subscriber);
    std::thread([&] { FBus->Post("ping", std::string("x")); }).join();
    EXPECT_EQ(subscriber.Count(), 0);
    EXPECT_EQ(FPlatform->RunPending(), 1U);
    EXPECT_EQ(subscriber.Count(), 1);
    FBus->Unsubscribe(&subscriber);
}

TEST_F(BusFixture, Messaging_TwoHandlersOfOneObject_LaterRegisteredIsCalledFirst) {
    TTwice twice;
    FBus->Subscribe(&twice);
    FBus->Post("ping", std::string());
    FBus->Unsubscribe(&twice);
    const auto calls = twice.Calls();
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].Handler, "Second");
    EXPECT_EQ(calls[1].Handler, "First");
}

// Asks how often the bus asked whether it runs on the main thread.
class TCountingPlatform final : public IMessagingPlatform {
  public:
    explicit TCountingPlatform(std::shared_ptr<TManualPlatform> AInner) : FInner(std::move(AInner)) {}

    bool IsMainThread() const override {
        ++FAsks;
        return FInner->IsMainThread();
    }
    void QueueOnMainThread(std::function<void()> proc) override { FInner->QueueOnMainThread(std::move(proc)); }
    void StartOnWorker(std::function<void()> proc) override { FInner->StartOnWorker(std::move(proc)); }
    bool ProcessMainThreadMessages(std::chrono::milliseconds timeout) override {
        return FInner->ProcessMainThreadMessages(timeout);
    }
    int Asks() const { return FAsks.load(); }

  private:
    std::shared_ptr<TManualPlatform> FInner;
    mutable std::atomic<int> FAsks{0};
};

std::unique_ptr<TRecorder> MakeOn(TMessagingThread AThread) {
    switch (AThread) {
        case TMessagingThread::Posting:
            return std::make_unique<TOn<TMessagingThread::Posting>>();
        case TMessagingThread::Main:
            return std::make_unique<TOn<TMessagingThread::Main>>();
        case TMessagingThread::Async:
            return std::make_unique<TOn<TMessagingThread::Async>>();
        case TMessagingThread::Background:
            return std::make_unique<TOn<TMessagingThread::Background>>();
    }
    return nullptr;
}

struct TAskCase {
    const char* Name;
    std::vector<TMessagingThread> Threads;
    int Asks;
};

void PrintTo(const TAskCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class Messaging_MainThreadQuestion : public BusFixture, public ::testing::WithParamInterface<TAskCase> {};

TEST_P(Messaging_MainThreadQuestion, IsAskedOnlyForMainOrBackgroundAndAtMostOncePerPost) {
    auto counting = std::make_shared<TCountingPlatform>(FPlatform);
    InstallMessagingPlatform(counting);
    std::vector<std::unique_ptr<TRecorder>> subscribers;
    for (const TMessagingThread thread : GetParam().Threads) {
        subscribers.push_back(MakeOn(thread));
        FBus->Subscribe(subscribers.back().get());
    }
    FBus->Post("ping", std::string("x"));
    EXPECT_EQ(counting->Asks(), GetParam().Asks);
    FBus->Post("ping", std::string("y"));
    EXPECT_EQ(counting->Asks(), 2 * GetParam().Asks);
    ASSERT_TRUE(FPlatform->WaitForWorkers(5s));
    for (const auto& subscriber : subscribers) {
        FBus->Unsubscribe(subscriber.get());
    }
    InstallMessagingPlatform(FPlatform);
}

INSTANTIATE_TEST_SUITE_P(
    Threads, Messaging_MainThreadQuestion,
    ::testing::Values(TAskCase{"PostingAndAsyncNeverAsk", {TMessagingThread::Posting, TMessagingThread::Async}, 0},
                      TAskCase{"MainAsksOnce", {TMessagingThread::Main}, 1},
                      TAskCase{"BackgroundAsksOnce", {TMessagingThread::Background}, 1},
                      TAskCase{"MixedAsksOnce",
                               {TMessagingThread::Main, TMessagingThread::Posting, TMessagingThread::Background,
                                TMessagingThread::Main},
                               1}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(BusFixture, Messaging_Snapshot_RemovedAfterItIsTakenCallsNothingAndAddedGetsNothing) {
    THook<TMessagingThread::Posting> first;
    THook<TMessagingThread::Posting> second;
    TOn<TMessagingThread::Posting> late;
    // List order is by address: the leader runs first and changes the list under the running post.
    THook<TMessagingThread::Posting>* const leader = &first < &second ? &first : &second;
    THook<TMessagingThread::Posting>* const follower = leader == &first ? &second : &first;
    int leaderCalls = 0;
    int followerCalls = 0;
    leader->Body = [&](const std::string&) {
        if (++leaderCalls == 1) {
            FBus->Unsubscribe(follower);
            FBus->Subscribe(&late);
        }
    };
    follower->Body = [&](const std::string&) { ++followerCalls; };
    FBus->Subscribe(&first);
    FBus->Subscribe(&second);
    FBus->Post("ping", std::string("one"));
    EXPECT_EQ(followerCalls, 0);
    EXPECT_EQ(late.Count(), 0);
    FBus->Post("ping", std::string("two"));
    EXPECT_EQ(leaderCalls, 2);
    EXPECT_EQ(followerCalls, 0);
    EXPECT_EQ(late.Count(), 1);
    FBus->Unsubscribe(leader);
    FBus->Unsubscribe(&late);
}

TEST_F(BusFixture, Messaging_HandlerThatPostsAndSubscribesInsideItsCall_DoesNotDeadlock) {
    THook<TMessagingThread::Main> hook;
    TMainForm form;
    TOn<TMessagingThread::Posting> visitor;
    hook.Body = [&](const std::string& AMessage) {
        if (AMessage == "outer") {
            FBus->Subscribe(&form);
            FBus->Subscribe(&visitor);
            FBus->Post("hello", std::string("inner"));
            FBus->Post("ping", std::string("nested"));
            FBus->Unsubscribe(&visitor);
        }
    };
    FBus->Subscribe(&hook);
    FBus->Post("ping", std::string("outer"));
    ASSERT_EQ(form.Count(), 1);
    EXPECT_EQ(form.Calls()[0].Message, "inner");
    ASSERT_EQ(visitor.Count(), 1);
    EXPECT_EQ(visitor.Calls()[0].Message, "nested");
    FBus->Unsubscribe(&hook);
    FBus->Unsubscribe(&form);
}

// ---- Unsubscription ----

using Messaging_Unsubscribe = BusFixture;

TEST_F(Messaging_Unsubscribe, QueuedMainDeliveryNeverCallsTheHandler) {
    TOn<TMessagingThread::Main> subscriber;
    FBus->Subscribe(&subscriber);
    std::thread([&] { FBus->Post("ping", std::string("x")); }).join();
    FBus->Unsubscribe(&subscriber);
    EXPECT_EQ(FPlatform->RunPending(), 1U);
    EXPECT_EQ(subscriber.Count(), 0);
}

TEST_F(Messaging_Unsubscribe, FromAnotherThreadReturnsOnlyAfterTheRunningHandlerReturned) {
    THook<TMessagingThread::Posting> hook;
    std::latch entered(1);
    std::latch release(1);
    std::atomic<bool> handlerDone{false};
    hook.Body = [&](const std::string&) {
        entered.count_down();
        release.wait();
        handlerDone = true;
    };
    FBus->Subscribe(&hook);
    std::thread poster([&] { FBus->Post("ping", std::string()); });
    entered.wait();

    std::latch calling(1);
    std::atomic<bool> returned{false};
    bool doneWhenReturned = false;
    std::thread unsubscriber([&] {
        calling.count_down();
        FBus->Unsubscribe(&hook);
        doneWhenReturned = handlerDone.load();
        returned = true;
    });
    calling.wait();
    // Time for a wrongly non-waiting Unsubscribe to come back while the handler is held.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned.load());
    release.count_down();
    unsubscriber.join();
    poster.join();
    EXPECT_TRUE(doneWhenReturned);
    EXPECT_FALSE(FBus->IsSubscribed(&hook));
}

TEST_F(Messaging_Unsubscribe, HandlerUnsubscribingItsOwnObjectDoesNotBlock) {
    THook<TMessagingThread::Main> hook;
    int calls = 0;
    hook.Body = [&](const std::string&) {
        ++calls;
        FBus->Unsubscribe(&hook);
    };
    FBus->Subscribe(&hook);
    // Queued twice: the first call unsubscribes, so the second queued delivery calls nothing.
    std::thread([&] {
        FBus->Post("ping", std::string());
        FBus->Post("ping", std::string());
    }).join();
    EXPECT_EQ(FPlatform->RunPending(), 2U);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(FBus->IsSubscribed(&hook));
}

TEST_F(Messaging_Unsubscribe, TwiceAndSubscribeTwiceAreRefused) {
    TMainForm form;
    FBus->Subscribe(&form);
    EXPECT_TRUE(FBus->IsSubscribed(&form));
    EXPECT_EQ(MessagingError([&] { FBus->Subscribe(&form); }), "The object MainUnit.TMainForm is already subscribed");
    FBus->Unsubscribe(&form);
    EXPECT_FALSE(FBus->IsSubscribed(&form));
    EXPECT_FALSE(FBus->TryUnsubscribe(&form));
    EXPECT_EQ(MessagingError([&] { FBus->Unsubscribe(&form); }), "The object MainUnit.TMainForm is not subscribed");
    // Subscribed again afterwards, it is delivered again.
    FBus->Subscribe(&form);
    FBus->Post("hello", std::string("again"));
    FBus->Unsubscribe(&form);
    EXPECT_EQ(form.Count(), 1);
}

// A handler taking its text by non-const reference.
class TWrongHandler final : public TSubscriberObject {
  public:
    void OnPing(std::string&) {}

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

const TSubscriberClass TWrongHandler::Registration =
    TSubscriberClass("BusTest", "TWrongHandler").Method<&TWrongHandler::OnPing>("OnPing", {"ping"});

TEST_F(BusFixture, Messaging_Subscribe_FailureLeavesTheBusUnchangedAndRepeats) {
    TWrongHandler wrong;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(MessagingError([&] { FBus->Subscribe(&wrong); }),
                  "Method BusTest.TWrongHandler.OnPing have invalid parameter modifier. Should be const.");
        EXPECT_FALSE(FBus->IsSubscribed(&wrong));
        EXPECT_FALSE(FBus->TryUnsubscribe(&wrong));
    }
    // Nothing left behind for the leak report.
    EXPECT_NO_THROW(TMessaging::Free(std::move(FBus)));
}

TEST_F(Messaging_Unsubscribe, MissingSubscriberIsRefused) {
    for (const auto& action :
         std::vector<std::function<void()>>{[&] { FBus->Subscribe(nullptr); }, [&] { FBus->TryUnsubscribe(nullptr); },
                                            [&] { FBus->Unsubscribe(nullptr); }}) {
        EXPECT_EQ(MessagingError(action), "Invalid subscriber");
    }
    EXPECT_FALSE(FBus->IsSubscribed(nullptr));
}

// ---- Handler failures ----

struct TFailureCase {
    const char* Name;
    const char* Text;
};

void PrintTo(const TFailureCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class Messaging_HandlerFailure : public BusFixture, public ::testing::WithParamInterface<TFailureCase> {};

constexpr const char* kSuffix =
    " Error invoking subscribed messaging method OnSubscribeComPortData in class TMainForm with message "
    "{39cf243a-5ac3-4a7b-8263-ba0f3385b559}subscribecomportdata";

TEST_P(Messaging_HandlerFailure, InsidePostReachesThePosterWithTheSuffixAndStopsTheSnapshot) {
    TMainForm first;
    TMainForm second;
    FBus->Subscribe(&first);
    FBus->Subscribe(&second);
    // List order is by address; whichever stands first fails.
    TMainForm* const leader = &first < &second ? &first : &second;
    TMainForm* const follower = leader == &first ? &second : &first;
    leader->Fail = [] { throw ETestError(GetParam().Text); };
    try {
        FBus->Post("subscribeComPortData", MakeMessage<IAlpha>(7));
        ADD_FAILURE() << "no error";
    } catch (const ETestError& error) {
        EXPECT_EQ(std::string(error.what()), std::string("Bad value.") + kSuffix);
    }
    EXPECT_EQ(leader->Count(), 1);
    EXPECT_EQ(follower->Count(), 0);
    FBus->Unsubscribe(&first);
    FBus->Unsubscribe(&second);
}

INSTANTIATE_TEST_SUITE_P(Texts, Messaging_HandlerFailure,
                         ::testing::Values(TFailureCase{"WithoutPoint", "Bad value"},
                                           TFailureCase{"WithPoint", "Bad value."}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(BusFixture, Messaging_HandlerFailure_OtherErrorTypesPassUnchanged) {
    TMainForm form;
    form.Fail = [] { throw std::runtime_error("plain"); };
    FBus->Subscribe(&form);
    try {
        FBus->Post("subscribeComPortData", MakeMessage<IAlpha>(1));
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "plain");
    }
    FBus->Unsubscribe(&form);
}

TEST_F(BusFixture, Messaging_HandlerFailure_QueuedMainDeliveryReachesThePlatformErrorHandling) {
    TMainForm form;
    form.Fail = [] { throw Exception("Bad value"); };
    FBus->SubscribeCallback<&TMainForm::OnSubscribeComPortData>("subscribeComPortData", TMessagingThread::Main, &form);
    std::thread([&] { EXPECT_NO_THROW(FBus->Post("subscribeComPortData", MakeMessage<IAlpha>(1))); }).join();
    FPlatform->RunPending();
    const std::vector<std::string> errors = ErrorTexts(FPlatform->TakeErrors());
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0],
              "Bad value. Error invoking subscribed messaging method <?> in class TMainForm with message "
              "{39cf243a-5ac3-4a7b-8263-ba0f3385b559}subscribecomportdata");
    EXPECT_TRUE(FBus->TryUnsubscribeCallback<&TMainForm::OnSubscribeComPortData>("subscribeComPortData", &form));
}

TEST_F(BusFixture, Messaging_HandlerFailure_AfterTheHandlerFreedItsOwnObjectStillNamesItsClass) {
    auto* hook = new THook<TMessagingThread::Posting>();
    hook->Body = [this, hook](const std::string&) {
        FBus->Unsubscribe(hook);
        delete hook;
        throw Exception("Gone");
    };
    FBus->Subscribe(hook);
    try {
        FBus->Post("ping", std::string());
        ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(),
                     "Gone. Error invoking subscribed messaging method OnPing in class THook with message {str}ping");
    }
}

TEST_F(BusFixture, Messaging_HandlerFailure_OnAPoolWorkerIsNotReportedAndDoesNotStopThePost) {
    THook<TMessagingThread::Async> async;
    THook<TMessagingThread::Background> background;
    std::atomic<int> failed{0};
    const auto fail = [&](const std::string&) {
        ++failed;
        throw Exception("Bad value");
    };
    async.Body = fail;
    background.Body = fail;
    FBus->Subscribe(&async);
    FBus->Subscribe(&background);
    // From the main thread both run on pool workers.
    EXPECT_NO_THROW(FBus->Post("ping", std::string()));
    ASSERT_TRUE(FPlatform->WaitForWorkers(5s));
    EXPECT_EQ(failed.load(), 2);
    EXPECT_TRUE(FPlatform->TakeErrors().empty());
    FBus->Unsubscribe(&async);
    FBus->Unsubscribe(&background);
}

// ---- Main-thread batches ----

std::vector<std::string> MessagesOf(const TRecorder& ARecorder) {
    std::vector<std::string> messages;
    for (const auto& call : ARecorder.Calls()) {
        messages.push_back(call.Message);
    }
    return messages;
}

TEST_F(BusFixture, Messaging_MainThreadBatch_QueuesItsMainDeliveriesAsOneProcedureInPostingOrder) {
    TOn<TMessagingThread::Main> main;
    TOn<TMessagingThread::Posting> posting;
    FBus->Subscribe(&main);
    FBus->Subscribe(&posting);
    std::size_t queuedInside = 0;
    std::size_t queuedAfterInner = 0;
    std::size_t queuedAfterFlush = 0;
    std::thread([&] {
        TMainThreadBatch batch;
        FBus->Post("ping", std::string("a"));
        {
            TMainThreadBatch inner;  // joins the outer one
            FBus->Post("ping", std::string("b"));
        }
        queuedAfterInner = FPlatform->PendingCount();
        FBus->Post("ping", std::string("c"));
        queuedInside = FPlatform->PendingCount();
        batch.Flush();
        queuedAfterFlush = FPlatform->PendingCount();
        FBus->Post("ping", std::string("d"));
    }).join();
    EXPECT_EQ(queuedAfterInner, 0U);
    EXPECT_EQ(queuedInside, 0U);
    EXPECT_EQ(queuedAfterFlush, 1U);
    EXPECT_EQ(posting.Count(), 4) << "deliveries on the posting thread are not held back";
    EXPECT_EQ(main.Count(), 0);
    EXPECT_EQ(FPlatform->RunPending(), 2U) << "the flushed part, then the rest when the batch closed";
    EXPECT_EQ(MessagesOf(main), (std::vector<std::string>{"a", "b", "c", "d"}));
    FBus->Unsubscribe(&main);
    FBus->Unsubscribe(&posting);
}

TEST_F(BusFixture, Messaging_MainThreadBatch_EveryFailingDeliveryIsReportedAndTheRestStillRun) {
    THook<TMessagingThread::Main> hook;
    std::vector<std::string> seen;
    hook.Body = [&](const std::string& AMessage) {
        seen.push_back(AMessage);
        if (AMessage != "ok") {
            throw Exception(AMessage);
        }
    };
    FBus->Subscribe(&hook);
    std::thread([&] {
        TMainThreadBatch batch;
        for (const char* text : {"first", "ok", "second"}) {
            FBus->Post("ping", std::string(text));
        }
    }).join();
    FPlatform->RunPending();
    const std::vector<std::string> errors = ErrorTexts(FPlatform->TakeErrors());
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "ok", "second"}));
    ASSERT_EQ(errors.size(), 2U);
    EXPECT_EQ(errors[0].rfind("first.", 0), 0U) << errors[0];
    EXPECT_EQ(errors[1].rfind("second.", 0), 0U) << errors[1];
    FBus->Unsubscribe(&hook);
}

// ---- Callbacks ----

using Messaging_Callback = BusFixture;

TEST_F(Messaging_Callback, IsDeliveredUntilUnsubscribedAndDoesNotCountAsSubscribed) {
    TMainForm form;
    FBus->SubscribeCallback<&TMainForm::OnCallbackAlpha>("subscribeComPortData", TMessagingThread::Posting, &form);
    EXPECT_FALSE(FBus->IsSubscribed(&form));
    FBus->Post("SubscribeComPortData", MakeMessage<IAlpha>(5));
    EXPECT_TRUE(FBus->TryUnsubscribeCallback<&TMainForm::OnCallbackAlpha>("subscribeComPortData", &form));
    EXPECT_FALSE(FBus->TryUnsubscribeCallback<&TMainForm::OnCallbackAlpha>("subscribeComPortData", &form));
    FBus->Post("subscribeComPortData", MakeMessage<IAlpha>(6));
    ASSERT_EQ(form.Count(), 1);
    EXPECT_EQ(form.Calls()[0].Message, "5");
}

TEST_F(Messaging_Callback, LivesBesideTheObjectsOwnSubscription) {
    TMainForm form;
    FBus->Subscribe(&form);
    FBus->SubscribeCallback<&TMainForm::OnCallbackText>("hello", TMessagingThread::Posting, &form);
    FBus->Post("hello", std::string("both"));
    FBus->Unsubscribe(&form);
    FBus->Post("hello", std::string("callback only"));
    EXPECT_TRUE(FBus->TryUnsubscribeCallback<&TMainForm::OnCallbackText>("hello", &form));
    const auto calls = form.Calls();
    ASSERT_EQ(calls.size(), 3U);
    EXPECT_EQ(calls[2].Handler, "OnCallbackText");
    EXPECT_EQ(calls[2].Message, "callback only");
}

TEST_F(Messaging_Callback, ErrorsHaveTheirTexts) {
    TMainForm form;
    const TTypeInfo& text = TypeInfoOf<std::string>();
    const TMethodCode code = MethodCodeOf<&TMainForm::OnCallbackText>();
    EXPECT_EQ(MessagingError([&] {
                  FBus->SubscribeCallback("x", text, TMessagingThread::Posting, TMethod{nullptr, &form});
              }),
              "Invalid method");
    EXPECT_EQ(MessagingError([&] {
                  FBus->SubscribeCallback("x", text, TMessagingThread::Posting, TMethod{code, nullptr});
              }),
              "Invalid method");
    EXPECT_EQ(MessagingError([&] {
                  FBus->TryUnsubscribeCallback("x", text, TMethod{nullptr, &form});
              }),
              "Invalid method");
    // No object is not refused on the way out: it matches nothing.
    EXPECT_FALSE(FBus->TryUnsubscribeCallback("x", text, TMethod{code, nullptr}));

    FBus->SubscribeCallback<&TMainForm::OnCallbackText>("Hello", TMessagingThread::Posting, &form);
    EXPECT_EQ(MessagingError(
                  [&] { FBus->SubscribeCallback<&TMainForm::OnCallbackText>("hello", TMessagingThread::Main, &form); }),
              "The method <?> is already subscribed");
    EXPECT_TRUE(FBus->TryUnsubscribeCallback<&TMainForm::OnCallbackText>("HELLO", &form));
}

std::atomic<int> GBaseCalls{0};
std::atomic<int> GDerivedCalls{0};

// Unsubscribes in its destructor, where SubscriberClass() already answers the base class.
class TUnsubscribingBase : public TSubscriberObject {
  public:
    explicit TUnsubscribingBase(TMessaging& ABus) : FBus(ABus) {}
    ~TUnsubscribingBase() override { FBus.TryUnsubscribe(this); }
    void OnBase(const std::string&) { ++GBaseCalls; }

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }

  private:
    TMessaging& FBus;
};

const TSubscriberClass TUnsubscribingBase::Registration =
    TSubscriberClass("BusTest", "TUnsubscribingBase").Method<&TUnsubscribingBase::OnBase>("OnBase", {"base"});

class TUnsubscribingDerived final : public TUnsubscribingBase {
  public:
    using TUnsubscribingBase::TUnsubscribingBase;
    void OnDerived(const std::string&) { ++GDerivedCalls; }

    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

const TSubscriberClass TUnsubscribingDerived::Registration =
    TSubscriberClass("BusTest", "TUnsubscribingDerived", &TUnsubscribingBase::Registration)
        .Method<&TUnsubscribingDerived::OnDerived>("OnDerived", {"derived"});

TEST_F(Messaging_Unsubscribe, FromABaseClassDestructorRemovesTheHandlersOfTheSubscribedClass) {
    {
        TUnsubscribingDerived object(*FBus);
        FBus->Subscribe(&object);
        FBus->Post("base", std::string());
        FBus->Post("derived", std::string());
    }
    FBus->Post("base", std::string());
    FBus->Post("derived", std::string());
    EXPECT_EQ(GBaseCalls.load(), 1);
    EXPECT_EQ(GDerivedCalls.load(), 1);
    EXPECT_NO_THROW(TMessaging::Free(std::move(FBus)));
}

// ---- Destruction and the leak report ----

TEST(Messaging_LeakReport, NamesOneObject) {
    auto platform = std::make_shared<TManualPlatform>(1);
    InstallMessagingPlatform(platform);
    auto bus = TMessaging::NewManager();
    TMainForm form;
    bus->Subscribe(&form);
    EXPECT_EQ(MessagingError([&] { TMessaging::Free(std::move(bus)); }),
              "Found 1 object(s)/method(s) that haven't unsubscribed: 1x TMainForm");
    InstallMessagingPlatform(nullptr);
}

TEST(Messaging_LeakReport, NamesACallbackByClassHandlerAndKey) {
    auto bus = TMessaging::NewManager();
    TMainForm form;
    bus->SubscribeCallback<&TMainForm::OnCallbackText>("Hello", TMessagingThread::Posting, &form);
    EXPECT_EQ(MessagingError([&] { TMessaging::Free(std::move(bus)); }),
              "Found 1 object(s)/method(s) that haven't unsubscribed: 1x TMainForm.<?>.{str}hello");
}

TEST(Messaging_LeakReport, QueuedDeliveryOfALeakedObjectCallsNothingAfterDestruction) {
    auto platform = std::make_shared<TManualPlatform>(1);
    InstallMessagingPlatform(platform);
    auto bus = TMessaging::NewManager();
    TOn<TMessagingThread::Main> subscriber;
    bus->Subscribe(&subscriber);
    std::thread([&] { bus->Post("ping", std::string()); }).join();
    EXPECT_THROW(TMessaging::Free(std::move(bus)), EMessaging);
    EXPECT_EQ(platform->RunPending(), 1U);
    EXPECT_EQ(subscriber.Count(), 0);
    InstallMessagingPlatform(nullptr);
}

TEST(Messaging_LeakReport, CountsMostFrequentFirstAndStopsAfterTen) {
    EXPECT_EQ(GetSubscribersClassName({"TB", "TA", "TB", "TC", "TB", "TA"}), "3x TB, 2x TA, 1x TC");
    std::vector<std::string> twelve;
    for (int i = 0; i < 12; ++i) {
        twelve.push_back("T" + std::to_string(i));
    }
    const std::string text = GetSubscribersClassName(twelve);
    EXPECT_TRUE(text.ends_with(", ...")) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), 'x'), 10) << text;
    EXPECT_EQ(text.find("1x T"), 0U) << text;
}

TEST(Messaging_LeakReport, TwelveLeakedClassesThroughTheBus) {
    auto bus = TMessaging::NewManager();
    struct TLeaked final : TSubscriberObject {
        explicit TLeaked(int AIndex) : Registration("BusTest", "TLeaked" + std::to_string(AIndex)) {
            Registration.Method<&TLeaked::OnPing>("OnPing", {"ping"});
        }
        void OnPing(const std::string&) {}
        const TSubscriberClass& SubscriberClass() const override { return Registration; }
        TSubscriberClass Registration;
    };
    std::vector<std::unique_ptr<TLeaked>> leaked;
    for (int i = 0; i < 12; ++i) {
        leaked.push_back(std::make_unique<TLeaked>(i));
        bus->Subscribe(leaked.back().get());
    }
    const std::string text = MessagingError([&] { TMessaging::Free(std::move(bus)); });
    EXPECT_TRUE(text.starts_with("Found 12 object(s)/method(s) that haven't unsubscribed: 1x TLeaked")) << text;
    EXPECT_TRUE(text.ends_with(", ...")) << text;
}

// ---- The process-wide bus ----

TEST(Messaging_Shared, StartsCacheThenBusAndShutsDownBothEvenWithALeak) {
    InitializeMessaging();
    ASSERT_NE(InterfaceKeyCache(), nullptr);
    TMainForm form;
    SharedMessaging().Subscribe(&form);
    SharedMessaging().Post("subscribeComPortData", MakeMessage<IAlpha>(1));
    EXPECT_EQ(form.Count(), 1);
    EXPECT_EQ(InterfaceKeyCache()->GuidText(TypeInfoOf<std::shared_ptr<IAlpha>>()),
              std::string(kDataKey.substr(0, 38)));
    EXPECT_THROW(FinalizeMessaging(), EMessaging);
    EXPECT_EQ(InterfaceKeyCache(), nullptr);
    EXPECT_THROW(SharedMessaging(), std::logic_error);
}

}  // namespace
}  // namespace tavrel::bus::test
