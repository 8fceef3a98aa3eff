// The character-rate watch: once per time unit it takes the bytes a stream
// thread has counted, compares them with a minimum and a maximum, and when the
// rate stays too low or too high for a configured time it writes a "ZW"
// protocol record and a marker file, shows the failure in the view and reports
// it to its caller. It also shows the per-unit counts in the view. The same
// class serves as the reset watch of the TCP output server and as a plain
// interval timer.
//
// Use by a stream thread: build a settings watch on its own counter (input
// kinds take seb field 1, miz fields 1-3 and maz fields 1-3; output kinds seb
// field 2, miz/maz fields 4-6) and call Check once per loop pass, e.g.
//     CharWatch watch(shared, &shared.input_total, 0, limits, settings_pr);
//     ... if (watch.Check("CharWatch: TcpInClient-Warning !", msg::kInputRate, 1) == 1) reconnect;
// The thread keeps adding its bytes to the counter (fetch_add); Check takes and
// clears it in one exchange, so no byte is lost at a unit boundary. Threads
// that do nothing but watch (the TCP server rate watches) run their passes
// through RunWatchThread.
//
// Thread-safety: a watch belongs to one thread. Only the watched counter is
// shared, and only through atomic operations. Check sends (and waits for)
// its display messages, so it must not run on the view thread while that
// thread is needed to answer another sender.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/SharedState.h"

namespace zerlan {

class ThreadRegistry;

// Limits of one settings group (input, output or the unused third).
struct CharWatchLimits {
    int32_t time_unit = 1;         // seconds; below 1 counts as 1
    int32_t minimum = 0;           // bytes per unit
    int32_t minimum_duration = 0;  // seconds; 0 switches the too-few half off
    std::string low_title;
    int32_t maximum = 0;
    int32_t maximum_duration = 0;  // seconds; 0 switches the too-many half off
    std::string high_title;
};

class CharWatch {
public:
    // Results of Check, also the states of the watch.
    static constexpr int kNothing = 0;
    static constexpr int kTooFew = 1;
    static constexpr int kAfterTooFew = 2;
    static constexpr int kTooMany = 3;
    static constexpr int kAfterTooMany = 4;

    // Settings watch. Kinds 0..5 (others count as 0): 0 and 3 input, 1 and 4
    // output, 2 and 5 a third group; only kinds 0 and 1 display their counts.
    // Sets the counter to 0.
    CharWatch(SharedState& shared, Counter* counter, int kind, const CharWatchLimits& limits,
              const std::string& protocol_file);
    // Reset watch: unit 1 s, too few below 10 bytes ("Minimal-Reset"), too many
    // above 10000 ("Maximal-Reset"), no protocol file.
    CharWatch(SharedState& shared, Counter* counter, int kind, int32_t minimum_duration,
              int32_t maximum_duration);
    // Interval timer: only IntervalElapsed is meaningful.
    explicit CharWatch(int32_t interval_seconds, int32_t interval_limit = 0);

    CharWatch(const CharWatch&) = delete;
    CharWatch& operator=(const CharWatch&) = delete;

    // 0 = input, 1 = output, 2 = third settings group of a kind.
    static int SettingsGroup(int kind);

    // One check, at most once per time unit (returns kNothing in between).
    // `display_message` is WM_USER+131 for the input or +123..+128 for an
    // output; `write_protocol` 1 writes records and marker files.
    int Check(const std::string& warning_text, uint32_t display_message, int write_protocol);

    // True, restarting the interval, when the interval has passed since the
    // last true answer (or since construction).
    bool IntervalElapsed();

    // A record of this watch: "NF" for a "no_failure" text, else "ZW" with the
    // duration of the low (period 0) or high (period 1) run.
    int WriteProtocol(const std::string& title, const std::string& text, const std::string& protocol_file,
                      int period);

    int state() const { return state_; }
    int kind() const { return kind_; }
    int32_t interval_limit() const { return interval_limit_; }

private:
    struct Period {
        int32_t count = 0;
        bool started = false;
        int64_t start_time = 0;
        int64_t end_time = 0;
        std::string failure_text;
    };

    // Counts one unit of a low or high run; true when its duration is reached
    // and the failure was reported.
    bool AdvancePeriod(Period& period, int32_t bytes, int32_t duration, const std::string& title,
                       int period_index, int write_protocol, const char* display_prefix);
    void StoreDisplayValue(int32_t bytes, uint32_t display_message);
    std::string FailureText(int32_t bytes) const;

    SharedState* shared_ = nullptr;
    Counter* counter_ = nullptr;
    int kind_ = 0;
    int32_t time_unit_ = 1;
    int32_t minimum_ = 0;
    int32_t minimum_duration_ = 0;
    std::string low_title_;
    int32_t maximum_ = 0;
    int32_t maximum_duration_ = 0;
    std::string high_title_;
    std::string protocol_file_;
    int64_t last_check_ = 0;
    int64_t now_ = 0;
    Period low_;
    Period high_;
    int state_ = kNothing;
    bool marker_refused_[2] = {false, false};  // warned once per half
    int32_t interval_ = 0;
    int32_t interval_limit_ = 0;
    int64_t last_interval_ = 0;
};

// The loop of a watch thread: runs `pass`, then sleeps `pause_ms`, until the
// registry asks for a stop (asked before every pass). Meant as the body of a
// worker started with StartWorker, which registers and unregisters it, e.g.
//     StartWorker(shared.registry, 0, "TCP-In-Server-CharWatch-TH", [&](WorkerScope& w) {
//         CharWatch watch(shared, &shared.input_total, 0, input_limits, pr);
//         RunWatchThread(w.registry(), 100, [&] {
//             watch.Check("CharWatch: TcpInServer-Warning !", msg::kInputRate, 1); });
//     });
void RunWatchThread(const ThreadRegistry& registry, int pause_ms, const std::function<void()>& pass);

}  // namespace zerlan
