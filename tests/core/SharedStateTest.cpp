#include "core/SharedState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/DisplayLog.h"
#include "core/GeneralStop.h"
#include "core/ThreadRegistry.h"
#include "core/Worker.h"
#include "platform/Sleep.h"
#include "support/StateFixture.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

TEST(DisplayLog, AppendsUntilFullThenReplacesAndDropsWhatCanNeverFit) {
    std::string log(100, 'x');
    AppendDisplayText(log, std::string(4000, 'y'));
    EXPECT_EQ(log, std::string(100, 'x') + std::string(3400, 'y'));
    AppendDisplayText(log, std::string(50, 'z'));
    EXPECT_EQ(log, std::string(50, 'z'));
    log.assign(3500, 'x');
    AppendDisplayText(log, std::string(3500, 'y'));
    EXPECT_EQ(log, std::string(3500, 'x'));
}

TEST(StatusBoard, SlotsAreBoundedAndTextsCut) {
    StatusBoard board;
    char buffer[StatusBoard::kSlotSize];
    for (int refused : {board.SetText("x", 250), board.SetText("x", -1), board.GetText(buffer, 250),
                        board.SetValue(1.0, 86400), static_cast<int>(board.GetValue(-1))})
        EXPECT_EQ(refused, -1);
    ASSERT_EQ(board.SetText(std::string(1500, 'a').c_str(), 3, 7), 0);
    std::string got;
    EXPECT_EQ(board.GetText(got, 7), 999);
}

using SharedStateThreads = testing::StateFixture;

// A bar refresh never waits for a busy view, and a burst of them leaves one message.
TEST_F(SharedStateThreads, BarsArePostedAndCoalesced) {
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) shared_.Send(msg::kInputBar);  // would block if sent
        for (int i = 0; i < 2; ++i) shared_.Post(msg::kAllOutputBars);
    });
    worker.join();
    EXPECT_EQ(view_.Pending(), 2u);
    view_.PumpPending();
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kInputBar, msg::kAllOutputBars}));
}

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
    for (int index : {ThreadRegistry::kMaxThreads + 1, -1}) full.Unregister(0, "W-TH", index);
    EXPECT_EQ(full.ActiveCount(), ThreadRegistry::kMaxThreads);
    EXPECT_EQ(full.Query(1), ThreadRegistry::kMaxThreads);
    // The index is the count, so one that ended out of order leaves its place to the next.
    ThreadRegistry listed;
    const int a = listed.Register(0, "Caster-In-TH");
    listed.Register(0, "Pipe-Out-TH");
    listed.Unregister(0, "Caster-In-TH", a);
    listed.Register(0, std::string(300, 'n').c_str());
    listed.Register(3, nullptr);
    EXPECT_EQ(listed.ActiveListing(), std::string(ThreadRegistry::kNameSize - 1, 'n') +
                                          " is aktiv\n is aktiv\nEs sind noch 2 Threads aktiv!\n");
}

// Workers hold a reference to the registry, so nothing may end the test before they have gone.
TEST(WorkerThreadsTest, RegisteredBeforeStartReturnsAndGoneAfterStopEvenWhenTheBodyThrows) {
    ThreadRegistry registry;
    registry.SetState(1, 0);
    std::atomic<int> running{0};
    auto until_stop = [&](WorkerScope& w) {
        running.fetch_add(1);
        while (!w.StopRequested()) w.Sleep(1);
    };
    EXPECT_EQ(StartWorker(registry, 1, "TCP-Out-Server-TH", until_stop), 0);
    // Counted at once, whether or not the thread has run yet.
    EXPECT_EQ(registry.ActiveListing(), "TCP-Out-Server-TH is aktiv\nEs sind noch 1 Threads aktiv!\n");
    StartWorker(registry, 2, "DecTCP-Out-TH", [](WorkerScope&) { throw std::runtime_error("socket gone"); });
    EXPECT_TRUE(WaitFor([&] { return registry.Query(4) == 0; }));
    StartWorker(registry, 0, "W-TH", until_stop);
    EXPECT_TRUE(WaitFor([&] { return running.load() == 2; }));
    EXPECT_EQ(registry.ActiveCount(), 2);
    registry.SetState(0, 1);
    ASSERT_TRUE(WaitFor([&] { return registry.Query(1) == 0; }));
    EXPECT_EQ(registry.KindCount(0) + registry.KindCount(1) + registry.ActiveCount(), 0);
}

