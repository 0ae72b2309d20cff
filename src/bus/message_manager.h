#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bus/messaging.h"
#include "bus/subscriber_methods_finder.h"
#include "bus/subscription.h"

namespace tavrel::bus {

// "<count>x <name>" for the ten most frequent names, most frequent first, joined by ", "; ", ..." when
// there are more.
std::string GetSubscribersClassName(const std::vector<std::string>& ANames);

// The bus. Lock order: a subscription's lock may be held when FCriticalSection is taken, never the
// reverse; the interface key cache's lock is never held together with FCriticalSection.
class TMessageManager final : public TMessaging {
  public:
    TMessageManager();
    // Cancels what is left subscribed, so that deliveries still queued call nothing.
    ~TMessageManager() override;

    using TMessaging::Post;
    using TMessaging::SubscribeCallback;
    using TMessaging::TryUnsubscribeCallback;

    void Post(std::string_view AMessageName, const TTypeInfo& AType, const std::shared_ptr<void>& AMessage) override;
    void SubscribeCallback(std::string_view AMessageName, const TTypeInfo& AArgType, TMessagingThread AMessagingThread,
                           const TMethod& AMethod) override;
    bool TryUnsubscribeCallback(std::string_view AMessageName, const TTypeInfo& AArgType,
                                const TMethod& AMethod) override;
    bool IsSubscribed(const TSubscriberObject* ASubscriber) override;
    void Post(std::string_view AMessageName, const std::string& AMessage) override;
    void Subscribe(TSubscriberObject* ASubscriber) override;
    bool TryUnsubscribe(TSubscriberObject* ASubscriber) override;

    // The leak report text, empty when nothing is left subscribed.
    std::string LeakReport();

  private:
    using TSubscriptionList = std::vector<std::shared_ptr<ISubscription>>;

    template <class T>
    void Deliver(const std::string& AKey, const T& AMessage);
    void Insert(TSubscriptionList& AList, std::shared_ptr<ISubscription> ASubscription);

    std::mutex FCriticalSection;
    std::unordered_map<std::string, TSubscriptionList> FMessageSubscriptions;
    std::unique_ptr<TSubscriberMethodsFinder> FSubscriberMethodsFinder;
    // The class is kept so that unsubscribing finds the keys the object subscribed with, even when it
    // is called from a base class's destructor, where SubscriberClass() answers the base.
    struct TSubscribed {
        std::string Name;
        const TSubscriberClass* Class;
    };
    std::unordered_map<const TSubscriberObject*, TSubscribed> FSubscribersMap;
    std::unordered_map<std::string, std::string> FSubscriberMethodsMap;
};

}  // namespace tavrel::bus
