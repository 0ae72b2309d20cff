#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "bus/messaging_types.h"

namespace tavrel::bus {

// ASCII lower-casing; every name of this system is ASCII, other bytes stay as they are.
std::string LowerCase(std::string_view AText);

// "{str}" followed by the lower-cased name.
std::string TextMessageKey(std::string_view AMessageName);

// The lower-cased registry text of an interface type's identifier, computed without any cache.
// Throws Exception "Cannot possible to get the guid of "<type>"" for a type without a valid one.
std::string InterfaceGuidText(const TTypeInfo& AType);

// Process-wide map from interface type to its identifier text, with a lock of its own.
class TInterfaceKeyCache {
  public:
    std::string GuidText(const TTypeInfo& AType);

  private:
    std::mutex FLock;
    std::unordered_map<const TTypeInfo*, std::string> FKeys;
};

void InitializeInterfaceKeyCache();
void FinalizeInterfaceKeyCache();
// The process-wide cache, or nullptr outside start-up/shut-down.
TInterfaceKeyCache* InterfaceKeyCache();

// The identifier text of the interface type followed by the lower-cased name. Uses the process-wide
// cache when it exists. Never called with the manager lock held.
std::string TypedMessageKey(const TTypeInfo& AType, std::string_view AMessageName);

}  // namespace tavrel::bus
