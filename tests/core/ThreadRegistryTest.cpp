#include "core/ThreadRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Console.h"

namespace zerlan {
namespace {

TEST(ThreadRegistryTest, StartsIdleAndSetStateRejectsOutOfRange) {
    ThreadRegistry r;
    EXPECT_EQ(r.GetState(), 2);
    EXPECT_TRUE(r.StopRequested());
    ASSERT_EQ(r.SetState(1, 0), 0);
    EXPECT_EQ(r.SetState(2, 0), 1);
    EXPECT_EQ(r.SetState(-1, 1), 1);
    EXPECT_EQ(r.SetState(0, 3), 1);
    EXPECT_EQ(r.SetState(0, -1), 1);
    EXPECT_EQ(r.GetState(), 0);
    EXPECT_FALSE(r.StopRequested());
}

TEST(ThreadRegistryTest, StopRequestedTruthTable) {
    struct Case { int run, state; bool stop; };
    const Case cases[] = {{1, 0, false}, {1, 1, true}, {1, 2, false}, {0, 0, true}, {0, 1, true}, {0, 2, true}};
    for (const Case& c : cases) {
        ThreadRegistry r;
        ASSERT_EQ(r.SetState(c.run, c.state), 0);
        EXPECT_EQ(r.StopRequested(), c.stop) << c.run << "," << c.state;
    }
}

TEST(ThreadRegistryTest, RegisterCountsKindsAndQuerySelectors) {
    ThreadRegistry r;
    EXPECT_EQ(r.Register(0, "Caster-In-TH"), 0);
    EXPECT_EQ(r.Register(1, "TCP-Out-Server-TH"), 1);
    EXPECT_EQ(r.Register(1, "TCP-Out-Server-TH"), 2);
    EXPECT_EQ(r.Register(2, "DecTCP-Out-TH"), 3);
    EXPECT_EQ(r.Register(3, "Http-Server-TH"), 4);
    EXPECT_EQ(r.Register(4, "Rinex-TCP-Out-TH"), 5);
    EXPECT_EQ(r.Register(7, "odd kind"), 6);  // counted, but in no kind
    EXPECT_EQ(r.Query(1), 7);
    EXPECT_EQ(r.Query(2), 7);
    EXPECT_EQ(r.Query(3), 2);
    EXPECT_EQ(r.Query(4), 1);
    EXPECT_EQ(r.Query(5), 2);
    EXPECT_EQ(r.Query(6), 1);
    EXPECT_EQ(r.Query(7), 1);
    EXPECT_EQ(r.Query(8), 1);
    EXPECT_EQ(r.Query(9), 1);
    EXPECT_EQ(r.Query(10), 1);
    EXPECT_EQ(r.Query(0), 0);
    EXPECT_EQ(r.Query(11), 0);
    EXPECT_EQ(r.KindCount(0), 1);
    EXPECT_EQ(r.KindCount(7), 0);

    // Unregister returns the kind's count; last total and last index stay.
    EXPECT_EQ(r.Unregister(1, "TCP-Out-Server-TH", 2), 1);
    EXPECT_EQ(r.Unregister(7, "odd kind", 6), 0);
    EXPECT_EQ(r.Query(1), 5);
    EXPECT_EQ(r.Query(2), 7);
    EXPECT_EQ(r.Query(3), 1);
    EXPECT_EQ(r.Query(5), 2);
    EXPECT_EQ(r.ActiveCount(), 5);
}

TEST(ThreadRegistryTest, IndexesFollowTheCountAndRepeatWhenThreadsEndOutOfOrder) {
    ThreadRegistry r;
    const int a = r.Register(0, "A-TH");
    const int b = r.Register(0, "B-TH");
    r.Unregister(0, "A-TH", a);
    const int c = r.Register(0, "C-TH");
    EXPECT_EQ(c, b);  // the same index: only the active list suffers
    EXPECT_EQ(r.ActiveListing(), "C-TH is aktiv\nEs sind noch 1 Threads aktiv!\n");
}

TEST(ThreadRegistryTest, UnmatchedUnregisterNeverDrivesCountsBelowZero) {
    ThreadRegistry r;
    EXPECT_EQ(r.Unregister(1, "x", 0), 0);
    EXPECT_EQ(r.Query(1), 0);
    EXPECT_EQ(r.Query(3), 0);
    // A later registration must still be seen.
    r.Register(1, "TCP-Out-Server-TH");
    EXPECT_EQ(r.Query(1), 1);
    EXPECT_EQ(r.Query(3), 1);
}

TEST(ThreadRegistryTest, IndexesBeyondTheListAreCountedButNotListed) {
    ThreadRegistry r;
    for (int i = 0; i < ThreadRegistry::kMaxThreads + 2; ++i) r.Register(0, "W-TH");
    EXPECT_EQ(r.Query(1), ThreadRegistry::kMaxThreads + 2);
    EXPECT_EQ(r.ActiveCount(), ThreadRegistry::kMaxThreads);
    // Unregistering an unlisted index or a negative one touches no flag.
    r.Unregister(0, "W-TH", ThreadRegistry::kMaxThreads + 1);
    r.Unregister(0, "W-TH", -1);
    EXPECT_EQ(r.ActiveCount(), ThreadRegistry::kMaxThreads);
    EXPECT_EQ(r.Query(1), ThreadRegistry::kMaxThreads);
}

TEST(ThreadRegistryTest, LongAndNullNamesAreCutOrEmpty) {
    ThreadRegistry r;
    r.Register(0, std::string(300, 'n').c_str());
    r.Register(0, nullptr);
    EXPECT_EQ(r.ActiveListing(), std::string(ThreadRegistry::kNameSize - 1, 'n') +
                                     " is aktiv\n is aktiv\nEs sind noch 2 Threads aktiv!\n");
}

TEST(ThreadRegistryTest, ResetAndResetCounts) {
    ThreadRegistry r;
    r.SetState(1, 0);
    r.Register(1, "TCP-Out-Server-TH");
    r.Reset();
    EXPECT_EQ(r.GetState(), 2);
    EXPECT_TRUE(r.StopRequested());
    EXPECT_EQ(r.ActiveCount(), 0);
    EXPECT_EQ(r.Query(3), 1);  // Reset keeps the counts
    r.ResetCounts();
    EXPECT_EQ(r.Query(3), 0);
    EXPECT_EQ(r.Query(5), 0);
}

class ShowActiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxSink([this](const std::string& text, const std::string& title) {
            boxes.push_back({text, title});
        });
    }
    void TearDown() override { SetMessageBoxSink(nullptr); }
    std::vector<std::pair<std::string, std::string>> boxes;
};

TEST_F(ShowActiveTest, NothingActiveShowsOnlyTheCountLine) {
    ThreadRegistry r;
    r.ShowActive();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Es sind noch 0 Threads aktiv!\n");
    EXPECT_EQ(boxes[0].second, "Thread-Debug");
}

TEST_F(ShowActiveTest, ListsActiveThreadsInIndexOrderInOneBox) {
    ThreadRegistry r;
    r.Register(0, "Caster-In-TH");
    const int mid = r.Register(0, "Pipe-Out-TH");
    r.Register(3, "Http-Server-TH");
    r.Unregister(0, "Pipe-Out-TH", mid);
    r.ShowActive();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first,
              "Caster-In-TH is aktiv\nHttp-Server-TH is aktiv\nEs sind noch 2 Threads aktiv!\n");
}

}  // namespace
}  // namespace zerlan
