#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "bus/messaging_types.h"
#include "bus/subscriber_class.h"

namespace tavrel::bus {

// One subscription; shared by its list, post snapshots and queued deliveries (std::shared_ptr).
class ISubscription {
  public:
    virtual ~ISubscription() = default;

    virtual void Cancel() = 0;
    virtual TMessagingThread GetDeliveryThread() const = 0;
    // The handler's entry point when the subscription owns its handler (callbacks), otherwise nullptr.
    virtual TMethodCode GetOwnMethodCode() const = 0;
    virtual TSubscriberObject* GetSubscriberObject() const = 0;
    virtual void Invoke(const void* AArgAddress) = 0;
    virtual void WaitForInvoke() = 0;
};

class TSubscription final : public ISubscription {
  public:
    // Borrows the class handler record, which outlives the subscription's list entries.
    TSubscription(TSubscriberObject* ASubscriber, const TSubscriberMethod* ASubscriberMethod);
    // A callback subscription: makes and owns its handler record. With no AMethodCode it is a probe.
    TSubscription(TSubscriberObject* ASubscriber, std::string AMessageFullName, TMessagingThread AMessagingThread,
                  TMethodCode AMethodCode, std::string AMethodName, TTypeKind ATypeKind);

    void Cancel() override;
    TMessagingThread GetDeliveryThread() const override;
    TMethodCode GetOwnMethodCode() const override;
    TSubscriberObject* GetSubscriberObject() const override { return FSubscriber; }
    void Invoke(const void* AArgAddress) override;
    void WaitForInvoke() override;

  private:
    // Read before and again after taking the lock; atomic because it is set on another thread.
    std::atomic<bool> FCanceled{false};
    // Held for the whole of a handler call; re-entrant so a handler may unsubscribe its own object.
    // Absent on a probe.
    std::unique_ptr<std::recursive_mutex> FCriticalSection;
    TMethod FMethod;
    TSubscriberObject* FSubscriber;
    const TSubscriberMethod* FSubscriberMethod;
    std::unique_ptr<TSubscriberMethod> FSubscriberMethodOwn;
};

// -1, 0 or +1: by subscriber address, then by own entry point (none counts as 0).
int CompareSubscriptions(const ISubscription& ALeft, const ISubscription& ARight);

}  // namespace tavrel::bus
