#include "bus/messaging.h"

#include <atomic>
#include <stdexcept>

#include "bus/message_key.h"
#include "bus/message_manager.h"

namespace tavrel::bus {
namespace {

std::atomic<TMessaging*> GSharedMessaging{nullptr};

}  // namespace

void TMessaging::Unsubscribe(TSubscriberObject* ASubscriber) {
    if (!TryUnsubscribe(ASubscriber)) {
        throw EMessaging("The object " + ASubscriber->SubscriberClass().QualifiedName() + " is not subscribed");
    }
}

std::unique_ptr<TMessaging> TMessaging::NewManager() {
    return std::make_unique<TMessageManager>();
}

void TMessaging::Free(std::unique_ptr<TMessaging> AMessaging) {
    std::string report;
    if (auto* manager = dynamic_cast<TMessageManager*>(AMessaging.get())) {
        report = manager->LeakReport();
    }
    AMessaging.reset();
    if (!report.empty()) {
        throw EMessaging(report);
    }
}

TMessaging& SharedMessaging() {
    TMessaging* messaging = GSharedMessaging.load();
    if (messaging == nullptr) {
        throw std::logic_error("The shared message bus does not exist");
    }
    return *messaging;
}

void InitializeSharedMessaging() {
    std::unique_ptr<TMessaging> old(GSharedMessaging.exchange(TMessaging::NewManager().release()));
    TMessaging::Free(std::move(old));
}

void FinalizeSharedMessaging() {
    TMessaging::Free(std::unique_ptr<TMessaging>(GSharedMessaging.exchange(nullptr)));
}

void InitializeMessaging() {
    InitializeInterfaceKeyCache();
    InitializeSharedMessaging();
}

void FinalizeMessaging() {
    try {
        FinalizeSharedMessaging();
    } catch (...) {
        FinalizeInterfaceKeyCache();
        throw;
    }
    FinalizeInterfaceKeyCache();
}

}  // namespace tavrel::bus
