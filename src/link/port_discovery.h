#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Finds the instrument's port by its USB hardware id. On Linux the ids come from sysfs and are formed as
// on Windows ("USB\VID_0483&PID_5740&REV_0200", "USB\VID_0483&PID_5740"); the device class GUID has no
// meaning there and is ignored. On Windows they are the devices' SPDRP_HARDWAREID lists. Nothing is cached:
// every call enumerates the present ports anew.
namespace tavrel::link {

// A device setup class identifier, as written in the registry: {4D36E978-E325-11CE-BFC1-08002BE10318}.
struct TGUID {
    std::array<std::uint8_t, 16> Bytes{};

    // Throws std::invalid_argument when Text is not of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
    static TGUID Parse(std::string_view Text);
    // Upper-case registry form.
    std::string ToString() const;
    bool operator==(const TGUID&) const = default;
};

// One serial port the system knows. HardwareIds is a NUL-separated list ending in an extra NUL; it is
// empty for ports without a USB device behind them.
struct TSerialDevice {
    std::string PortName;
    std::string HardwareIds;
};

// The present serial ports of the device setup class that have a port name, in the platform's order
// (posix: ttys of /sys/class/tty with a device link, by name, whatever the class; win32: the SetupAPI walk,
// which throws std::runtime_error with the OS text when the device set or a hardware id cannot be read).
std::vector<TSerialDevice> EnumerateSerialDevices(const TGUID& ClassGuid);

// Names of all serial ports the system knows (posix: the enumerated ttys; win32: the SERIALCOMM device map).
std::vector<std::string> SerialPortNames();

// True when the hardware id text, used as a pattern (not escaped), matches a whole word of HardwareIds
// regardless of case. Throws std::invalid_argument for a pattern that is no valid regular expression.
bool HardwareIdMatches(const std::string& HardwareIdText, const std::string& HardwareIds);

// Names of the ports whose hardware ids match, in enumeration order; duplicates are kept.
std::vector<std::string> SelectPorts(const std::string& HardwareIdText, const std::vector<TSerialDevice>& Devices);

// The port to open: the only match, or empty for none or several.
std::string ChooseSinglePort(const std::vector<std::string>& Ports);

std::vector<std::string> FindPorts(const std::string& HardwareIdText, const TGUID& ClassGuid);
// Same, with the class GUID in registry text (validated, then ignored on Linux).
std::vector<std::string> FindPorts(const std::string& HardwareIdText, std::string_view ClassGuidText);

// Comma text: items joined by ",", an item with a space, comma or double quote enclosed in double quotes
// with inner double quotes doubled.
std::string CommaText(const std::vector<std::string>& Items);

// All serial ports the system knows, as comma text.
std::string ListComPorts();

}  // namespace tavrel::link
