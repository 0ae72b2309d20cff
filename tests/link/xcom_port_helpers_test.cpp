#include "link/xcom_port_helpers.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link_test_support.h"

namespace tavrel::link {
namespace {

struct TErrorCase {
    const char* Name;
    std::string Text;
    std::int32_t Code;
    std::string Expected;
};

class MakeErrorEventTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(MakeErrorEventTest, FormatsTextAndCode_UnchangedForCodeZero) {
    const auto& c = GetParam();
    const TMessageEvent event = MakeErrorEvent(c.Text, c.Code);
    EXPECT_EQ(event.Text, c.Expected);
    EXPECT_EQ(event.ErrorCode, c.Code);
}

INSTANTIATE_TEST_SUITE_P(Codes, MakeErrorEventTest,
                         ::testing::Values(TErrorCase{"NotFound", "Com port not found", -1,
                                                      "Error: Com port not found (-1)"},
                                           TErrorCase{"Timeout", "Timeout while waiting for data (0)", 20000,
                                                      "Error: Timeout while waiting for data (0) (20000)"},
                                           TErrorCase{"Status", "**HR_Connect**", 0, "**HR_Connect**"},
                                           TErrorCase{"PercentInText", "50% (x)", 5, "Error: 50% (x) (5)"}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(PortMessages, MakeEvent_KeepsCodeAndText) {
    EXPECT_EQ(MakeEvent(4, "17"), (TMessageEvent{"17", 4}));
}

TEST(PortMessages, SubscribeMessage_SetDataStoresACopy) {
    TSubscribeMessage message;
    std::vector<std::uint8_t> bytes{1, 2, 3};
    message.SetData(bytes);
    bytes[0] = 9;
    EXPECT_EQ(message.Data(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(message.MessageEvent(), TMessageEvent{});
}

TEST(PortMessages, Post_NonInterfaceType_RefusedBeforeTheBus) {
    testing::InstallTestPlatform();
    try {
        PostTypedMessage(subscribeComPortData, std::make_shared<TSubscribeMessage>());
        FAIL() << "a class type was posted";
    } catch (const bus::EMessaging& e) {
        EXPECT_STREQ(e.what(), "Invalid type of message");
    }
}

TEST(PortMessages, Post_InterfaceType_DeliveredWithItsPayload) {
    testing::InstallTestPlatform();
    testing::TMessageLog log;
    PostSubscribeData(subscribeComPortData, {'h', 'i'});
    PostSubscribeEvent(subscribeComPortError, MakeErrorEvent("x", 3));
    ASSERT_EQ(log.Entries().size(), 2U) << "posted on the main thread: handled before the post returns";
    EXPECT_EQ(log.Entries()[0].Data, (std::vector<std::uint8_t>{'h', 'i'}));
    EXPECT_EQ(log.Entries()[1].Event, (TMessageEvent{"Error: x (3)", 3}));
}

}  // namespace
}  // namespace tavrel::link
