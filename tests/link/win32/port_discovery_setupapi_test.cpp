// Port discovery's SetupAPI walk and the SERIALCOMM list, on the Windows registry (under Wine: the test
// prefix's own registry).
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/port_discovery.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace tavrel::link {
namespace {

const std::string kInstrument = "VID_0483&PID_5740";
const TGUID kPortsClass = TGUID::Parse("{4D36E978-E325-11CE-BFC1-08002BE10318}");
// A class no device belongs to.
const TGUID kEmptyClass = TGUID::Parse("{6D2A1F0E-9B1C-4C55-8E3B-2F7A53C0D4E1}");

TEST(SetupApiWalk, AClassWithoutDevicesYieldsNoPort) {
    EXPECT_TRUE(EnumerateSerialDevices(kEmptyClass).empty());
    EXPECT_TRUE(FindPorts(kInstrument, kEmptyClass).empty());
}

TEST(SetupApiWalk, NoInstrumentAmongThePortsClass) {
    EXPECT_TRUE(FindPorts(kInstrument, kPortsClass).empty());
}

// Ports-class devices registered in the registry for one test (as a driver installation would) and removed
// afterwards: each has a hardware id list and a "PortName" in its hardware key.
class FakedPortsDevices : public ::testing::Test {
  protected:
    void SetUp() override {
        FClass = ToGuid(kPortsClass);
        Set = ::SetupDiCreateDeviceInfoList(&FClass, nullptr);
        ASSERT_NE(Set, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        for (SP_DEVINFO_DATA& device : Devices) {
            ::SetupDiRemoveDevice(Set, &device);
        }
        ::SetupDiDestroyDeviceInfoList(Set);
    }
    // Ids are NUL-separated; the list's final NUL is added here.
    void Add(const std::wstring& Ids, const std::wstring& PortName) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        const std::wstring name = L"TAVRELTEST" + std::to_wstring(Devices.size());
        ASSERT_TRUE(::SetupDiCreateDeviceInfoW(Set, name.c_str(), &FClass, nullptr, nullptr, DICD_GENERATE_ID, &device))
            << ::GetLastError();
        ASSERT_TRUE(::SetupDiRegisterDeviceInfo(Set, &device, 0, nullptr, nullptr, nullptr)) << ::GetLastError();
        Devices.push_back(device);
        const std::wstring list = Ids + L'\0';
        ASSERT_TRUE(::SetupDiSetDeviceRegistryPropertyW(Set, &device, SPDRP_HARDWAREID,
                                                        reinterpret_cast<const BYTE*>(list.c_str()),
                                                        static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t))))
            << ::GetLastError();
        const HKEY key = ::SetupDiCreateDevRegKeyW(Set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        ASSERT_NE(key, INVALID_HANDLE_VALUE) << ::GetLastError();
        const auto bytes = static_cast<DWORD>((PortName.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(PortName.c_str()), bytes),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    static GUID ToGuid(const TGUID& Guid) {
        GUID result{};
        const auto& b = Guid.Bytes;
        result.Data1 = (DWORD{b[0]} << 24U) | (DWORD{b[1]} << 16U) | (DWORD{b[2]} << 8U) | DWORD{b[3]};
        result.Data2 = static_cast<WORD>((b[4] << 8U) | b[5]);
        result.Data3 = static_cast<WORD>((b[6] << 8U) | b[7]);
        std::copy(b.begin() + 8, b.end(), result.Data4);
        return result;
    }
    GUID FClass{};
    HDEVINFO Set = INVALID_HANDLE_VALUE;
    std::vector<SP_DEVINFO_DATA> Devices;
};

TEST_F(FakedPortsDevices, TheInstrumentIsFoundByItsHardwareId) {
    Add(std::wstring(L"USB\\VID_0483&PID_5740&REV_0200") + L'\0' + L"USB\\VID_0483&PID_5740", L"COM7");
    Add(L"USB\\VID_0483&PID_57401", L"COM8");
    Add(L"ACPI\\PNP0501", L"COM1234567");  // too long for the name buffer
    const std::vector<TSerialDevice> devices = EnumerateSerialDevices(kPortsClass);
    std::vector<std::string> names;
    for (const TSerialDevice& device : devices) {
        names.push_back(device.PortName);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "COM7"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "COM1234567"), names.end());
    EXPECT_EQ(FindPorts(kInstrument, kPortsClass), std::vector<std::string>{"COM7"});
}

TEST_F(FakedPortsDevices, TwoInstrumentsAreBothFoundAndNoneIsChosen) {
    Add(L"USB\\VID_0483&PID_5740", L"COM123456");
    Add(L"usb\\vid_0483&pid_5740", L"COM9");
    const std::vector<std::string> ports = FindPorts(kInstrument, kPortsClass);
    EXPECT_EQ(ports.size(), 2U);
    EXPECT_NE(std::find(ports.begin(), ports.end(), "COM123456"), ports.end());
    EXPECT_EQ(ChooseSinglePort(ports), "");
}

// Values written into HKLM\HARDWARE\DEVICEMAP\SERIALCOMM for one test and removed afterwards.
class SerialCommMap : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                                    REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &Key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        for (const std::wstring& name : Written) {
            ::RegDeleteValueW(Key, name.c_str());
        }
        if (Key != nullptr) {
            ::RegCloseKey(Key);
        }
    }
    void Put(const std::wstring& Name, const std::wstring& Value, DWORD Bytes) {
        ASSERT_EQ(::RegSetValueExW(Key, Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()), Bytes),
                  ERROR_SUCCESS);
        Written.push_back(Name);
    }
    HKEY Key = nullptr;
    std::vector<std::wstring> Written;
};

TEST_F(SerialCommMap, ListsEveryPortNameUpToItsFirstNul) {
    const std::string before = ListComPorts();
    const std::wstring plain = L"COM41";
    Put(L"\\Device\\TavrelTest0", plain, static_cast<DWORD>((plain.size() + 1) * sizeof(wchar_t)));
    const std::wstring twoStrings(L"COM42\0junk", 10);
    Put(L"\\Device\\TavrelTest1", twoStrings, static_cast<DWORD>((twoStrings.size() + 1) * sizeof(wchar_t)));
    const std::wstring spaced = L"My Port";
    Put(L"\\Device\\TavrelTest2", spaced, static_cast<DWORD>(spaced.size() * sizeof(wchar_t)));  // no NUL stored
    const std::string after = ListComPorts();
    for (const std::string item : {"COM41", "COM42", "\"My Port\""}) {
        EXPECT_NE(after.find(item), std::string::npos) << after;
    }
    EXPECT_EQ(after.find("junk"), std::string::npos) << after;
    EXPECT_GT(after.size(), before.size());
}

}  // namespace
}  // namespace tavrel::link
