#include "link/xcom_port_module.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link_test_support.h"

namespace tavrel::link {
namespace {

using testing::Bytes;
using TBytes = std::vector<std::uint8_t>;

// Records what it is fed, can fail on demand and tells when it is freed.
class TRecordingParser : public protocol::IDataParser {
  public:
    explicit TRecordingParser(std::shared_ptr<int> freed = nullptr) : Freed(std::move(freed)) {}
    ~TRecordingParser() override {
        if (Freed) {
            ++*Freed;
        }
    }
    void AddData(const TBytes& Buf) override {
        Fed.push_back(Buf);
        if (Fail) {
            throw std::runtime_error("parser failure");
        }
        if (P) {
            P(protocol::TTavrelCMD::cmdUnknown, Buf);
        }
    }
    void OnData(protocol::ONDATAPROC Proc) override { P = std::move(Proc); }

    std::vector<TBytes> Fed;
    bool Fail = false;
    protocol::ONDATAPROC P;
    std::shared_ptr<int> Freed;
};

TEST(DataHelper, Queue_FirstInFirstOut_EmptyBuffersIgnored) {
    TDataHelper helper(7, nullptr, nullptr);
    helper.Add(Bytes("one"));
    helper.Add({});
    helper.Add(Bytes("two"));
    EXPECT_EQ(helper.Count(), 2U);
    EXPECT_EQ(helper.GetData(), Bytes("one"));
    EXPECT_EQ(helper.GetData(), Bytes("two"));
    EXPECT_EQ(helper.GetData(), TBytes{});
    helper.Add(Bytes("three"));
    helper.Clear();
    EXPECT_EQ(helper.Count(), 0U);
    EXPECT_EQ(helper.Handle(), 7U);
}

TEST(DataHelper, ParseData_ParserFails_FailureIsSwallowed) {
    auto parser = std::make_shared<TRecordingParser>();
    parser->Fail = true;
    std::vector<TBytes> reported;
    TDataHelper helper(1, parser, [&](protocol::TTavrelCMD, const TBytes& data) { reported.push_back(data); });
    EXPECT_NO_THROW(helper.ParseData(Bytes("x")));
    parser->Fail = false;
    helper.ParseData(Bytes("y"));
    EXPECT_EQ(parser->Fed.size(), 2U);
    EXPECT_EQ(reported, std::vector<TBytes>{Bytes("y")}) << "the creator's callback was given to the parser";
}

class XComPortModuleTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::InstallTestPlatform(); }

    // Registers a listener with a recording parser; returns the parser.
    std::shared_ptr<TRecordingParser> Register(TWindowHandle h, TDataHelper** helper = nullptr,
                                               std::shared_ptr<int> freed = nullptr) {
        auto parser = std::make_shared<TRecordingParser>(std::move(freed));
        auto dh = std::make_unique<TDataHelper>(h, parser, nullptr);
        if (helper != nullptr) {
            *helper = dh.get();
        }
        Module._ListenerDataHelperSet(std::move(dh));
        return parser;
    }

    TXComPortModule Module;
};

TEST_F(XComPortModuleTest, Create_DefaultsAndProcessWideInstance) {
    EXPECT_EQ(Module.ComPortBaud(), 115200);
    EXPECT_EQ(Module.PIDVID(), "");
    EXPECT_FALSE(Module.IsRunning());
    EXPECT_EQ(&XComPortModule(), &Module);
}

TEST_F(XComPortModuleTest, SendData_EveryListenerGetsItsOwnCopy_EmptyQueuesNothing) {
    TDataHelper* first = nullptr;
    TDataHelper* second = nullptr;
    Register(1, &first);
    Register(2, &second);
    Module._SendData(Bytes("frame"));
    Module._SendData({});
    EXPECT_EQ(first->Count(), 1U);
    EXPECT_EQ(second->Count(), 1U);
    EXPECT_EQ(first->GetData(), Bytes("frame"));
    EXPECT_EQ(second->GetData(), Bytes("frame"));
}

TEST_F(XComPortModuleTest, ListenerSet_SameHandle_FreesTheFirstWithItsQueue) {
    auto freed = std::make_shared<int>(0);
    Register(5, nullptr, freed);
    Module._SendData(Bytes("queued"));
    TDataHelper* replacement = nullptr;
    Register(5, &replacement);
    EXPECT_EQ(*freed, 1);
    EXPECT_EQ(Module.ListenerCount(), 1U);
    EXPECT_EQ(replacement->Count(), 0U);
}

TEST_F(XComPortModuleTest, ListenerRemove_UnknownHandle_ChangesNothing) {
    auto freed = std::make_shared<int>(0);
    Register(1, nullptr, freed);
    Register(2, nullptr, freed);
    Module._ListenerDataHelperRemove(3, false);
    EXPECT_EQ(Module.ListenerCount(), 2U);
    EXPECT_EQ(*freed, 0);
    Module._ListenerDataHelperRemove(1, false);
    EXPECT_EQ(Module.ListenerCount(), 1U);
    EXPECT_EQ(*freed, 1);
}

TEST_F(XComPortModuleTest, DataModuleDestroy_FreesEveryListener) {
    auto freed = std::make_shared<int>(0);
    Register(1, nullptr, freed);
    Register(2, nullptr, freed);
    Register(3, nullptr, freed);
    Module.DataModuleDestroy();
    EXPECT_EQ(Module.ListenerCount(), 0U);
    EXPECT_EQ(*freed, 3);
    Module._SendData(Bytes("nobody"));  // kept nowhere, no failure
}

TEST_F(XComPortModuleTest, ParseData_OneParserFails_TheOthersStillGetTheChunk) {
    auto failing = Register(1);
    failing->Fail = true;
    auto healthy = Register(2);
    EXPECT_NO_THROW(Module._ParseData(Bytes("chunk")));
    EXPECT_EQ(failing->Fed.size(), 1U);
    EXPECT_EQ(healthy->Fed, std::vector<TBytes>{Bytes("chunk")});
}

// A window that removes itself (and stops the link) from its own answer callback, as the main window does
// on an old firmware, and one that queues a command from it: neither may deadlock or touch a freed listener.
TEST_F(XComPortModuleTest, ParseData_CallbackRemovesItsListenerAndQueues_IsSafe) {
    auto freed = std::make_shared<int>(0);
    auto self = std::make_shared<TRecordingParser>(freed);
    TDataHelper* other = nullptr;
    Module._ListenerDataHelperSet(std::make_unique<TDataHelper>(1, self, [&](protocol::TTavrelCMD, const TBytes&) {
        Module._SendData(Bytes("reply"));
        Module._ListenerDataHelperRemove(1, false);
        Module._TaskWorkStop();
    }));
    auto second = Register(2, &other);
    self.reset();
    Module._ParseData(Bytes("answer"));
    EXPECT_EQ(*freed, 1);
    EXPECT_EQ(Module.ListenerCount(), 1U);
    EXPECT_EQ(second->Fed, std::vector<TBytes>{Bytes("answer")});
    EXPECT_EQ(other->GetData(), Bytes("reply"));
}

}  // namespace
}  // namespace tavrel::link
