#include "bus/message_key.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>

#include "bus/exception.h"

namespace tavrel::bus {
namespace {

std::atomic<TInterfaceKeyCache*> GInterfaceKeyCache{nullptr};

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Registry form: braces, 32 hexadecimal digits in groups of 8-4-4-4-12 joined by hyphens.
bool IsRegistryGuid(std::string_view AText) {
    constexpr std::array<std::size_t, 4> hyphens{9, 14, 19, 24};
    if (AText.size() != 38 || AText.front() != '{' || AText.back() != '}') {
        return false;
    }
    for (std::size_t i = 1; i + 1 < AText.size(); ++i) {
        const bool hyphen = i == hyphens[0] || i == hyphens[1] || i == hyphens[2] || i == hyphens[3];
        if (hyphen ? AText[i] != '-' : !IsHex(AText[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string TypeName(const TTypeInfo& AType) {
    if (AType.Type == nullptr) {
        return {};
    }
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(AType.Type->name(), nullptr, nullptr, &status),
                                                     std::free);
    std::string name = status == 0 && demangled ? std::string(demangled.get()) : std::string(AType.Type->name());
    // Strip namespaces of a plain name; template names are kept whole.
    if (name.find('<') == std::string::npos) {
        const auto colon = name.rfind("::");
        if (colon != std::string::npos) {
            name.erase(0, colon + 2);
        }
    }
    return name;
}

std::string LowerCase(std::string_view AText) {
    std::string result(AText);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string TextMessageKey(std::string_view AMessageName) {
    return "{str}" + LowerCase(AMessageName);
}

std::string InterfaceGuidText(const TTypeInfo& AType) {
    if (!AType.HasGuid || !IsRegistryGuid(AType.Guid)) {
        throw Exception("Cannot possible to get the guid of \"" + TypeName(AType) + "\"");
    }
    return LowerCase(AType.Guid);
}

std::string TInterfaceKeyCache::GuidText(const TTypeInfo& AType) {
    {
        const std::lock_guard guard(FLock);
        const auto found = FKeys.find(&AType);
        if (found != FKeys.end()) {
            return found->second;
        }
    }
    // Computed outside the lock; another thread may store the same text meanwhile.
    std::string text = InterfaceGuidText(AType);
    const std::lock_guard guard(FLock);
    FKeys[&AType] = text;
    return text;
}

void InitializeInterfaceKeyCache() {
    auto* fresh = new TInterfaceKeyCache();
    delete GInterfaceKeyCache.exchange(fresh);
}

void FinalizeInterfaceKeyCache() {
    delete GInterfaceKeyCache.exchange(nullptr);
}

TInterfaceKeyCache* InterfaceKeyCache() {
    return GInterfaceKeyCache.load();
}

std::string TypedMessageKey(const TTypeInfo& AType, std::string_view AMessageName) {
    TInterfaceKeyCache* cache = InterfaceKeyCache();
    std::string key = cache != nullptr ? cache->GuidText(AType) : InterfaceGuidText(AType);
    key += LowerCase(AMessageName);
    return key;
}

}  // namespace tavrel::bus
