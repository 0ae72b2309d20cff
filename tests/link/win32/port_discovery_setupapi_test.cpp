// Port discovery's SetupAPI walk and the SERIALCOMM list, on the Windows registry (under Wine: the test
// prefix's own registry).
#include "link/port_discovery.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

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
