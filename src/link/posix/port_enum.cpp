#include <algorithm>
#include <cctype>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "link/port_discovery.h"

namespace tavrel::link {
namespace {

const std::string kClassTty = "/sys/class/tty";
// cdc_acm ttys sit one level below the USB device, usb-serial ttys two; a little slack for hubs' quirks.
constexpr int kMaxLevels = 4;

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string ReadAttribute(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) {
        return {};
    }
    char buffer[64] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof(buffer) - 1, file);
    std::fclose(file);
    std::string text(buffer, n);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.pop_back();
    }
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Hardware ids of the USB device above a tty, as the Windows platform writes them; empty if there is none.
std::string UsbHardwareIds(const std::string& ttyDir) {
    std::string dir = ttyDir + "/device";
    for (int level = 0; level <= kMaxLevels; ++level, dir += "/..") {
        if (!Exists(dir + "/idVendor") || !Exists(dir + "/idProduct")) {
            continue;
        }
        const std::string vid = ReadAttribute(dir + "/idVendor");
        const std::string pid = ReadAttribute(dir + "/idProduct");
        const std::string rev = ReadAttribute(dir + "/bcdDevice");
        if (vid.empty() || pid.empty()) {
            return {};
        }
        const std::string base = "USB\\VID_" + vid + "&PID_" + pid;
        std::string ids;
        if (!rev.empty()) {
            ids += base + "&REV_" + rev;
            ids += '\0';
        }
        ids += base;
        ids += '\0';
        ids += '\0';
        return ids;
    }
    return {};
}

}  // namespace

std::vector<TSerialDevice> EnumerateSerialDevices(const TGUID& /*ClassGuid*/) {
    std::vector<TSerialDevice> devices;
    DIR* dir = ::opendir(kClassTty.c_str());
    if (dir == nullptr) {
        return devices;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string ttyDir = kClassTty + "/" + name;
        // Virtual terminals and ptys have no device behind them.
        if (!Exists(ttyDir + "/device")) {
            continue;
        }
        devices.push_back({"/dev/" + name, UsbHardwareIds(ttyDir)});
    }
    ::closedir(dir);
    std::sort(devices.begin(), devices.end(),
              [](const TSerialDevice& a, const TSerialDevice& b) { return a.PortName < b.PortName; });
    return devices;
}

std::vector<std::string> SerialPortNames() {
    std::vector<std::string> names;
    for (const TSerialDevice& device : EnumerateSerialDevices({})) {
        names.push_back(device.PortName);
    }
    return names;
}

}  // namespace tavrel::link
