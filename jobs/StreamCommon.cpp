#include "jobs/StreamCommon.h"

#include <algorithm>
#include <cstdlib>

#include "core/PacedWrite.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "supervision/Protocol.h"

namespace zerlan {

namespace {
int32_t ToInt(const std::string& text) { return static_cast<int32_t>(std::atol(text.c_str())); }
}  // namespace

CharWatchLimits InputWatchLimits(const Settings& s) {
    CharWatchLimits l;
    l.time_unit = ToInt(s.seb.input_s);
    l.minimum = ToInt(s.miz.input_limit);
    l.low_title = s.miz.input_title;
    l.minimum_duration = ToInt(s.miz.input_duration_s);
    l.maximum = ToInt(s.maz.input_limit);
    l.high_title = s.maz.input_title;
    l.maximum_duration = ToInt(s.maz.input_duration_s);
    return l;
}

CharWatchLimits OutputWatchLimits(const Settings& s) {
    CharWatchLimits l;
    l.time_unit = ToInt(s.seb.output_s);
    l.minimum = ToInt(s.miz.output_limit);
    l.low_title = s.miz.output_title;
    l.minimum_duration = ToInt(s.miz.output_duration_s);
    l.maximum = ToInt(s.maz.output_limit);
    l.high_title = s.maz.output_title;
    l.maximum_duration = ToInt(s.maz.output_duration_s);
    return l;
}

std::string ProtocolFileOf(const Settings& settings) {
    return settings.protocol_file.empty() ? kDefaultProtocolFile : settings.protocol_file;
}

int NextRetryWait(int wait_ms, int max_ms) {
    return std::max(1, std::min(max_ms, wait_ms > max_ms / 2 ? max_ms : wait_ms * 2));
}

bool IsAlarm(int r) { return r == CharWatch::kTooFew || r == CharWatch::kTooMany; }

InputDelivery::InputDelivery(SharedState& state, WorkerScope& worker, bool both_pools, bool pacing)
    : state_(state),
      worker_(worker),
      both_pools_(both_pools),
      pacing_(pacing),
      bar_max_(ToInt(state.settings.maz.input_limit)) {
    accumulation_.reserve(kDisplayEvery + 2100);
}

void InputDelivery::Reset() {
    accumulation_.clear();
    state_.input_bar_count = 0;
    state_.pool_total = 0;
}

bool InputDelivery::Deliver(const char* data, int length) {
    if (length <= 0) return true;
    StopQuery stop = [this] { return worker_.StopRequested(); };
    if (both_pools_ && PacedWrite(state_.input_pool_b, data, length, pacing_, stop) < 0) return false;
    const int written = PacedWrite(state_.input_pool_a, data, length, pacing_, stop);
    if (written < 0) return false;
    state_.input_bar_count.fetch_add(length);
    state_.input_total.fetch_add(length);
    state_.input_bytes.fetch_add(length);
    state_.pool_total.fetch_add(written);
    accumulation_.append(data, static_cast<size_t>(length));
    if (accumulation_.size() >= static_cast<size_t>(kDisplayEvery)) {
        state_.ShowReceivedText(accumulation_ + "\r\n");
        accumulation_.clear();
    }
    if (bar_max_ > 0 && state_.input_bar_count.load() >= bar_max_) state_.input_bar_count = 0;
    state_.Post(msg::kInputBar);
    return true;
}

OutputSlot::OutputSlot(CharPool& pool, WorkerScope& worker) : pool_(pool), worker_(worker) {
    while (!worker_.StopRequested()) {
        slot_ = pool_.AddEnabledReader();
        if (slot_ >= 0) break;
        Sleep(1);
    }
}

OutputSlot::~OutputSlot() {
    if (slot_ < 0) return;
    // A refused removal is retried; the pool never refuses for long.
    for (int tries = 0; tries < 5000 && pool_.RemoveReader(slot_) < 0; ++tries) Sleep(1);
}

int OutputSlot::Read(char* buffer, int wait_ms) {
    if (slot_ < 0) return 0;
    int n;
    if (wait_ms > 0) {
        n = pool_.WaitAndRead(buffer, slot_, wait_ms);
    } else {
        while ((n = pool_.Read(buffer, slot_)) < 0) {
            if (worker_.StopRequested()) return 0;
            Sleep(1);
        }
    }
    if (pool_.HasLost(slot_)) {
        pool_.ReportLoss(worker_.name(), pool_.TakeLost(slot_));
        lost_ = true;
    }
    return n;
}

void CountOutput(SharedState& state, OutputKind kind, int n, int32_t bar_max) {
    const int k = static_cast<int>(kind);
    state.output_watch[k].fetch_add(n);
    state.output_bytes[k].fetch_add(n);
    const int32_t bar = state.output_bar[k].fetch_add(n) + n;
    if (bar_max > 0 && bar >= bar_max) state.output_bar[k].store(0);
}

namespace {
// Bytes waiting in all reader slots of a pool; -1 while the pool refuses.
int PendingBytes(CharPool& pool) {
    const int slots = pool.SlotCount();
    if (slots < 0) return -1;
    int total = 0;
    for (int slot = 0; slot < slots; ++slot) {
        const int fill = pool.Fill(slot);
        if (fill < 0) return -1;
        total += fill;
    }
    return total;
}
}  // namespace

bool WaitForReadersDrained(SharedState& state, WorkerScope& worker, int max_ms, int quiet_ms) {
    CharPool* pools[] = {&state.input_pool_a,         &state.input_pool_b,        &state.rtcm_encoder_pool,
                         &state.decoded_text_pool,    &state.encoder_data_pool_a, &state.encoder_data_pool_b,
                         &state.rinex_pool};
    Clock& clock = Clock::Get();
    const int64_t start = clock.MonotonicMs();
    int64_t empty_since = -1;
    while (!worker.StopRequested()) {
        const int64_t now = clock.MonotonicMs();
        bool empty = true;
        for (CharPool* pool : pools) {
            if (PendingBytes(*pool) != 0) {
                empty = false;
                break;
            }
        }
        if (!empty) {
            empty_since = -1;
        } else if (empty_since < 0) {
            empty_since = now;
        } else if (now - empty_since >= quiet_ms) {
            return true;
        }
        if (now - start >= max_ms) return false;
        Sleep(1);
    }
    return false;
}

}  // namespace zerlan
