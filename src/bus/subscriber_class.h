#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "bus/messaging_types.h"

namespace tavrel::bus {

class TSubscriberClass;

// Base of every object that subscribes on the bus: it tells the bus its class registration.
class TSubscriberObject {
  public:
    virtual ~TSubscriberObject() = default;
    virtual const TSubscriberClass& SubscriberClass() const = 0;
};

// One parameter of a declared handler; Type is nullptr when the type is unknown.
struct TParameter {
    const TTypeInfo* Type = nullptr;
    bool IsConst = false;
};

// What a class declares for one of its methods.
struct THandlerDeclaration {
    std::string Name;
    TMethodCode Code = nullptr;
    // The first SubscribeAttribute (or derived) among them makes the method a handler.
    std::vector<std::shared_ptr<const TCustomAttribute>> Attributes;
    std::vector<TParameter> Parameters;
    bool IsPublic = true;
};

namespace detail {

template <class M>
struct TMemberTraits;
template <class R, class C, class... A>
struct TMemberTraits<R (C::*)(A...)> {
    using Class = C;
    using Args = std::tuple<A...>;
};
template <class R, class C, class... A>
struct TMemberTraits<R (C::*)(A...) const> : TMemberTraits<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct TMemberTraits<R (C::*)(A...) noexcept> : TMemberTraits<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct TMemberTraits<R (C::*)(A...) const noexcept> : TMemberTraits<R (C::*)(A...)> {};

// Read-only: passed as const T& or const T.
template <class P>
constexpr bool IsReadOnly = std::is_const_v<std::remove_reference_t<P>> && !std::is_rvalue_reference_v<P>;

template <auto M>
void CallHandler(TSubscriberObject* AObject, const void* AArgAddress) {
    using Traits = TMemberTraits<decltype(M)>;
    using C = typename Traits::Class;
    if constexpr (std::tuple_size_v<typename Traits::Args> == 1) {
        using P = std::tuple_element_t<0, typename Traits::Args>;
        using T = std::remove_cvref_t<P>;
        if constexpr (IsReadOnly<P> && KindOf<T>() == TTypeKind::tkString) {
            (static_cast<C*>(AObject)->*M)(*static_cast<const std::string*>(AArgAddress));
        } else if constexpr (IsReadOnly<P> && KindOf<T>() == TTypeKind::tkInterface) {
            using X = std::remove_cv_t<typename TSharedTarget<T>::Type>;
            const auto& held = *static_cast<const std::shared_ptr<void>*>(AArgAddress);
            (static_cast<C*>(AObject)->*M)(std::static_pointer_cast<X>(held));
        }
    }
    // Any other signature is refused by the finder and never called; the entry point still exists so
    // that such a declaration can be made and checked.
}

template <class Tuple, std::size_t... I>
std::vector<TParameter> ParametersOf(std::index_sequence<I...>) {
    return {TParameter{&TypeInfoOf<std::tuple_element_t<I, Tuple>>(), IsReadOnly<std::tuple_element_t<I, Tuple>>}...};
}

}  // namespace detail

// The handler entry point of member function M of a subscriber class.
template <auto M>
constexpr TMethodCode MethodCodeOf() {
    using C = typename detail::TMemberTraits<decltype(M)>::Class;
    static_assert(std::is_base_of_v<TSubscriberObject, C>, "a handler belongs to a TSubscriberObject class");
    return &detail::CallHandler<M>;
}

// A subscriber class's registration: its module and name, its base's registration and its own
// handlers in declaration order. Define one static instance per class, for example
//   const TSubscriberClass TMainForm::Registration =
//       TSubscriberClass("MainUnit", "TMainForm")
//           .Method<&TMainForm::OnSubscribeComPortData>("OnSubscribeComPortData",
//                                                       {"subscribeComPortData", TMessagingThread::Main});
// and answer it from SubscriberClass(). The address of the instance is the class's identity.
class TSubscriberClass {
  public:
    TSubscriberClass(std::string AModule, std::string AName, const TSubscriberClass* AParent = nullptr)
        : FModule(std::move(AModule)), FName(std::move(AName)), FParent(AParent) {}

    // A public handler whose parameter list is read from the member function's type.
    template <auto M>
    TSubscriberClass& Method(std::string AName, const SubscribeAttribute& AAttribute) {
        using Args = typename detail::TMemberTraits<decltype(M)>::Args;
        THandlerDeclaration declaration;
        declaration.Name = std::move(AName);
        declaration.Code = MethodCodeOf<M>();
        declaration.Attributes.push_back(std::make_shared<SubscribeAttribute>(AAttribute));
        declaration.Parameters = detail::ParametersOf<Args>(std::make_index_sequence<std::tuple_size_v<Args>>{});
        return Declare(std::move(declaration));
    }

    // Any declaration, as it is.
    TSubscriberClass& Declare(THandlerDeclaration ADeclaration) {
        FDeclarations.push_back(std::move(ADeclaration));
        return *this;
    }

    const std::string& Module() const { return FModule; }
    const std::string& Name() const { return FName; }
    std::string QualifiedName() const { return FModule + "." + FName; }
    const TSubscriberClass* Parent() const { return FParent; }
    const std::vector<THandlerDeclaration>& Declarations() const { return FDeclarations; }

  private:
    std::string FModule;
    std::string FName;
    const TSubscriberClass* FParent;
    std::vector<THandlerDeclaration> FDeclarations;
};

}  // namespace tavrel::bus
