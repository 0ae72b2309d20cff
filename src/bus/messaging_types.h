#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace tavrel::bus {

// Where a handler runs.
enum class TMessagingThread : std::uint8_t {
    Posting = 0,     // on the posting thread, inside Post
    Main = 1,        // on the main thread: inside Post there, otherwise queued to it
    Async = 2,       // always on a pool worker
    Background = 3,  // on the posting thread unless that is the main thread; then on a pool worker
};

// Kind of a handler's argument type; only tkInterface and tkString are ever delivered.
enum class TTypeKind : std::uint8_t { tkUnknown, tkInteger, tkFloat, tkString, tkInterface, tkClass, tkRecord };

// What the bus knows of an argument type. One static instance per type (TypeInfoOf), so its
// address identifies the type.
struct TTypeInfo {
    TTypeKind Kind = TTypeKind::tkUnknown;
    const std::type_info* Type = nullptr;  // the interface itself for tkInterface
    bool HasGuid = false;
    std::string_view Guid;  // as declared by the interface, registry form expected
};

// The bare name of a type as written in code, without namespaces.
std::string TypeName(const TTypeInfo& AType);

// An interface message type declares its 128-bit identifier in registry form:
//   static constexpr std::string_view GUID = "{39CF243A-5AC3-4A7B-8263-BA0F3385B559}";
template <class I>
concept InterfaceWithGuid = requires {
    { I::GUID } -> std::convertible_to<std::string_view>;
};

// An interface message type: an abstract class, travelling as std::shared_ptr<I>.
template <class I>
concept InterfaceType = std::is_class_v<I> && std::is_abstract_v<I>;

namespace detail {

template <class T>
struct TSharedTarget {
    using Type = void;
};
template <class X>
struct TSharedTarget<std::shared_ptr<X>> {
    using Type = X;
};

template <class P>
constexpr TTypeKind KindOf() {
    using T = std::remove_cv_t<P>;
    using X = std::remove_cv_t<typename TSharedTarget<T>::Type>;
    if constexpr (std::is_same_v<T, std::string>) {
        return TTypeKind::tkString;
    } else if constexpr (!std::is_void_v<X>) {
        return InterfaceType<X> ? TTypeKind::tkInterface : TTypeKind::tkClass;
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        return TTypeKind::tkInteger;
    } else if constexpr (std::is_floating_point_v<T>) {
        return TTypeKind::tkFloat;
    } else if constexpr (std::is_class_v<T>) {
        return TTypeKind::tkRecord;
    } else {
        return TTypeKind::tkUnknown;
    }
}

}  // namespace detail

namespace detail {

// One spelling per described type: cv-qualifiers and references dropped, std::shared_ptr<const I>
// taken as std::shared_ptr<I>.
template <class P>
struct TCanonical {
    using T = std::remove_cvref_t<P>;
    using X = std::remove_cv_t<typename TSharedTarget<T>::Type>;
    using Type = std::conditional_t<std::is_void_v<X>, T, std::shared_ptr<X>>;
};

}  // namespace detail

// The description of argument type P (cv-qualifiers and references ignored); an interface message
// type I is described as std::shared_ptr<I>. Every spelling of one type yields the same instance.
template <class P>
const TTypeInfo& TypeInfoOf() {
    using T = typename detail::TCanonical<P>::Type;
    if constexpr (!std::is_same_v<P, T>) {
        return TypeInfoOf<T>();
    } else {
        using X = std::remove_cv_t<typename detail::TSharedTarget<T>::Type>;
        static const TTypeInfo info = [] {
            TTypeInfo result;
            result.Kind = detail::KindOf<T>();
            if constexpr (std::is_void_v<X>) {
                result.Type = &typeid(T);
            } else {
                result.Type = &typeid(X);
                if constexpr (InterfaceWithGuid<X>) {
                    result.HasGuid = true;
                    result.Guid = X::GUID;
                }
            }
            return result;
        }();
        return info;
    }
}

class TSubscriberObject;

// A handler's entry point: called with the subscriber and the address of the message (a std::string
// for text messages, a std::shared_ptr<void> holding the interface object for typed ones).
using TMethodCode = void (*)(TSubscriberObject* AObject, const void* AArgAddress);

// A bound method: entry point and object.
struct TMethod {
    TMethodCode Code = nullptr;
    TSubscriberObject* Data = nullptr;
};

// One handler: of a subscriber class (owned by the finder's class cache) or of a callback
// subscription (owned by that subscription). Never changes once made.
struct TSubscriberMethod {
    std::string FMessageFullName;
    TMessagingThread FMessagingThread = TMessagingThread::Posting;
    TMethodCode FMethodCode = nullptr;
    std::string FNameOfMethod;
    TTypeKind FTypeKind = TTypeKind::tkUnknown;
};

// A declaration attached to a handler; kinds derived from SubscribeAttribute count as one.
class TCustomAttribute {
  public:
    virtual ~TCustomAttribute() = default;
    virtual std::string ClassName() const = 0;
};

class SubscribeAttribute : public TCustomAttribute {
  public:
    SubscribeAttribute() = default;
    SubscribeAttribute(std::string AMessageName) : FMessageName(std::move(AMessageName)) {}        // NOLINT
    SubscribeAttribute(const char* AMessageName) : FMessageName(AMessageName) {}                   // NOLINT
    SubscribeAttribute(TMessagingThread AMessagingThread) : FMessagingThread(AMessagingThread) {}  // NOLINT
    SubscribeAttribute(std::string AMessageName, TMessagingThread AMessagingThread)
        : FMessageName(std::move(AMessageName)), FMessagingThread(AMessagingThread) {}

    std::string ClassName() const override { return "SubscribeAttribute"; }
    const std::string& MessageName() const { return FMessageName; }
    TMessagingThread MessagingThread() const { return FMessagingThread; }

  private:
    std::string FMessageName;
    TMessagingThread FMessagingThread = TMessagingThread::Posting;
};

}  // namespace tavrel::bus
