#include "app/qt_messaging_platform.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using tavrel::app::TQtMessagingPlatform;

class QtMessagingPlatformTest : public ::testing::Test {
  protected:
    // Pumps the main thread until `done` or 5 s.
    template <typename Pred>
    bool PumpUntil(Pred done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    }

    std::vector<QString> FReports;
    TQtMessagingPlatform FPlatform{[this](const QString& text) { FReports.push_back(text); }};
};

TEST_F(QtMessagingPlatformTest, QueueOnMainThread_RunsLaterInOrderOnMainThread) {
    std::vector<int> order;
    bool allOnMain = true;
    for (int i = 0; i < 20; ++i) {
        FPlatform.QueueOnMainThread([&, i]() {
            allOnMain = allOnMain && FPlatform.IsMainThread();
            order.push_back(i);
        });
    }
    EXPECT_TRUE(order.empty()) << "queued work ran before the event loop";
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 20; }));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    }
    EXPECT_TRUE(allOnMain);
}

TEST_F(QtMessagingPlatformTest, QueueOnMainThread_FromWorkerKeepsEachPostersOrder) {
    std::vector<int> order;
    std::thread poster([&]() {
        for (int i = 0; i < 50; ++i) {
            FPlatform.QueueOnMainThread([&, i]() { order.push_back(i); });
        }
    });
    poster.join();
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 50; }));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    }
}

TEST_F(QtMessagingPlatformTest, StartOnWorker_RunsOffMainThread) {
    EXPECT_TRUE(FPlatform.IsMainThread());
    std::atomic<int> ran{0};
    std::atomic<bool> offMain{true};
    for (int i = 0; i < 4; ++i) {
        FPlatform.StartOnWorker([&]() {
            offMain = offMain && !FPlatform.IsMainThread();
            ++ran;
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return ran == 4; }));
    EXPECT_TRUE(offMain);
}

TEST_F(QtMessagingPlatformTest, StartOnWorker_LongRunningTasksDoNotStarveOthers) {
    // Like the listen task and the work task: two workers that run until told to stop.
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < 3; ++i) {
        FPlatform.StartOnWorker([&]() {
            ++started;
            while (!stop) {
                std::this_thread::sleep_for(1ms);
            }
            ++finished;
        });
    }
    std::atomic<bool> shortRan{false};
    FPlatform.StartOnWorker([&]() { shortRan = true; });
    const bool ok = PumpUntil([&] { return shortRan.load() && started == 3; });
    stop = true;
    EXPECT_TRUE(ok);
    ASSERT_TRUE(PumpUntil([&] { return finished == 3; }));
}

TEST_F(QtMessagingPlatformTest, ThrowingProcedures_ReachTheReporterOnMainThread) {
    FPlatform.QueueOnMainThread([]() { throw std::runtime_error("Error: port lost (5)"); });
    FPlatform.QueueOnMainThread([]() { throw 42; });
    std::atomic<bool> workerDone{false};
    FPlatform.StartOnWorker([&]() {
        workerDone = true;
        throw std::logic_error("worker failed");
    });
    ASSERT_TRUE(PumpUntil([&] { return FReports.size() == 3; }));
    EXPECT_EQ(FReports[0], QStringLiteral("Error: port lost (5)"));
    EXPECT_EQ(FReports[1], QStringLiteral("Unknown error"));
    EXPECT_EQ(FReports[2], QStringLiteral("worker failed"));
}

TEST_F(QtMessagingPlatformTest, ProcessMainThreadMessages_RunsQueuedWorkAndWaitsTheTimeout) {
    int ran = 0;
    FPlatform.QueueOnMainThread([&]() { ++ran; });
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(FPlatform.ProcessMainThreadMessages(50ms));
    EXPECT_GE(timer.elapsed(), 49);
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(FPlatform.ProcessMainThreadMessages(0ms));
}

TEST_F(QtMessagingPlatformTest, ProcessMainThreadMessages_OnWorkerOnlyWaits) {
    std::atomic<bool> result{false};
    std::atomic<bool> done{false};
    FPlatform.StartOnWorker([&]() {
        result = FPlatform.ProcessMainThreadMessages(20ms);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    EXPECT_TRUE(result);
}

enum class TQuitWay { PostedBeforeWait, QuitFromWorkerDuringWait, ExitFromQueuedProcedure };

class ProcessMainThreadMessagesQuitTest : public QtMessagingPlatformTest,
                                          public ::testing::WithParamInterface<TQuitWay> {};

TEST_P(ProcessMainThreadMessagesQuitTest, AnswersFalseAndMainLoopStillQuits) {
    bool waitResult = true;
    bool afterWait = false;
    bool quitLost = false;
    QElapsedTimer waited;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&]() {
        quitLost = true;
        QCoreApplication::exit(99);
    });
    QTimer::singleShot(0, [&]() {
        switch (GetParam()) {
            case TQuitWay::PostedBeforeWait:
                QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
                break;
            case TQuitWay::QuitFromWorkerDuringWait:
                FPlatform.StartOnWorker([]() {
                    std::this_thread::sleep_for(20ms);
                    QCoreApplication::quit();
                });
                break;
            case TQuitWay::ExitFromQueuedProcedure:
                FPlatform.QueueOnMainThread([]() { QCoreApplication::exit(0); });
                break;
        }
        waited.start();
        waitResult = FPlatform.ProcessMainThreadMessages(3000ms);
        afterWait = true;
        guard.start(3000);
    });
    const int code = QCoreApplication::exec();
    EXPECT_TRUE(afterWait);
    EXPECT_FALSE(waitResult);
    EXPECT_LT(waited.elapsed(), 2000) << "the wait did not end on the quit request";
    EXPECT_FALSE(quitLost) << "the quit request was lost";
    EXPECT_EQ(code, 0);
}

INSTANTIATE_TEST_SUITE_P(QtMessagingPlatform, ProcessMainThreadMessagesQuitTest,
                         ::testing::Values(TQuitWay::PostedBeforeWait, TQuitWay::QuitFromWorkerDuringWait,
                                           TQuitWay::ExitFromQueuedProcedure));

}  // namespace