using GeneralStopThreads = testing::StateFixture;

// A restart must never start beside workers of the old job, so the end waits for every worker,
// not only the servers. No ASSERT may leave before the workers are released: they use shared_.
TEST_F(GeneralStopThreads, WakesServersListsTheRestEveryTwentySecondsAndReportsTheEndWhenAllHaveGone) {
    auto pump_until = [&](const std::function<bool()>& done) {
        return WaitFor([&] { view_.PumpOne(1); return done(); }, 5000);
    };

    std::atomic<bool> release{false}, woken{false}, http_done{false};
    std::atomic<int> passes{0}, closes{0}, flags_at_close{-1}, woken_kinds{0};
    std::mutex records_mutex;
    std::vector<std::string> records;
    auto recorded = [&] {
        std::lock_guard<std::mutex> lock(records_mutex);
        return records;
    };
    GeneralStopHooks h;
    h.server_configured = [&](int kind) { passes.fetch_add(1); return kind != 3; };
    h.wake_server = [&](int kind) {
        woken_kinds.fetch_or(1 << kind);
        if (kind == 1) woken.store(true);
    };
    h.close_listeners = [&] {
        flags_at_close.store(shared_.tcp_out_server_started.load());
        closes.fetch_add(1);
    };
    h.write_protocol = [&](const std::string& title, const std::string& text) {
        std::lock_guard<std::mutex> lock(records_mutex);
        records.push_back(title + ": " + text);
    };
    // Stand-ins that ignore the stop until their flag is set.
    auto blocked_until = [](std::atomic<bool>& flag) {
        return [&flag](WorkerScope&) { while (!flag.load()) Sleep(1); };
    };
    shared_.tcp_out_server_started.store(1);
    shared_.http_server_started.store(1);
    StartWorker(shared_.registry, 0, "Caster-In-TH", blocked_until(release));
    StartWorker(shared_.registry, 1, "TCP-Out-Server-TH", blocked_until(woken));  // in accept until woken
    StartWorker(shared_.registry, 3, "Http-Server-TH", blocked_until(http_done));  // started, not configured
    shared_.registry.SetState(0, 1);
    std::future<void> stop = StartGeneralStop(shared_, h);

    // server_configured is asked in every pass, so the passes tell when the loop has seen the clock move.
    EXPECT_TRUE(pump_until([&] { return shared_.registry.Query(3) == 0 && passes.load() > 0; }));
    auto advance_and_settle = [&](int64_t ms) {
        clock_.Advance(ms);
        const int seen = passes.load();
        return pump_until([&] { return passes.load() > seen + 2; });
    };
    EXPECT_TRUE(advance_and_settle(20000));
    EXPECT_TRUE(recorded().empty());  // exactly 20 s is not more than 20 s
    EXPECT_TRUE(advance_and_settle(1));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"General-Stop: Caster-In-TH is aktiv, Http-Server-TH is aktiv, "
                                                    "Es sind noch 2 Threads aktiv!"}));
    EXPECT_EQ(woken_kinds.load(), 1 << 1);
    // With no server left an ordinary worker still holds the end back.
    http_done.store(true);
    EXPECT_TRUE(pump_until([&] { return shared_.registry.Query(7) == 0; }));
    clock_.Advance(20001);
    EXPECT_TRUE(pump_until([&] { return recorded().size() >= 2; }));
    EXPECT_EQ(recorded().back(), "General-Stop: Caster-In-TH is aktiv, Es sind noch 1 Threads aktiv!");
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(closes.load(), 0);

    release.store(true);
    woken.store(true);
    EXPECT_TRUE(pump_until([&] {
        return stop.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
               shared_.registry.Query(1) == 0;
    }));
    view_.PumpPending();
    EXPECT_EQ(closes.load(), 1);
    EXPECT_EQ(flags_at_close.load(), 1);  // the flags are cleared only after the listeners were closed
    EXPECT_EQ(shared_.tcp_out_server_started.load() + shared_.http_server_started.load(), 0);
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kStatusSlot10, msg::kGeneralStopDone}));
    std::string slot10;
    shared_.status_board.GetText(slot10, 10);
    EXPECT_EQ(slot10, "3 process ended !");
    EXPECT_EQ(recorded().size(), 3u);
    EXPECT_EQ(recorded().back(), "General-Stop: no_failure, all_Process_closed 03.02.2025  09:05:40");
}

}  // namespace
}  // namespace zerlan
