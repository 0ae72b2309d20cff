#include "link/port_discovery.h"

#include <cctype>
#include <cstdio>
#include <regex>
#include <stdexcept>

namespace tavrel::link {
namespace {

int HexValue(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isdigit(u) != 0) {
        return c - '0';
    }
    if (std::isxdigit(u) != 0) {
        return std::toupper(u) - 'A' + 10;
    }
    return -1;
}

}  // namespace

TGUID TGUID::Parse(std::string_view Text) {
    constexpr std::size_t kLength = 38;
    const auto fail = [&] { throw std::invalid_argument("'" + std::string(Text) + "' is not a valid GUID value"); };
    if (Text.size() != kLength || Text.front() != '{' || Text.back() != '}') {
        fail();
    }
    TGUID result;
    std::size_t byte = 0;
    for (std::size_t i = 1; i + 1 < kLength;) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (Text[i] != '-') {
                fail();
            }
            ++i;
            continue;
        }
        const int high = HexValue(Text[i]);
        const int low = HexValue(Text[i + 1]);
        if (high < 0 || low < 0) {
            fail();
        }
        result.Bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return result;
}

std::string TGUID::ToString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "{";
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += kDigits[Bytes[i] >> 4U];
        text += kDigits[Bytes[i] & 0x0FU];
    }
    return text + "}";
}

bool HardwareIdMatches(const std::string& HardwareIdText, const std::string& HardwareIds) {
    std::regex pattern;
    try {
        pattern = std::regex("\\b" + HardwareIdText + "\\b", std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error& error) {
        throw std::invalid_argument("Hardware id '" + HardwareIdText + "' is no valid pattern: " + error.what());
    }
    return std::regex_search(HardwareIds.begin(), HardwareIds.end(), pattern);
}

std::vector<std::string> SelectPorts(const std::string& HardwareIdText, const std::vector<TSerialDevice>& Devices) {
    std::vector<std::string> ports;
    for (const TSerialDevice& device : Devices) {
        if (!device.HardwareIds.empty() && HardwareIdMatches(HardwareIdText, device.HardwareIds)) {
            ports.push_back(device.PortName);
        }
    }
    return ports;
}

std::string ChooseSinglePort(const std::vector<std::string>& Ports) {
    return Ports.size() == 1 ? Ports.front() : std::string();
}

std::vector<std::string> FindPorts(const std::string& HardwareIdText, const TGUID& ClassGuid) {
    return SelectPorts(HardwareIdText, EnumerateSerialDevices(ClassGuid));
}

std::vector<std::string> FindPorts(const std::string& HardwareIdText, std::string_view ClassGuidText) {
    return FindPorts(HardwareIdText, TGUID::Parse(ClassGuidText));
}

std::string CommaText(const std::vector<std::string>& Items) {
    std::string text;
    for (std::size_t i = 0; i < Items.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        const std::string& item = Items[i];
        if (item.find_first_of(" ,\"") == std::string::npos) {
            text += item;
            continue;
        }
        text += '"';
        for (const char c : item) {
            text += c;
            if (c == '"') {
                text += '"';
            }
        }
        text += '"';
    }
    return text;
}

std::string ListComPorts() {
    return CommaText(SerialPortNames());
}

}  // namespace tavrel::link
