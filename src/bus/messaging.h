#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "bus/exception.h"
#include "bus/messaging_types.h"
#include "bus/subscriber_class.h"

namespace tavrel::bus {

// The in-process publish/subscribe bus. Every operation may be called from any thread.
class TMessaging {
  public:
    virtual ~TMessaging() = default;

    // Typed post: AMessage holds an object of the interface type AType describes.
    virtual void Post(std::string_view AMessageName, const TTypeInfo& AType, const std::shared_ptr<void>& AMessage) = 0;
    virtual void SubscribeCallback(std::string_view AMessageName, const TTypeInfo& AArgType,
                                   TMessagingThread AMessagingThread, const TMethod& AMethod) = 0;
    virtual bool TryUnsubscribeCallback(std::string_view AMessageName, const TTypeInfo& AArgType,
                                        const TMethod& AMethod) = 0;
    virtual bool IsSubscribed(const TSubscriberObject* ASubscriber) = 0;
    virtual void Post(std::string_view AMessageName, const std::string& AMessage) = 0;
    virtual void Subscribe(TSubscriberObject* ASubscriber) = 0;
    virtual bool TryUnsubscribe(TSubscriberObject* ASubscriber) = 0;

    void Unsubscribe(TSubscriberObject* ASubscriber);

    static std::unique_ptr<TMessaging> NewManager();
    // Destroys the bus; when objects or callbacks are still subscribed, throws EMessaging "Found %d
    // object(s)/method(s) that haven't unsubscribed: %s" after everything has been freed.
    static void Free(std::unique_ptr<TMessaging> AMessaging);

    // Post(name, std::shared_ptr<ISomething>): the message travels as its interface type I.
    template <class I>
    void Post(std::string_view AMessageName, std::shared_ptr<I> AMessage) {
        static_assert(InterfaceType<std::remove_cv_t<I>>,
                      "a typed message is posted as std::shared_ptr of its (abstract) interface type");
        std::shared_ptr<void> held = std::const_pointer_cast<std::remove_cv_t<I>>(std::move(AMessage));
        Post(AMessageName, TypeInfoOf<std::shared_ptr<std::remove_cv_t<I>>>(), held);
    }

    // SubscribeCallback<&TClass::Handler>(name, thread, object): a handler not declared by a class.
    template <auto M, class C>
    void SubscribeCallback(std::string_view AMessageName, TMessagingThread AMessagingThread, C* AObject) {
        SubscribeCallback(AMessageName, CallbackArgType<M, C>(), AMessagingThread, TMethod{MethodCodeOf<M>(), AObject});
    }
    template <auto M, class C>
    bool TryUnsubscribeCallback(std::string_view AMessageName, C* AObject) {
        return TryUnsubscribeCallback(AMessageName, CallbackArgType<M, C>(), TMethod{MethodCodeOf<M>(), AObject});
    }

  private:
    template <auto M, class C>
    static const TTypeInfo& CallbackArgType() {
        using Traits = detail::TMemberTraits<decltype(M)>;
        static_assert(std::is_base_of_v<typename Traits::Class, C>, "the object must be of the handler's class");
        static_assert(std::tuple_size_v<typename Traits::Args> == 1, "a callback takes exactly one argument");
        using P = std::tuple_element_t<0, typename Traits::Args>;
        static_assert(detail::IsReadOnly<P>, "a callback takes its argument as const");
        return TypeInfoOf<P>();
    }
};

// The process-wide bus. Start-up: InitializeMessaging (key cache first, then the bus); shut-down:
// FinalizeMessaging (the bus with its leak report, then the key cache).
TMessaging& SharedMessaging();  // throws std::logic_error before start-up or after shut-down
void InitializeSharedMessaging();
void FinalizeSharedMessaging();
void InitializeMessaging();
void FinalizeMessaging();

}  // namespace tavrel::bus
