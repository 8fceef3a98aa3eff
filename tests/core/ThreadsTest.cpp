// The thread registry and the workers that register in it.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/ThreadRegistry.h"
#include "core/Worker.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

TEST(ThreadRegistryTest, CountsNeverFallBelowZeroAndIndexesBeyondTheListAreCountedOnly) {
    ThreadRegistry r;
    EXPECT_EQ(r.Unregister(1, "x", 0), 0);
    EXPECT_EQ(r.Query(1), 0);
    r.Register(1, "TCP-Out-Server-TH");
    EXPECT_EQ(r.Query(3), 1);  // a later registration is still seen
    r.Reset();
    EXPECT_EQ(r.Query(3), 1);  // a reset keeps the counts
    r.ResetCounts();
    EXPECT_EQ(r.Query(3), 0);

    ThreadRegistry full;
    for (int i = 0; i < ThreadRegistry::kMaxThreads + 2; ++i) full.Register(0, "W-TH");
    EXPECT_EQ(full.ActiveCount(), ThreadRegistry::kMaxThreads);
    full.Unregister(0, "W-TH", ThreadRegistry::kMaxThreads + 1);
    full.Unregister(0, "W-TH", -1);
    EXPECT_EQ(full.ActiveCount(), ThreadRegistry::kMaxThreads);
    EXPECT_EQ(full.Query(1), ThreadRegistry::kMaxThreads);
    // Names are cut to the record; the index is the count, so one that ended
    // out of order leaves its place to the next.
    ThreadRegistry listed;
    const int a = listed.Register(0, "Caster-In-TH");
    listed.Register(0, "Pipe-Out-TH");
    listed.Unregister(0, "Caster-In-TH", a);
    listed.Register(0, std::string(300, 'n').c_str());
    listed.Register(3, nullptr);
    EXPECT_EQ(listed.ActiveListing(), std::string(ThreadRegistry::kNameSize - 1, 'n') +
                                          " is aktiv\n is aktiv\nEs sind noch 2 Threads aktiv!\n");
}

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
    std::atomic<int> running{0};
    auto until_stop = [&](WorkerScope& w) {
        running.fetch_add(1);
        while (!w.StopRequested()) w.Sleep(1);
    };
    EXPECT_EQ(StartWorker(registry, 1, "TCP-Out-Server-TH", until_stop), 0);
    // Counted at once, whether or not the thread has run yet.
    EXPECT_EQ(registry.ActiveListing(), "TCP-Out-Server-TH is aktiv\nEs sind noch 1 Threads aktiv!\n");
    StartWorker(registry, 2, "DecTCP-Out-TH", [](WorkerScope&) { throw std::runtime_error("socket gone"); });
    ASSERT_TRUE(WaitFor([&] { return registry.Query(4) == 0; }));
    StartWorker(registry, 0, "W-TH", until_stop);
    ASSERT_TRUE(WaitFor([&] { return running.load() == 2; }));
    EXPECT_EQ(registry.ActiveCount(), 2);
    registry.SetState(0, 1);
    ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    EXPECT_EQ(registry.KindCount(0) + registry.KindCount(1) + registry.ActiveCount(), 0);
}

}  // namespace
}  // namespace zerlan
