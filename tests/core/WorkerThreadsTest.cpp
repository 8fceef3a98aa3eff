#include "core/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zerlan {
namespace {

// Bounded polling: thread tests never wait without a limit.
bool WaitFor(const std::function<bool()>& done, int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class WorkerThreadsTest : public ::testing::Test {
protected:
    void SetUp() override { registry.SetState(1, 0); }
    void TearDown() override {
        // Workers hold a reference to the registry: none may outlive it.
        registry.SetState(0, 1);
        release.store(true);
        ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    }
    ThreadRegistry registry;
    std::atomic<bool> release{false};
};

TEST_F(WorkerThreadsTest, RegisteredBeforeStartReturnsAndGoneAfterStop) {
    std::atomic<int> passes{0};
    const int index = StartWorker(registry, 1, "TCP-Out-Server-TH", [&](WorkerScope& w) {
        while (!w.StopRequested()) {
            passes.fetch_add(1);
            w.Sleep(1);
        }
    });
    EXPECT_EQ(index, 0);
    // Counted at once, whether or not the thread has run yet.
    EXPECT_EQ(registry.Query(1), 1);
    EXPECT_EQ(registry.Query(3), 1);
    EXPECT_EQ(registry.ActiveListing(), "TCP-Out-Server-TH is aktiv\nEs sind noch 1 Threads aktiv!\n");

    ASSERT_TRUE(WaitFor([&] { return passes.load() > 0; }));
    registry.SetState(0, 1);
    ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    EXPECT_EQ(registry.Query(3), 0);
    EXPECT_EQ(registry.ActiveCount(), 0);
    EXPECT_EQ(registry.Query(2), 1);
}

TEST_F(WorkerThreadsTest, ThrowingBodyStillUnregisters) {
    StartWorker(registry, 2, "DecTCP-Out-TH", [](WorkerScope&) { throw std::runtime_error("socket gone"); });
    ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    EXPECT_EQ(registry.Query(4), 0);
}

TEST_F(WorkerThreadsTest, ManyWorkersStartAndEndConcurrently) {
    constexpr int kWorkers = 40;
    std::atomic<int> running{0};
    for (int i = 0; i < kWorkers; ++i) {
        StartWorker(registry, i % 5, "W-TH", [&](WorkerScope& w) {
            running.fetch_add(1);
            while (!w.StopRequested()) w.Sleep(1);
        });
    }
    EXPECT_EQ(registry.Query(1), kWorkers);
    ASSERT_TRUE(WaitFor([&] { return running.load() == kWorkers; }));
    EXPECT_EQ(registry.ActiveCount(), kWorkers);
    registry.SetState(0, 1);
    ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    for (int kind = 0; kind < 5; ++kind) EXPECT_EQ(registry.KindCount(kind), 0) << kind;
    EXPECT_EQ(registry.ActiveCount(), 0);
}

TEST_F(WorkerThreadsTest, SleepAndPollEndEarlyOnStop) {
    EXPECT_TRUE(SleepUnlessStopped(registry, 0));
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
