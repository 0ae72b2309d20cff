#include "bus/subscription.h"

#include <cassert>
#include <cstdint>

#include "bus/exception.h"

namespace tavrel::bus {

TSubscription::TSubscription(TSubscriberObject* ASubscriber, const TSubscriberMethod* ASubscriberMethod)
    : FSubscriber(ASubscriber), FSubscriberMethod(ASubscriberMethod) {
    if (ASubscriberMethod != nullptr) {
        FCriticalSection = std::make_unique<std::recursive_mutex>();
        FMethod = TMethod{ASubscriberMethod->FMethodCode, ASubscriber};
    }
}

TSubscription::TSubscription(TSubscriberObject* ASubscriber, std::string AMessageFullName,
                             TMessagingThread AMessagingThread, TMethodCode AMethodCode, std::string AMethodName,
                             TTypeKind ATypeKind)
    : FSubscriber(ASubscriber),
      FSubscriberMethod(nullptr),
      FSubscriberMethodOwn(std::make_unique<TSubscriberMethod>(TSubscriberMethod{
          std::move(AMessageFullName), AMessagingThread, AMethodCode, std::move(AMethodName), ATypeKind})) {
    FSubscriberMethod = FSubscriberMethodOwn.get();
    if (AMethodCode != nullptr) {
        FCriticalSection = std::make_unique<std::recursive_mutex>();
        FMethod = TMethod{AMethodCode, ASubscriber};
    }
}

void TSubscription::Cancel() {
    FCanceled.store(true);
}

TMessagingThread TSubscription::GetDeliveryThread() const {
    assert(FSubscriberMethod != nullptr);
    return FSubscriberMethod->FMessagingThread;
}

TMethodCode TSubscription::GetOwnMethodCode() const {
    return FSubscriberMethodOwn ? FSubscriberMethodOwn->FMethodCode : nullptr;
}

void TSubscription::Invoke(const void* AArgAddress) {
    if (FCanceled.load()) {
        return;
    }
    assert(FCriticalSection && "a probe is never invoked");
    const std::lock_guard guard(*FCriticalSection);
    if (FCanceled.load()) {
        return;
    }
    const TTypeKind kind = FSubscriberMethod->FTypeKind;
    if (kind != TTypeKind::tkInterface && kind != TTypeKind::tkString) {
        return;
    }
    // Taken before the call: a handler may unsubscribe and free its own object before it throws.
    const TSubscriberClass& subscriberClass = FSubscriber->SubscriberClass();
    try {
        FMethod.Code(FMethod.Data, AArgAddress);
    } catch (Exception& error) {
        std::string text = error.Message();
        if (text.empty() || text.back() != '.') {
            text += '.';
        }
        text += " Error invoking subscribed messaging method " + FSubscriberMethod->FNameOfMethod + " in class " +
                subscriberClass.Name() + " with message " + FSubscriberMethod->FMessageFullName;
        error.SetMessage(std::move(text));
        throw;
    }
}

void TSubscription::WaitForInvoke() {
    if (FCriticalSection) {
        FCriticalSection->lock();
        FCriticalSection->unlock();
    }
}

int CompareSubscriptions(const ISubscription& ALeft, const ISubscription& ARight) {
    const auto leftObject = reinterpret_cast<std::uintptr_t>(ALeft.GetSubscriberObject());
    const auto rightObject = reinterpret_cast<std::uintptr_t>(ARight.GetSubscriberObject());
    if (leftObject != rightObject) {
        return leftObject < rightObject ? -1 : 1;
    }
    const auto leftCode = reinterpret_cast<std::uintptr_t>(ALeft.GetOwnMethodCode());
    const auto rightCode = reinterpret_cast<std::uintptr_t>(ARight.GetOwnMethodCode());
    if (leftCode != rightCode) {
        return leftCode < rightCode ? -1 : 1;
    }
    return 0;
}

}  // namespace tavrel::bus
