#include "core/GeneralStop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/Worker.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

// The test thread is the view: it pumps what the general stop posts and
// sends, while stand-in workers run in their own threads.
class GeneralStopThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
        Clock::Install(&clock);
        view.Attach([this](const Message& m) {
            messages.push_back(m.id);
            if (m.id == msg::kStatusSlot10) state.status_board.GetText(slot10, 10);
        });
        state.view_window.store(&view);
    }
    void TearDown() override {
        release.store(true);
        woken.store(true);
        EXPECT_TRUE(PumpUntil([&] { return !stop.valid() || Ended(); }));
        EXPECT_TRUE(PumpUntil([&] { return state.registry.Query(1) == 0; }));
        state.view_window.store(nullptr);
        Clock::Install(nullptr);
    }

    bool PumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            view.PumpOne(1);
        }
        return true;
    }
    bool Done() const { return !messages.empty() && messages.back() == msg::kGeneralStopDone; }
    bool Ended() { return stop.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    std::vector<std::string> Records() {
        std::lock_guard<std::mutex> lock(records_mutex);
        return records;
    }

    void Start() {
        GeneralStopHooks h;
        h.server_configured = [this](int kind) { passes.fetch_add(1); return kind != 3; };
        h.wake_server = [this](int kind) {
            woken_kinds.fetch_or(1 << kind);
            if (kind == 1) woken.store(true);
        };
        h.close_listeners = [this] {
            flags_at_close.store(state.tcp_out_server_started.load());
            closes.fetch_add(1);
        };
        h.write_protocol = [this](const std::string& title, const std::string& text) {
            std::lock_guard<std::mutex> lock(records_mutex);
            records.push_back(title + ": " + text);
        };
        state.registry.SetState(0, 1);
        stop = StartGeneralStop(state, h);
    }
    // A worker that ignores the stop until `until` is set.
    void StartBlocked(int kind, const char* name, std::atomic<bool>& until) {
        StartWorker(state.registry, kind, name, [&until](WorkerScope&) {
            while (!until.load()) Sleep(1);
        });
    }

    FakeClock clock;
    MessageQueue view;
    SharedState state;
    std::future<void> stop;
    std::vector<uint32_t> messages;
    std::string slot10;
    std::atomic<bool> release{false}, woken{false};
    std::atomic<int> passes{0}, closes{0}, flags_at_close{-1}, woken_kinds{0};
    std::mutex records_mutex;
    std::vector<std::string> records;
};

// The end is reported only once every worker has gone, not only the servers:
// a restart must never start beside workers of the old job.
TEST_F(GeneralStopThreadsTest, WakesServersListsTheRestEveryTwentySecondsAndReportsTheEndWhenAllHaveGone) {
    state.tcp_out_server_started.store(1);
    state.http_server_started.store(1);
    StartBlocked(0, "Caster-In-TH", release);
    StartBlocked(1, "TCP-Out-Server-TH", woken);  // in accept until its own port is connected to
    StartBlocked(3, "Http-Server-TH", release);   // started, but not configured: never woken
    Start();
    // server_configured is asked in every pass, so the passes tell when the
    // loop has seen the clock move.
    ASSERT_TRUE(PumpUntil([&] { return state.registry.Query(3) == 0 && passes.load() > 0; }));
    auto advance_and_settle = [&](int64_t ms) {
        clock.Advance(ms);
        const int seen = passes.load();
        return PumpUntil([&] { return passes.load() > seen + 2; });
    };
    ASSERT_TRUE(advance_and_settle(20000));
    EXPECT_TRUE(Records().empty());  // exactly 20 s is not more than 20 s
    ASSERT_TRUE(advance_and_settle(1));
    EXPECT_EQ(Records(), (std::vector<std::string>{"General-Stop: Caster-In-TH is aktiv, Http-Server-TH is aktiv, "
                                                   "Es sind noch 2 Threads aktiv!"}));
    EXPECT_FALSE(Done());
    EXPECT_EQ(closes.load(), 0);
    EXPECT_EQ(woken_kinds.load(), 1 << 1);

    release.store(true);
    ASSERT_TRUE(PumpUntil([&] { return Done() && Ended(); }));
    view.PumpPending();
    EXPECT_EQ(closes.load(), 1);
    EXPECT_EQ(flags_at_close.load(), 1);  // the flags are cleared only after the listeners were closed
    EXPECT_EQ(state.tcp_out_server_started.load() + state.http_server_started.load(), 0);
    // +139 with the slot text comes before +102.
    EXPECT_EQ(messages, (std::vector<uint32_t>{msg::kStatusSlot10, msg::kGeneralStopDone}));
    EXPECT_EQ(slot10, "3 process ended !");
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(Records().back(), "General-Stop: no_failure, all_Process_closed 03.02.2025  09:05:27");
}

}  // namespace
}  // namespace zerlan
