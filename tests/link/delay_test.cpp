#include "link/delay.h"

#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "bus/messaging_platform.h"
#include "bus/testing/manual_platform.h"

namespace tavrel::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class DelayTest : public ::testing::Test {
  protected:
    void SetUp() override { bus::InstallMessagingPlatform(Platform); }
    void TearDown() override { bus::InstallMessagingPlatform(nullptr); }

    std::shared_ptr<bus::TManualPlatform> Platform = std::make_shared<bus::TManualPlatform>();
};

TEST_F(DelayTest, OnAWorker_OnlyWaitsAndAnswersTrue) {
    bool result = false;
    Clock::duration waited{};
    bool ranQueued = false;
    Platform->QueueOnMainThread([&] { ranQueued = true; });
    std::thread worker([&] {
        const auto start = Clock::now();
        result = THalvo::Delay(50);
        waited = Clock::now() - start;
    });
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_GE(waited, 50ms);
    EXPECT_FALSE(ranQueued) << "a worker's wait runs nothing of the main thread";
}

TEST_F(DelayTest, OnTheMainThread_RunsQueuedWorkWhileWaiting) {
    int ran = 0;
    Platform->QueueOnMainThread([&] { ++ran; });
    Platform->QueueOnMainThread([&] { ++ran; });
    const auto start = Clock::now();
    EXPECT_TRUE(THalvo::Delay(50));
    EXPECT_GE(Clock::now() - start, 50ms);
    EXPECT_EQ(ran, 2);
}

TEST_F(DelayTest, OnTheMainThread_QuitRequestEndsTheWaitWithFalseAndStaysPending) {
    Platform->QueueOnMainThread([this] { Platform->RequestQuit(); });
    const auto start = Clock::now();
    EXPECT_FALSE(THalvo::Delay(5000));
    EXPECT_LT(Clock::now() - start, 4s);
    EXPECT_TRUE(Platform->QuitRequested());
}

TEST_F(DelayTest, ZeroTimeout_AnswersTrueAtOnce) {
    EXPECT_TRUE(THalvo::Delay(0));
}

}  // namespace
}  // namespace tavrel::link
