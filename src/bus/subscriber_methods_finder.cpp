#include "bus/subscriber_methods_finder.h"

#include <algorithm>

#include "bus/exception.h"
#include "bus/message_key.h"

namespace tavrel::bus {

TSubscriberType::TSubscriberType(const std::vector<const TSubscriberMethod*>* AParentMethods,
                                 const std::vector<std::string>* AParentMessageNames,
                                 std::vector<std::unique_ptr<TSubscriberMethod>> AOwnMethods)
    : FOwnMethods(AOwnMethods.size()), FOwned(std::move(AOwnMethods)) {
    if (AParentMethods != nullptr) {
        FMethods = *AParentMethods;
    }
    if (AParentMessageNames != nullptr) {
        FMessageNames = *AParentMessageNames;
    }
    for (const auto& method : FOwned) {
        FMethods.push_back(method.get());
        const auto at = std::lower_bound(FMessageNames.begin(), FMessageNames.end(), method->FMessageFullName);
        if (at == FMessageNames.end() || *at != method->FMessageFullName) {
            FMessageNames.insert(at, method->FMessageFullName);
        }
    }
}

TSubscriberMethodsFinder::TSubscriberMethodsFinder()
    : FIgnoredUnits{"System", "System.Classes", "FMX.Forms", "FMX.Controls", "FMX.Types", "VCL.Forms"} {}

const TSubscriberType* TSubscriberMethodsFinder::Examine(const TSubscriberClass* AClass) {
    if (AClass == nullptr) {
        return nullptr;
    }
    if (const auto cached = FClassCacheMap.find(AClass); cached != FClassCacheMap.end()) {
        return cached->second.get();
    }
    if (FIgnoredUnits.contains(AClass->Module())) {
        return nullptr;
    }
    const TSubscriberType* base = Examine(AClass->Parent());

    std::vector<std::unique_ptr<TSubscriberMethod>> own;
    for (const THandlerDeclaration& declaration : AClass->Declarations()) {
        if (!declaration.IsPublic) {
            continue;
        }
        const SubscribeAttribute* attribute = nullptr;
        for (const auto& candidate : declaration.Attributes) {
            attribute = dynamic_cast<const SubscribeAttribute*>(candidate.get());
            if (attribute != nullptr) {
                break;
            }
        }
        if (attribute == nullptr) {
            continue;
        }
        const std::string method = AClass->QualifiedName() + "." + declaration.Name;
        if (declaration.Parameters.size() != 1 || declaration.Parameters.front().Type == nullptr) {
            throw EMessaging("Method " + method + " have invalid arguments.");
        }
        const TParameter& parameter = declaration.Parameters.front();
        if (!parameter.IsConst) {
            throw EMessaging("Method " + method + " have invalid parameter modifier. Should be const.");
        }
        const TTypeKind kind = parameter.Type->Kind;
        if (kind != TTypeKind::tkInterface && kind != TTypeKind::tkString) {
            throw EMessaging("Method " + method + " has attribute " + attribute->ClassName() +
                             ", but the method have invalid arguments. You need to have 1 argument of string or "
                             "interface.");
        }
        std::string key;
        if (kind == TTypeKind::tkInterface) {
            // Straight from the type, not through the key cache: its lock is never taken under the manager lock.
            key = InterfaceGuidText(*parameter.Type) + LowerCase(attribute->MessageName());
        } else {
            if (attribute->MessageName().empty()) {
                throw EMessaging("Method " + method +
                                 " has invalid subscribe attribute. All string messages should have a name in "
                                 "attribute like [Subscribe('Hello')]");
            }
            key = TextMessageKey(attribute->MessageName());
        }
        own.push_back(std::make_unique<TSubscriberMethod>(
            TSubscriberMethod{std::move(key), attribute->MessagingThread(), declaration.Code, declaration.Name, kind}));
    }

    auto type = std::make_unique<TSubscriberType>(base != nullptr ? &base->Methods() : nullptr,
                                                  base != nullptr ? &base->MessageNames() : nullptr, std::move(own));
    const TSubscriberType* result = type.get();
    FClassCacheMap.emplace(AClass, std::move(type));
    return result;
}

const TSubscriberType& TSubscriberMethodsFinder::Found(const TSubscriberClass* AClass,
                                                       const TSubscriberType* AType) const {
    if (AType == nullptr || AType->Methods().empty()) {
        throw EMessaging("Class " + (AClass != nullptr ? AClass->QualifiedName() : std::string()) +
                         " and its super classes have no public methods with attribute [Subscribe] defined.");
    }
    return *AType;
}

const std::vector<const TSubscriberMethod*>& TSubscriberMethodsFinder::FindSubscriberMethods(
    const TSubscriberClass* ASubscriberClass) {
    return Found(ASubscriberClass, Examine(ASubscriberClass)).Methods();
}

const std::vector<std::string>& TSubscriberMethodsFinder::FindSubscriberMessageNames(
    const TSubscriberClass* ASubscriberClass) {
    return Found(ASubscriberClass, Examine(ASubscriberClass)).MessageNames();
}

}  // namespace tavrel::bus
