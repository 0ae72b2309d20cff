#pragma once

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "bus/messaging_types.h"
#include "bus/subscriber_class.h"

namespace tavrel::bus {

// The cached handlers of one class: base records first, then its own, which it owns.
class TSubscriberType {
  public:
    TSubscriberType(const std::vector<const TSubscriberMethod*>* AParentMethods,
                    const std::vector<std::string>* AParentMessageNames,
                    std::vector<std::unique_ptr<TSubscriberMethod>> AOwnMethods);

    const std::vector<std::string>& MessageNames() const { return FMessageNames; }
    const std::vector<const TSubscriberMethod*>& Methods() const { return FMethods; }
    std::size_t OwnMethods() const { return FOwnMethods; }

  private:
    std::vector<std::string> FMessageNames;
    std::vector<const TSubscriberMethod*> FMethods;
    std::size_t FOwnMethods;
    std::vector<std::unique_ptr<TSubscriberMethod>> FOwned;
};

// Finds and checks the handlers a class declares, once per class. No lock of its own: called only
// under the bus's manager lock.
class TSubscriberMethodsFinder {
  public:
    TSubscriberMethodsFinder();

    const std::vector<const TSubscriberMethod*>& FindSubscriberMethods(const TSubscriberClass* ASubscriberClass);
    const std::vector<std::string>& FindSubscriberMessageNames(const TSubscriberClass* ASubscriberClass);

  private:
    const TSubscriberType* Examine(const TSubscriberClass* AClass);
    const TSubscriberType& Found(const TSubscriberClass* AClass, const TSubscriberType* AType) const;

    std::unordered_map<const TSubscriberClass*, std::unique_ptr<TSubscriberType>> FClassCacheMap;
    std::set<std::string> FIgnoredUnits;
};

}  // namespace tavrel::bus
