// The exchange module and port connection on a real COM port (TAVREL_TEST_COM, under Wine a pseudo-terminal
// played by tavrel-sim): commands leave through the work task, answers come back through the listen task
// and are decoded on the main thread; a line that hangs up ends as an error message. Skipped without a port.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/xcom_port.h"
#include "link/xcom_port_module.h"
#include "link_test_support.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"
#include "protocol/tavrel_data_parser.h"

namespace tavrel::link {
namespace {

using namespace std::chrono_literals;
using testing::TMessageLog;
using TBytes = std::vector<std::uint8_t>;

const std::string kConnect = std::string(subscribeComPortStatus) + "|**HR_Connect**|0";
constexpr TWindowHandle kWindow = 0x1000;

// The module as the main window drives it: answers go to _ParseData, an error stops the module.
class ExchangeOnCom : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* com = std::getenv("TAVREL_TEST_COM");
        if (com == nullptr) {
            GTEST_SKIP() << "TAVREL_TEST_COM is not set: no COM port prepared";
        }
        Module.SetPIDVID("VID_0483&PID_5740");
        Module.SetAutoDetect(false);
        Module.SetComPortName(com);
        Log.OnMessage = [this](const TMessageLog::TEntry& entry) {
            if (entry.Name == subscribeComPortData && !entry.Data.empty()) {
                Module._ParseData(entry.Data);
            } else if (entry.Name == subscribeComPortError) {
                Module._ListenerDataHelperRemove(kWindow, false);
                Module._TaskWorkStop();
            }
        };
        Module._ListenerDataHelperSet(std::make_unique<TDataHelper>(
            kWindow, std::make_shared<protocol::TTavrelDataParser>(),
            [this](protocol::TTavrelCMD kind, const TBytes& data) {
                Kinds.push_back(kind);
                if (kind == protocol::TTavrelCMD::cmdDeviceInfo) {
                    Identity = protocol::TTavrel::FromJSON(data);
                }
            }));
    }

    void TearDown() override { Module._TaskWorkStop(); }

    std::size_t CountOf(protocol::TTavrelCMD kind) const {
        std::size_t n = 0;
        for (const protocol::TTavrelCMD k : Kinds) {
            n += k == kind ? 1 : 0;
        }
        return n;
    }

    testing::TTestBus Bus;
    TMessageLog Log;
    TXComPortModule Module;
    std::vector<protocol::TTavrelCMD> Kinds;
    std::unique_ptr<protocol::TTavrel> Identity;
};

TEST_F(ExchangeOnCom, CommandsGoOutAndTheAnswersAreDecodedIntoTheModel) {
    Module._SendData(protocol::TTavrelCommand::getVersion());
    Module._SendData(protocol::TTavrelCommand::getAKBState());
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 3s)) << "no connection";
    ASSERT_TRUE(Log.PumpUntil([&] { return Identity != nullptr && CountOf(protocol::TTavrelCMD::cmdAKBInfo) == 1; },
                              5s))
        << "answers decoded: " << Kinds.size();
    EXPECT_NE(Identity->ToJSONText().find("1234"), std::string::npos) << Identity->ToJSONText();
    EXPECT_EQ(CountOf(protocol::TTavrelCMD::cmdCRCError), 0U);
    EXPECT_TRUE(Module.IsRunning());
}

// Run against a simulator that hangs up (--hangup-after).
TEST_F(ExchangeOnCom, HangUp_PostsAnErrorAndTheModuleStops) {
    Module._TaskWorkStart();
    ASSERT_TRUE(Log.PumpUntil([&] { return Log.Count(kConnect) == 1; }, 3s)) << "no connection";
    ASSERT_TRUE(Log.PumpUntil([&] { return !Module.IsRunning(); }, 10s)) << "the hang-up was not reported";
    std::size_t errors = 0;
    for (const TMessageLog::TEntry& entry : Log.Entries()) {
        errors += entry.Name == subscribeComPortError ? 1 : 0;
    }
    EXPECT_GE(errors, 1U);
    EXPECT_EQ(Module.ListenerCount(), 0U);
}

}  // namespace
}  // namespace tavrel::link
