// What every stream thread does the same way: the delivery of a received
// block into the input pools with counters, bar and the 3999-byte display,
// the output side's reader slot and counters, the rate-watch limits from the
// settings, and the drain that lets readers finish a replayed file.
//
// Thread-safety: an InputDelivery or OutputSlot belongs to one worker thread.
#pragma once

#include <cstdint>
#include <string>

#include "config/Settings.h"
#include "core/SharedState.h"
#include "core/Worker.h"
#include "supervision/CharWatch.h"

namespace zerlan {

// seb field 1, miz/maz fields 1-3.
CharWatchLimits InputWatchLimits(const Settings& settings);
// seb field 2, miz/maz fields 4-6.
CharWatchLimits OutputWatchLimits(const Settings& settings);
// The protocol file setting, or its default when empty.
std::string ProtocolFileOf(const Settings& settings);
// True for the rate-watch results that report a failure (too few, too many).
bool IsAlarm(int check_result);

// The longest wait between two failed connects of a client thread.
constexpr int kMaxRetryWaitMs = 5000;
// The wait after one more failed connect: doubled, at most `max_ms`.
int NextRetryWait(int wait_ms, int max_ms);

// The received-block step of every input thread.
class InputDelivery {
public:
    static constexpr int kDisplayEvery = 3999;

    // `both_pools`: the dummy generator writes InputPoolA only. `pacing`:
    // replays wait for active readers instead of letting them lose data.
    InputDelivery(SharedState& state, WorkerScope& worker, bool both_pools, bool pacing);
    // A (re)connect: clears the display accumulation and the bar counter.
    void Reset();
    // Hands one block (at most 1999 bytes) to the pools; false when the
    // thread was told to stop before the block was taken.
    bool Deliver(const char* data, int length);

private:
    SharedState& state_;
    WorkerScope& worker_;
    bool both_pools_;
    bool pacing_;
    int32_t bar_max_;
    std::string accumulation_;
};

// The reader side of an output thread: its slot in the selected source pool.
class OutputSlot {
public:
    // Adds an enabled reader to `pool`, retrying until one is given or a stop
    // is requested (then `valid()` is false).
    OutputSlot(CharPool& pool, WorkerScope& worker);
    ~OutputSlot();
    OutputSlot(const OutputSlot&) = delete;
    OutputSlot& operator=(const OutputSlot&) = delete;

    bool valid() const { return slot_ >= 0; }
    // Reads what waits for this slot into `buffer` (CharPool::kBufferSize
    // bytes), retrying while the pool refuses. When nothing waits it waits
    // for data up to `wait_ms` (so an idle output sleeps instead of polling)
    // and returns 0 if none came.
    int Read(char* buffer, int wait_ms = kIdleWaitMs);
    // True once after the reader lost bytes (shown in the log with the
    // worker's name); a stream output may then drop its client.
    bool TakeLoss() {
        const bool lost = lost_;
        lost_ = false;
        return lost;
    }

    static constexpr int kIdleWaitMs = 100;

private:
    CharPool& pool_;
    WorkerScope& worker_;
    int slot_ = -1;
    bool lost_ = false;
};

// Adds `n` sent bytes to an output's bar and watch counters; the bar starts
// again at 0 when it reaches `bar_max`.
void CountOutput(SharedState& state, OutputKind kind, int n, int32_t bar_max);

// Waits (1 ms steps, stop-aware, at most `max_ms`) until every reader slot of
// every pool is empty and has stayed empty for `quiet_ms`. Returns true when
// drained.
bool WaitForReadersDrained(SharedState& state, WorkerScope& worker, int max_ms, int quiet_ms);

}  // namespace zerlan
