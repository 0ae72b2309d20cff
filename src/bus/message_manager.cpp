#include "bus/message_manager.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "bus/main_thread_batch.h"
#include "bus/message_key.h"
#include "bus/messaging_platform.h"

namespace tavrel::bus {
namespace {

bool Less(const std::shared_ptr<ISubscription>& ALeft, const std::shared_ptr<ISubscription>& ARight) {
    return CompareSubscriptions(*ALeft, *ARight) < 0;
}

struct TProbeLess {
    bool operator()(const std::shared_ptr<ISubscription>& AEntry, const ISubscription& AProbe) const {
        return CompareSubscriptions(*AEntry, AProbe) < 0;
    }
    bool operator()(const ISubscription& AProbe, const std::shared_ptr<ISubscription>& AEntry) const {
        return CompareSubscriptions(AProbe, *AEntry) < 0;
    }
};

std::string CallbackKey(const TMethod& AMethod, const std::string& AKey) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(AMethod.Code)) + "." +
           std::to_string(reinterpret_cast<std::uintptr_t>(AMethod.Data)) + "." + AKey;
}

std::string KeyOf(std::string_view AMessageName, const TTypeInfo& AArgType) {
    return AArgType.Kind == TTypeKind::tkInterface ? TypedMessageKey(AArgType, AMessageName)
                                                   : TextMessageKey(AMessageName);
}

template <class T>
void DoPostWithAnonymousProc(IMessagingPlatform& APlatform, const std::shared_ptr<ISubscription>& ASubscription,
                             const T& AMessage) {
    const TMessagingThread thread = ASubscription->GetDeliveryThread();
    assert(thread == TMessagingThread::Main || thread == TMessagingThread::Async ||
           thread == TMessagingThread::Background);
    if (thread == TMessagingThread::Main) {
        // A failure goes to the main thread's general error handling.
        std::function<void()> proc = [ASubscription, AMessage] { ASubscription->Invoke(&AMessage); };
        if (!TMainThreadBatch::Collect(proc)) {
            APlatform.QueueOnMainThread(std::move(proc));
        }
    } else {
        // Nobody waits for a pool task, so its failure ends it unreported.
        APlatform.StartOnWorker([ASubscription, AMessage] {
            try {
                ASubscription->Invoke(&AMessage);
            } catch (...) {
            }
        });
    }
}

}  // namespace

std::string GetSubscribersClassName(const std::vector<std::string>& ANames) {
    std::map<std::string, int> counts;
    for (const auto& name : ANames) {
        ++counts[name];
    }
    std::vector<std::pair<std::string, int>> pairs(counts.begin(), counts.end());
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string result;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i == 10) {
            result += ", ...";
            break;
        }
        if (i > 0) {
            result += ", ";
        }
        result += std::to_string(pairs[i].second) + "x " + pairs[i].first;
    }
    return result;
}

TMessageManager::TMessageManager() : FSubscriberMethodsFinder(std::make_unique<TSubscriberMethodsFinder>()) {}

TMessageManager::~TMessageManager() {
    const std::lock_guard guard(FCriticalSection);
    for (auto& [key, list] : FMessageSubscriptions) {
        for (auto& subscription : list) {
            subscription->Cancel();
        }
    }
}

std::string TMessageManager::LeakReport() {
    const std::lock_guard guard(FCriticalSection);
    if (FSubscribersMap.empty() && FSubscriberMethodsMap.empty()) {
        return {};
    }
    std::vector<std::string> names;
    for (const auto& [object, subscribed] : FSubscribersMap) {
        names.push_back(subscribed.Name);
    }
    for (const auto& [key, description] : FSubscriberMethodsMap) {
        names.push_back(description);
    }
    return "Found " + std::to_string(names.size()) +
           " object(s)/method(s) that haven't unsubscribed: " + GetSubscribersClassName(names);
}

void TMessageManager::Insert(TSubscriptionList& AList, std::shared_ptr<ISubscription> ASubscription) {
    // Lower bound: before every equal entry, so the handler registered later is called first.
    const auto at = std::lower_bound(AList.begin(), AList.end(), ASubscription, Less);
    AList.insert(at, std::move(ASubscription));
}

void TMessageManager::Subscribe(TSubscriberObject* ASubscriber) {
    if (ASubscriber == nullptr) {
        throw EMessaging("Invalid subscriber");
    }
    const TSubscriberClass& subscriberClass = ASubscriber->SubscriberClass();
    const std::lock_guard guard(FCriticalSection);
    if (FSubscribersMap.contains(ASubscriber)) {
        throw EMessaging("The object " + subscriberClass.QualifiedName() + " is already subscribed");
    }
    const auto& methods = FSubscriberMethodsFinder->FindSubscriberMethods(&subscriberClass);
    assert(!methods.empty());
    FSubscribersMap.emplace(ASubscriber, TSubscribed{subscriberClass.Name(), &subscriberClass});
    for (const TSubscriberMethod* method : methods) {
        Insert(FMessageSubscriptions[method->FMessageFullName], std::make_shared<TSubscription>(ASubscriber, method));
    }
}

