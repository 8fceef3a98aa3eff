#include "core/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

class WorkerThreadsTest : public ::testing::Test {
protected:
    void SetUp() override { registry.SetState(1, 0); }
    void TearDown() override {
        // Workers hold a reference to the registry: none may outlive it.
        registry.SetState(0, 1);
        ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    }
    ThreadRegistry registry;
};

TEST_F(WorkerThreadsTest, RegisteredBeforeStartReturnsAndGoneAfterStopEvenWhenTheBodyThrows) {
    constexpr int kWorkers = 40;
    std::atomic<int> running{0};
    EXPECT_EQ(StartWorker(registry, 1, "TCP-Out-Server-TH", [&](WorkerScope& w) {
                  running.fetch_add(1);
                  while (!w.StopRequested()) w.Sleep(1);
              }),
              0);
    // Counted at once, whether or not the thread has run yet.
    EXPECT_EQ(registry.ActiveListing(), "TCP-Out-Server-TH is aktiv\nEs sind noch 1 Threads aktiv!\n");
    StartWorker(registry, 2, "DecTCP-Out-TH", [](WorkerScope&) { throw std::runtime_error("socket gone"); });
    ASSERT_TRUE(WaitFor([&] { return registry.Query(4) == 0; }));
    for (int i = 1; i < kWorkers; ++i) {
        StartWorker(registry, i % 5, "W-TH", [&](WorkerScope& w) {
            running.fetch_add(1);
            while (!w.StopRequested()) w.Sleep(1);
        });
    }
    ASSERT_TRUE(WaitFor([&] { return running.load() == kWorkers; }));
    EXPECT_EQ(registry.ActiveCount(), kWorkers);
    registry.SetState(0, 1);
    ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    for (int kind = 0; kind < 5; ++kind) EXPECT_EQ(registry.KindCount(kind), 0) << kind;
    EXPECT_EQ(registry.ActiveCount(), 0);
}

TEST_F(WorkerThreadsTest, SleepAndPollEndEarlyOnStop) {
    EXPECT_TRUE(SleepUnlessStopped(registry, 3));
    EXPECT_TRUE(PollUnlessStopped(registry, 1, [] { return true; }));
    std::atomic<int> sleep_result{-1}, poll_result{-1};
    std::thread sleeper([&] { sleep_result.store(SleepUnlessStopped(registry, 600000) ? 1 : 0); });
    std::thread poller([&] { poll_result.store(PollUnlessStopped(registry, 1, [] { return false; }) ? 1 : 0); });
    registry.SetState(0, 1);
    sleeper.join();
    poller.join();
    EXPECT_EQ(sleep_result.load(), 0);
    EXPECT_EQ(poll_result.load(), 0);
    // Already stopped: no wait at all, but a condition already met still counts.
    EXPECT_FALSE(SleepUnlessStopped(registry, 600000));
    EXPECT_TRUE(PollUnlessStopped(registry, 1, [] { return true; }));
}

}  // namespace
}  // namespace zerlan
