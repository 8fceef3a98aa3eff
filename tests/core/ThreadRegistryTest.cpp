#include "core/ThreadRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Console.h"

namespace zerlan {
namespace {

TEST(ThreadRegistryTest, StateAndStopRequested) {
    ThreadRegistry idle;
    EXPECT_EQ(idle.GetState(), 2);
    EXPECT_TRUE(idle.StopRequested());
    for (auto [run, state] : {std::pair{2, 0}, {-1, 1}, {0, 3}, {0, -1}}) EXPECT_EQ(idle.SetState(run, state), 1);
    struct Case { int run, state; bool stop; };
    for (const Case& c : {Case{1, 0, false}, {1, 1, true}, {1, 2, false}, {0, 0, true}, {0, 1, true}, {0, 2, true}}) {
        ThreadRegistry r;
        ASSERT_EQ(r.SetState(c.run, c.state), 0);
        EXPECT_EQ(r.StopRequested(), c.stop) << c.run << "," << c.state;
    }
}

TEST(ThreadRegistryTest, RegisterCountsKindsAndQuerySelectors) {
    ThreadRegistry r;
    for (auto [kind, name] : {std::pair{0, "Caster-In-TH"}, {1, "TCP-Out-Server-TH"}, {1, "TCP-Out-Server-TH"},
                              {2, "DecTCP-Out-TH"}, {3, "Http-Server-TH"}, {4, "Rinex-TCP-Out-TH"}, {7, "odd kind"}})
        r.Register(kind, name);
    // Selectors 1..10: total, last total, kinds 1, 2, 0 (via 5/6), 3, 4 ...
    std::vector<int> answers;
    for (int selector = 0; selector <= 11; ++selector) answers.push_back(r.Query(selector));
    EXPECT_EQ(answers, (std::vector<int>{0, 7, 7, 2, 1, 2, 1, 1, 1, 1, 1, 0}));

    // Unregister returns the kind's count; the last total stays.
    EXPECT_EQ(r.Unregister(1, "TCP-Out-Server-TH", 2), 1);
    EXPECT_EQ(r.Unregister(7, "odd kind", 6), 0);
    EXPECT_EQ(r.Query(1), 5);
    EXPECT_EQ(r.Query(2), 7);
    EXPECT_EQ(r.Query(3), 1);
    EXPECT_EQ(r.ActiveCount(), 5);
    r.Reset();
    EXPECT_EQ(r.GetState(), 2);
    EXPECT_EQ(r.ActiveCount(), 0);
    EXPECT_EQ(r.Query(3), 1);  // Reset keeps the counts
    r.ResetCounts();
    EXPECT_EQ(r.Query(3), 0);
}

TEST(ThreadRegistryTest, UnmatchedOrUnlistedUnregisterNeverDrivesCountsBelowZero) {
    ThreadRegistry r;
    EXPECT_EQ(r.Unregister(1, "x", 0), 0);
    EXPECT_EQ(r.Query(1), 0);
    r.Register(1, "TCP-Out-Server-TH");
    EXPECT_EQ(r.Query(3), 1);  // a later registration is still seen

    ThreadRegistry full;
    for (int i = 0; i < ThreadRegistry::kMaxThreads + 2; ++i) full.Register(0, "W-TH");
    EXPECT_EQ(full.Query(1), ThreadRegistry::kMaxThreads + 2);
    EXPECT_EQ(full.ActiveCount(), ThreadRegistry::kMaxThreads);
    full.Unregister(0, "W-TH", ThreadRegistry::kMaxThreads + 1);
    full.Unregister(0, "W-TH", -1);
    EXPECT_EQ(full.ActiveCount(), ThreadRegistry::kMaxThreads);
    EXPECT_EQ(full.Query(1), ThreadRegistry::kMaxThreads);
}

TEST(ThreadRegistryTest, ActiveListingInIndexOrderWithCutNames) {
    std::vector<std::pair<std::string, std::string>> boxes;
    SetMessageBoxSink([&](const std::string& text, const std::string& title) { boxes.push_back({text, title}); });
    ThreadRegistry r;
    r.ShowActive();
    const int a = r.Register(0, "Caster-In-TH");
    r.Register(0, "Pipe-Out-TH");
    r.Unregister(0, "Caster-In-TH", a);
    r.Register(0, std::string(300, 'n').c_str());  // takes the index the count gives: the list loses one
    r.Register(3, nullptr);
    r.ShowActive();
    SetMessageBoxSink(nullptr);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (std::pair<std::string, std::string>{"Es sind noch 0 Threads aktiv!\n", "Thread-Debug"}));
    EXPECT_EQ(boxes[1].first, std::string(ThreadRegistry::kNameSize - 1, 'n') +
                                  " is aktiv\n is aktiv\nEs sind noch 2 Threads aktiv!\n");
}

}  // namespace
}  // namespace zerlan