bool TMessageManager::TryUnsubscribe(TSubscriberObject* ASubscriber) {
    if (ASubscriber == nullptr) {
        throw EMessaging("Invalid subscriber");
    }
    const TSubscription probe(ASubscriber, nullptr);
    std::vector<std::shared_ptr<ISubscription>> pending;
    {
        const std::lock_guard guard(FCriticalSection);
        const auto subscribed = FSubscribersMap.find(ASubscriber);
        if (subscribed == FSubscribersMap.end()) {
            return false;
        }
        const auto& keys = FSubscriberMethodsFinder->FindSubscriberMessageNames(subscribed->second.Class);
        assert(!keys.empty());
        FSubscribersMap.erase(subscribed);
        for (const std::string& key : keys) {
            const auto found = FMessageSubscriptions.find(key);
            if (found == FMessageSubscriptions.end()) {
                continue;
            }
            TSubscriptionList& list = found->second;
            const auto [first, last] = std::equal_range(list.begin(), list.end(), probe, TProbeLess{});
            for (auto it = first; it != last; ++it) {
                // Counted under the manager lock, where no snapshot can be taken meanwhile.
                if (it->use_count() != 1) {
                    pending.push_back(*it);
                }
            }
            list.erase(first, last);
            if (list.empty()) {
                FMessageSubscriptions.erase(found);
            }
        }
    }
    // Without the manager lock: a running handler may itself be waiting for it.
    for (const auto& subscription : pending) {
        subscription->Cancel();
    }
    for (const auto& subscription : pending) {
        subscription->WaitForInvoke();
    }
    return true;
}

bool TMessageManager::IsSubscribed(const TSubscriberObject* ASubscriber) {
    const std::lock_guard guard(FCriticalSection);
    return FSubscribersMap.contains(ASubscriber);
}

void TMessageManager::Post(std::string_view AMessageName, const std::string& AMessage) {
    Deliver(TextMessageKey(AMessageName), AMessage);
}

void TMessageManager::Post(std::string_view AMessageName, const TTypeInfo& AType,
                           const std::shared_ptr<void>& AMessage) {
    Deliver(TypedMessageKey(AType, AMessageName), AMessage);
}

template <class T>
void TMessageManager::Deliver(const std::string& AKey, const T& AMessage) {
    if (AKey.empty()) {
        throw EMessaging("Invalid message name");
    }
    TSubscriptionList snapshot;
    {
        const std::lock_guard guard(FCriticalSection);
        const auto found = FMessageSubscriptions.find(AKey);
        if (found == FMessageSubscriptions.end()) {
            return;
        }
        snapshot = found->second;
    }
    std::shared_ptr<IMessagingPlatform> platform;
    std::optional<bool> isMainThread;
    const auto onMainThread = [&] {
        if (!isMainThread) {
            platform = MessagingPlatform();
            isMainThread = platform->IsMainThread();
        }
        return *isMainThread;
    };
    const auto deferred = [&](const std::shared_ptr<ISubscription>& ASubscription) {
        if (!platform) {
            platform = MessagingPlatform();
        }
        DoPostWithAnonymousProc(*platform, ASubscription, AMessage);
    };
    for (const auto& subscription : snapshot) {
        switch (subscription->GetDeliveryThread()) {
            case TMessagingThread::Posting:
                subscription->Invoke(&AMessage);
                break;
            case TMessagingThread::Main:
                if (onMainThread()) {
                    subscription->Invoke(&AMessage);
                } else {
                    deferred(subscription);
                }
                break;
            case TMessagingThread::Async:
                deferred(subscription);
                break;
            case TMessagingThread::Background:
                if (onMainThread()) {
                    deferred(subscription);
                } else {
                    subscription->Invoke(&AMessage);
                }
                break;
        }
    }
}

void TMessageManager::SubscribeCallback(std::string_view AMessageName, const TTypeInfo& AArgType,
                                        TMessagingThread AMessagingThread, const TMethod& AMethod) {
    if (AMethod.Code == nullptr || AMethod.Data == nullptr) {
        throw EMessaging("Invalid method");
    }
    std::string key = KeyOf(AMessageName, AArgType);
    const std::string callbackKey = CallbackKey(AMethod, key);
    const std::string description = AMethod.Data->SubscriberClass().Name() + ".<?>." + key;
    auto subscription =
        std::make_shared<TSubscription>(AMethod.Data, key, AMessagingThread, AMethod.Code, "<?>", AArgType.Kind);

    const std::lock_guard guard(FCriticalSection);
    if (FSubscriberMethodsMap.contains(callbackKey)) {
        throw EMessaging("The method <?> is already subscribed");
    }
    TSubscriptionList& list = FMessageSubscriptions[key];
    const auto at = std::lower_bound(list.begin(), list.end(), subscription, Less);
    if (at != list.end() && CompareSubscriptions(**at, *subscription) == 0) {
        throw EMessaging("Unexpected error subscribing <?>");
    }
    list.insert(at, std::move(subscription));
    FSubscriberMethodsMap.emplace(callbackKey, description);
}

bool TMessageManager::TryUnsubscribeCallback(std::string_view AMessageName, const TTypeInfo& AArgType,
                                             const TMethod& AMethod) {
    if (AMethod.Code == nullptr) {
        throw EMessaging("Invalid method");
    }
    const std::string key = KeyOf(AMessageName, AArgType);
    const std::string callbackKey = CallbackKey(AMethod, key);
    const TSubscription probe(AMethod.Data, std::string(), TMessagingThread::Posting, AMethod.Code, std::string(),
                              AArgType.Kind);
    std::shared_ptr<ISubscription> pending;
    {
        const std::lock_guard guard(FCriticalSection);
        if (FSubscriberMethodsMap.erase(callbackKey) == 0) {
            return false;
        }
        const auto found = FMessageSubscriptions.find(key);
        if (found == FMessageSubscriptions.end()) {
            return false;
        }
        TSubscriptionList& list = found->second;
        const auto at = std::lower_bound(list.begin(), list.end(), probe, TProbeLess{});
        if (at == list.end() || CompareSubscriptions(**at, probe) != 0) {
            return false;
        }
        if (at->use_count() != 1) {
            pending = *at;
        }
        list.erase(at);
        if (list.empty()) {
            FMessageSubscriptions.erase(found);
        }
    }
    if (pending) {
        pending->Cancel();
        pending->WaitForInvoke();
    }
    return true;
}

}  // namespace tavrel::bus
