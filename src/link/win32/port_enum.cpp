#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "link/win32/text.h"

// windows.h before setupapi.h, which relies on its types.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace tavrel::link {
namespace {

// The port name is read into 10 wide characters; a longer name (COM1234567) leaves the device out.
constexpr DWORD kPortNameBytes = 10 * sizeof(wchar_t);

[[noreturn]] void RaiseOsError(DWORD Code) {
    throw std::runtime_error(win32::SystemMessage(Code));
}

GUID ToGuid(const TGUID& Guid) {
    const auto& b = Guid.Bytes;
    GUID result{};
    result.Data1 = (DWORD{b[0]} << 24U) | (DWORD{b[1]} << 16U) | (DWORD{b[2]} << 8U) | DWORD{b[3]};
    result.Data2 = static_cast<WORD>((b[4] << 8U) | b[5]);
    result.Data3 = static_cast<WORD>((b[6] << 8U) | b[7]);
    std::memcpy(result.Data4, b.data() + 8, sizeof(result.Data4));
    return result;
}

// The device set, released on every way out, also when a hardware id query throws.
class TDeviceSet {
  public:
    explicit TDeviceSet(const GUID& ClassGuid)
        : FSet(::SetupDiGetClassDevsA(&ClassGuid, nullptr, nullptr, DIGCF_PRESENT)) {
        if (FSet == INVALID_HANDLE_VALUE) {
            RaiseOsError(::GetLastError());
        }
    }
    ~TDeviceSet() { ::SetupDiDestroyDeviceInfoList(FSet); }
    TDeviceSet(const TDeviceSet&) = delete;
    TDeviceSet& operator=(const TDeviceSet&) = delete;
    HDEVINFO Get() const { return FSet; }

  private:
    HDEVINFO FSet;
};

// The SPDRP_HARDWAREID list as one text, NULs included; empty when the second read fails.
std::string HardwareIds(HDEVINFO Set, SP_DEVINFO_DATA& Device) {
    DWORD size = 0;
    if (::SetupDiGetDeviceRegistryPropertyA(Set, &Device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size) == FALSE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            RaiseOsError(error);
        }
    }
    std::string ids(size, '\0');
    auto* buffer = reinterpret_cast<BYTE*>(ids.data());
    if (::SetupDiGetDeviceRegistryPropertyA(Set, &Device, SPDRP_HARDWAREID, nullptr, buffer, size, nullptr) == FALSE) {
        return {};
    }
    return ids;
}

// The "PortName" of the device's hardware key; empty when the key or the value cannot be read.
std::string PortName(HDEVINFO Set, SP_DEVINFO_DATA& Device) {
    const HKEY key = ::SetupDiOpenDevRegKey(Set, &Device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t name[kPortNameBytes / sizeof(wchar_t)] = {};
    DWORD size = kPortNameBytes;
    const LSTATUS status = ::RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || size < sizeof(wchar_t)) {
        return {};
    }
    return win32::Narrow(name, size / sizeof(wchar_t) - 1);
}

}  // namespace

std::vector<TSerialDevice> EnumerateSerialDevices(const TGUID& ClassGuid) {
    std::vector<TSerialDevice> devices;
    const TDeviceSet set(ToGuid(ClassGuid));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.Get(), index, &device) != FALSE; ++index) {
        std::string ids = HardwareIds(set.Get(), device);
        if (ids.empty()) {
            continue;
        }
        std::string name = PortName(set.Get(), device);
        if (!name.empty()) {
            devices.push_back({std::move(name), std::move(ids)});
        }
    }
    return devices;
}

std::vector<std::string> SerialPortNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    DWORD valueNameChars = 0;
    DWORD dataBytes = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueNameChars,
                           &dataBytes, nullptr, nullptr) == ERROR_SUCCESS) {
        std::wstring valueName(valueNameChars + 1, L'\0');
        std::wstring data(dataBytes / sizeof(wchar_t) + 1, L'\0');
        for (DWORD index = 0;; ++index) {
            DWORD nameChars = valueNameChars + 1;
            DWORD size = dataBytes;
            DWORD type = 0;
            const LSTATUS status = ::RegEnumValueW(key, index, valueName.data(), &nameChars, nullptr, &type,
                                                   reinterpret_cast<BYTE*>(data.data()), &size);
            if (status == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (status != ERROR_SUCCESS || type != REG_SZ) {
                continue;
            }
            // Up to the first NUL: the value need not carry one, and may carry more.
            const std::size_t chars = size / sizeof(wchar_t);
            const std::wstring_view text(data.data(), chars);
            names.push_back(win32::Narrow(std::wstring(text.substr(0, text.find(L'\0')))));
        }
    }
    ::RegCloseKey(key);
    return names;
}

}  // namespace tavrel::link
