// Runs under umockdev-run with one faked /sys per scenario; the suite name says which file it expects.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/port_discovery.h"

namespace tavrel::link {
namespace {

using namespace std::string_literals;

const std::string kInstrument = "VID_0483&PID_5740";
const TGUID kPortsClass = TGUID::Parse("{4D36E978-E325-11CE-BFC1-08002BE10318}");

class FakedSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("UMOCKDEV_DIR") == nullptr) {
            GTEST_SKIP() << "needs umockdev-run with a device file";
        }
    }
};

using OneInstrument = FakedSysfs;
using TwoInstruments = FakedSysfs;
using LongerProductId = FakedSysfs;
using UsbSerialAdapter = FakedSysfs;
using NoUsbPorts = FakedSysfs;

TEST_F(OneInstrument, FindPorts_FindsTheAcmPortWithWindowsStyleIds) {
    EXPECT_EQ(FindPorts(kInstrument, kPortsClass), (std::vector<std::string>{"/dev/ttyACM0"}));
    const std::vector<TSerialDevice> devices = EnumerateSerialDevices(kPortsClass);
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(devices[0].PortName, "/dev/ttyACM0");
    EXPECT_EQ(devices[0].HardwareIds, "USB\\VID_0483&PID_5740&REV_0200\0USB\\VID_0483&PID_5740\0\0"s);
    EXPECT_EQ(devices[1].PortName, "/dev/ttyS0");
    EXPECT_EQ(devices[1].HardwareIds, "");
    EXPECT_EQ(ListComPorts(), "/dev/ttyACM0,/dev/ttyS0");
}

TEST_F(TwoInstruments, FindPorts_FindsBothAndNoneIsChosen) {
    const std::vector<std::string> ports = FindPorts(kInstrument, kPortsClass);
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1"}));
    EXPECT_EQ(ChooseSinglePort(ports), "");
}

TEST_F(LongerProductId, FindPorts_DoesNotMatchPid57401) {
    EXPECT_TRUE(FindPorts(kInstrument, kPortsClass).empty());
    EXPECT_EQ(FindPorts("VID_0483&PID_57401", kPortsClass), (std::vector<std::string>{"/dev/ttyACM0"}));
}

TEST_F(UsbSerialAdapter, FindPorts_WalksUpToTheUsbDeviceOfATtyUSB) {
    EXPECT_EQ(FindPorts("vid_0403&pid_6001", kPortsClass), (std::vector<std::string>{"/dev/ttyUSB0"}));
    EXPECT_TRUE(FindPorts(kInstrument, kPortsClass).empty());
    const std::vector<TSerialDevice> devices = EnumerateSerialDevices(kPortsClass);
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.back().PortName, "/dev/ttyUSB0");
    EXPECT_EQ(devices.back().HardwareIds, "USB\\VID_0403&PID_6001&REV_0600\0USB\\VID_0403&PID_6001\0\0"s);
}

TEST_F(NoUsbPorts, FindPorts_FindsNothingButListsTheSerialPort) {
    EXPECT_TRUE(FindPorts(kInstrument, kPortsClass).empty());
    // tty0 has no device behind it and is no serial port.
    EXPECT_EQ(ListComPorts(), "/dev/ttyS0");
}

}  // namespace
}  // namespace tavrel::link
