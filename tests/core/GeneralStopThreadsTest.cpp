#include "core/GeneralStop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Worker.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

// The test thread is the view: it pumps the queue the general stop posts and
// sends to, while stand-in workers run in their own threads.
class GeneralStopThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
        Clock::Install(&clock);
        view.Attach([this](const Message& m) {
            messages.push_back(m.id);
            if (m.id == msg::kStatusSlot10) state->status_board.GetText(slot10, 10);
        });
        state->view_window.store(&view);
        state->registry.SetState(1, 0);
    }
    void TearDown() override {
        state->registry.SetState(0, 1);
        release.store(true);
        woken.store(true);
        EXPECT_TRUE(PumpUntil([&] { return !stop.valid() || Ended(); }));
        EXPECT_TRUE(PumpUntil([&] { return state->registry.Query(1) == 0; }));
        state->view_window.store(nullptr);
        Clock::Install(nullptr);
    }

    bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            view.PumpOne(1);
        }
        return true;
    }
    bool Done() const { return std::find(messages.begin(), messages.end(), msg::kGeneralStopDone) != messages.end(); }
    bool Ended() { return stop.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    std::vector<std::string> Records() {
        std::lock_guard<std::mutex> lock(records_mutex);
        return records;
    }

    void Start() {
        GeneralStopHooks h;
        h.server_configured = [this](int kind) { passes.fetch_add(1); return kind != 3; };
        h.wake_server = [this](int kind) { if (kind == 1) woken.store(true); wakes[kind].fetch_add(1); };
        h.close_listeners = [this] {
            // The flags are cleared only after the listeners were closed.
            flags_at_close.store(state->tcp_out_server_started.load());
            closes.fetch_add(1);
        };
        h.write_protocol = [this](const std::string& title, const std::string& text) {
            std::lock_guard<std::mutex> lock(records_mutex);
            records.push_back(title + ": " + text);
        };
        state->registry.SetState(0, 1);
        stop = StartGeneralStop(*state, h);
    }
    // A worker that ignores the stop until `until` is set: "in accept" until its
    // own port is connected to (woken), or just slow (release).
    void StartBlocked(int kind, const char* name, std::atomic<bool>& until) {
        StartWorker(state->registry, kind, name, [&until](WorkerScope&) {
            while (!until.load()) Sleep(1);
        });
    }

    FakeClock clock;
    MessageQueue view;
    std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
    std::future<void> stop;
    std::vector<uint32_t> messages;
    std::string slot10;
    std::atomic<bool> release{false}, woken{false};
    std::atomic<int> passes{0}, closes{0}, flags_at_close{-1};
    std::atomic<int> wakes[5] = {};
    std::mutex records_mutex;
    std::vector<std::string> records;
};

TEST_F(GeneralStopThreadsTest, WaitsForEveryWorkerThenReportsTheEnd) {
    state->tcp_out_server_started.store(1);
    state->http_server_started.store(1);
    StartBlocked(0, "Caster-In-TH", release);
    StartBlocked(1, "TCP-Out-Server-TH", woken);
    StartWorker(state->registry, 3, "Http-Server-TH", [](WorkerScope& w) {
        while (!w.StopRequested()) w.Sleep(1);
    });
    Start();

    // The server is woken through its own port and ends; the kind 0 worker
    // still runs, so the end is not reported yet.
    ASSERT_TRUE(PumpUntil([&] { return state->registry.Query(3) == 0 && state->registry.Query(7) == 0; }));
    EXPECT_FALSE(PumpUntil([&] { return Done(); }, 20));
    EXPECT_EQ(closes.load(), 0);
    EXPECT_EQ(wakes[3].load(), 0);  // started, but not configured

    release.store(true);
    ASSERT_TRUE(PumpUntil([&] { return Done() && Ended(); }));
    view.PumpPending();
    EXPECT_EQ(closes.load(), 1);
    EXPECT_EQ(flags_at_close.load(), 1);
    EXPECT_EQ(state->tcp_out_server_started.load() + state->http_server_started.load(), 0);
    // +139 with the slot text comes before +102.
    EXPECT_EQ(messages, (std::vector<uint32_t>{msg::kStatusSlot10, msg::kGeneralStopDone}));
    EXPECT_EQ(slot10, "3 process ended !");
    EXPECT_EQ(Records(),
              (std::vector<std::string>{"General-Stop: no_failure, all_Process_closed 03.02.2025  09:05:07"}));
}

TEST_F(GeneralStopThreadsTest, ListsStillRegisteredThreadsEveryTwentySeconds) {
    // The kind 1 stand-in keeps the loop asking server_configured each pass,
    // which tells the test that the loop has seen the clock move.
    state->tcp_out_server_started.store(1);
    StartBlocked(0, "Caster-In-TH", release);
    StartBlocked(1, "TCP-Out-Server-TH", release);
    Start();
    auto advance_and_settle = [&](int64_t ms) {
        clock.Advance(ms);
        const int seen = passes.load();
        return PumpUntil([&] { return passes.load() > seen + 2; });
    };
    ASSERT_TRUE(PumpUntil([&] { return passes.load() > 0; }));  // the loop took its start time
    ASSERT_TRUE(advance_and_settle(20000));
    EXPECT_TRUE(Records().empty());  // exactly 20 s is not more than 20 s
    ASSERT_TRUE(advance_and_settle(1));
    EXPECT_EQ(Records(), (std::vector<std::string>{"General-Stop: Caster-In-TH is aktiv, TCP-Out-Server-TH is aktiv, "
                                                   "Es sind noch 2 Threads aktiv!"}));
    ASSERT_TRUE(advance_and_settle(20001));
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_FALSE(Done());
    release.store(true);
    ASSERT_TRUE(PumpUntil([&] { return Done() && Ended(); }));
    EXPECT_TRUE(Records().back().starts_with("General-Stop: no_failure, all_Process_closed "));
}

}  // namespace
}  // namespace zerlan
