#include "core/CharPool.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/ThreadRegistry.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace zerlan {

namespace {

// Raises a set of busy flags for the lifetime of the guard; the caller holds
// the pool lock, so the flags always come down before the lock is released.
class FlagGuard {
public:
    explicit FlagGuard(std::atomic<int32_t>& flag) : flag_(flag) { flag_.store(1, std::memory_order_release); }
    ~FlagGuard() { flag_.store(0, std::memory_order_release); }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    std::atomic<int32_t>& flag_;
};

}  // namespace

std::atomic<size_t> CharPool::default_window_{CharPool::kDefaultWindow};

void CharPool::SetDefaultWindow(size_t bytes) { default_window_.store(std::max(bytes, kMinWindow)); }
size_t CharPool::DefaultWindow() { return default_window_.load(); }

CharPool::CharPool(ThreadRegistry* registry, int initial_slots)
    : registry_(registry), wake_(std::make_unique<std::condition_variable[]>(kSlots)) {
    for (auto& flag : enabled_) flag.store(1);
    std::lock_guard<std::mutex> lock(mutex_);
    for (int f = kAdding; f <= kRemoving; ++f) busy_[f].store(1);
    PremakeLocked(initial_slots);
    for (auto& f : busy_) f.store(0);
}

CharPool::~CharPool() = default;

bool CharPool::StopPending() const { return registry_ != nullptr && registry_->StopRequested(); }

void CharPool::ClearLocked() {
    for (int i = 0; i < kSlots; ++i) {
        own_[i] = std::string();
        in_use_[i] = 0;
        buffer_index_[i] = -1;
        user_value_[i] = 0;
        last_read_ms_[i] = 0;
        pos_[i] = 0;
        lost_[i] = 0;
        lost_flag_[i].store(0);
    }
    slot_count_ = 0;
    head_ = 0;
    lines_ = false;
}

bool CharPool::EnsureRingLocked() {
    const size_t window = default_window_.load();
    if (ring_ && window_ == window) return true;
    ring_.reset(new (std::nothrow) char[window]);
    window_ = ring_ ? window : 0;
    head_ = 0;
    return ring_ != nullptr;
}

bool CharPool::OpenReaderLocked(int slot, int buffer, int64_t now) {
    std::string& own = own_[buffer];
    try {
        own.reserve(kBufferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    own.clear();
    in_use_[buffer] = 1;
    buffer_index_[slot] = buffer;
    last_read_ms_[slot] = now;
    pos_[slot] = head_;  // a new reader starts with the next block
    lost_[slot] = 0;
    lost_flag_[slot].store(0);
    return true;
}

void CharPool::PremakeLocked(int slots) {
    if (slots < 0 || slots > kMaxReaders) slots = 0;
    ClearLocked();
    if (slots > 0 && !EnsureRingLocked()) return;
    const int64_t now = Clock::Get().MonotonicMs();
    for (int slot = 0; slot < slots; ++slot) {
        // Out of memory: keep the readers that were made, so that the slot
        // count never names a slot without a reader.
        if (!OpenReaderLocked(slot, slot, now)) break;
        slot_count_ = slot + 1;
    }
}

void CharPool::Reset(int slots) {
    int16_t woken[kSlots];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& f : busy_) f.store(1);
        PremakeLocked(slots);
        for (auto& f : busy_) f.store(0);
        count = TakeWaitersLocked(-1, woken);
    }
    Notify(woken, count);
}

int CharPool::AddReader(int enabled) {
    if (Busy(kAdding) || Busy(kReading) || Busy(kWriting) || Busy(kRemoving)) return -1;
    // A thread that starts while the job stops would leave a slot nobody frees.
    if (StopPending()) return -1;
    const int64_t now = Clock::Get().MonotonicMs();
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard adding(busy_[kAdding]);

    int buffer = -1;
    for (int b = 0; b < kSlots; ++b) {
        if (in_use_[b] == 0) {
            buffer = b;
            break;
        }
    }
    if (buffer < 0) return -1;

    int slot = -1;
    for (int s = 0; s < slot_count_; ++s) {
        if (buffer_index_[s] == -1) {
            slot = s;
            break;
        }
    }
    if (slot < 0) {
        if (slot_count_ >= kMaxReaders) return -1;
        slot = slot_count_;
    }
    if (!EnsureRingLocked() || !OpenReaderLocked(slot, buffer, now)) return -1;
    enabled_[slot].store(enabled > 0 ? 1 : 0);
    if (slot == slot_count_) ++slot_count_;
    return slot;
}

int CharPool::RemoveReader(int slot) {
    if (Busy(kAdding) || Busy(kReading) || Busy(kWriting)) return -1;
    if (!ValidSlot(slot)) return -1;
    int16_t woken[1];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        FlagGuard removing(busy_[kRemoving]);
        const int buffer = buffer_index_[slot];
        // Removing twice must not free a reader that another thread got since.
        if (buffer < 0) return 0;
        in_use_[buffer] = 0;
        own_[buffer] = std::string();
        buffer_index_[slot] = -1;
        lost_[slot] = 0;
        lost_flag_[slot].store(0);
        enabled_[slot].store(1);
        count = TakeWaitersLocked(slot, woken);
    }
    Notify(woken, count);
    return 0;
}

uint64_t CharPool::RingWaitingLocked(int slot) {
    uint64_t waiting = head_ - pos_[slot];
    if (waiting <= window_) return waiting;
    // Overwritten: the reader goes on with the oldest bytes the ring holds.
    uint64_t lost = waiting - window_;
    pos_[slot] = head_ - window_;
    if (lines_) {
        // Decoded text: never hand out the rest of a line whose start is gone.
        while (pos_[slot] < head_ && ring_[pos_[slot] % window_] != '\n') {
            ++pos_[slot];
            ++lost;
        }
        if (pos_[slot] < head_) {
            ++pos_[slot];
            ++lost;
        }
    }
    lost_[slot] += static_cast<int64_t>(lost);
    lost_flag_[slot].store(1, std::memory_order_release);
    return head_ - pos_[slot];
}

void CharPool::AppendOwnLocked(int buffer, const char* bytes, int length) {
    std::string& own = own_[buffer];
    if (static_cast<int>(own.size()) >= kTrimThreshold) own.erase(0, std::min(own.size(), static_cast<size_t>(length)));
    own.append(bytes, static_cast<size_t>(length));
}

int CharPool::TakeWaitersLocked(int slot, int16_t* woken) {
    if (slot >= 0) {
        if (!waiting_[slot]) return 0;
        waiting_[slot] = false;
        woken[0] = static_cast<int16_t>(slot);
        return 1;
    }
    int count = 0;
    for (int i = 0; i < wait_count_; ++i) {
        const int s = wait_list_[i];
        listed_[s] = false;
        if (waiting_[s]) {
            waiting_[s] = false;
            woken[count++] = static_cast<int16_t>(s);
        }
    }
    wait_count_ = 0;
    return count;
}

void CharPool::Notify(const int16_t* woken, int count) {
    for (int i = 0; i < count; ++i) wake_[woken[i]].notify_one();
}

int CharPool::BroadcastWrite(const char* bytes, int length, int limit, bool only_enabled, Trim trim) {
    if (Busy(kReading) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (length < 0 || length > limit || (bytes == nullptr && length > 0)) return -1;
    int served = 0;
    int16_t woken[kSlots];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        FlagGuard writing(busy_[kWriting]);
        for (int slot = 0; slot < slot_count_; ++slot) {
            if (buffer_index_[slot] < 0) continue;
            if (!only_enabled || enabled_[slot].load(std::memory_order_relaxed) == 1) ++served;
        }
        if (served == 0 || length == 0 || !ring_) return 0;
        if (trim == Trim::kLines) lines_ = true;
        // One copy, into the ring.
        const size_t at = static_cast<size_t>(head_ % window_);
        const size_t first = std::min(static_cast<size_t>(length), window_ - at);
        std::memcpy(ring_.get() + at, bytes, first);
        std::memcpy(ring_.get(), bytes + first, static_cast<size_t>(length) - first);
        head_ += static_cast<uint64_t>(length);
        // Disabled readers do not receive the block.
        if (only_enabled) {
            for (int slot = 0; slot < slot_count_; ++slot) {
                if (buffer_index_[slot] >= 0 && enabled_[slot].load(std::memory_order_relaxed) != 1) {
                    pos_[slot] = head_;
                }
            }
        }
        count = TakeWaitersLocked(-1, woken);
    }
    Notify(woken, count);
    return length;
}

int CharPool::Write(const char* bytes, int length) {
    return BroadcastWrite(bytes, length, kBroadcastLimit, true, Trim::kBlock);
}

int CharPool::WriteAll(const char* bytes, int length) {
    return BroadcastWrite(bytes, length, kSingleLimit, false, Trim::kBlock);
}

int CharPool::WriteLines(const char* text, int length) {
    return BroadcastWrite(text, length, kSingleLimit, true, Trim::kLines);
}

int CharPool::WriteSlot(const char* bytes, int length, int slot) {
    if (Busy(kReading) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (length < 0 || length > kSingleLimit || (bytes == nullptr && length > 0)) return -1;
    if (!ValidSlot(slot)) return 0;
    int16_t woken[1];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        FlagGuard writing(busy_[kWriting]);
        const int buffer = buffer_index_[slot];
        if (buffer < 0 || enabled_[slot].load(std::memory_order_relaxed) != 1) return 0;
        AppendOwnLocked(buffer, bytes, length);
        count = TakeWaitersLocked(slot, woken);
    }
    Notify(woken, count);
    return length;
}

int CharPool::Read(char* dest, int slot) {
    if (Busy(kWriting) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (!ValidSlot(slot) || dest == nullptr) return 0;
    const int64_t now = Clock::Get().MonotonicMs();
    std::lock_guard<std::mutex> lock(mutex_);
    return ReadLocked(dest, slot, now);
}

int CharPool::ReadLocked(char* dest, int slot, int64_t now) {
    FlagGuard reading(busy_[kReading]);
    const int buffer = buffer_index_[slot];
    if (buffer < 0 || in_use_[buffer] == 0) return 0;
    last_read_ms_[slot] = now;
    std::string& own = own_[buffer];
    size_t copied = std::min(own.size(), static_cast<size_t>(kBufferSize));
    std::memcpy(dest, own.data(), copied);
    own.erase(0, copied);
    if (ring_ && copied < static_cast<size_t>(kBufferSize)) {
        const size_t take = static_cast<size_t>(
            std::min<uint64_t>(RingWaitingLocked(slot), static_cast<uint64_t>(kBufferSize) - copied));
        const size_t at = static_cast<size_t>(pos_[slot] % window_);
        const size_t first = std::min(take, window_ - at);
        std::memcpy(dest + copied, ring_.get() + at, first);
        std::memcpy(dest + copied + first, ring_.get(), take - first);
        pos_[slot] += take;
        copied += take;
    }
    return static_cast<int>(copied);
}

uint64_t CharPool::WaitLocked(std::unique_lock<std::mutex>& lock, int slot, int timeout_ms) {
    auto waiting = [&]() -> uint64_t {
        const int buffer = buffer_index_[slot];
        if (buffer < 0) return 0;
        return own_[buffer].size() + (ring_ ? std::min<uint64_t>(head_ - pos_[slot], window_) : 0);
    };
    uint64_t n = waiting();
    if (n > 0 || timeout_ms <= 0 || buffer_index_[slot] < 0 || StopPending()) return n;
    // Bounded: the stop switch does not notify, so the wait must end by itself.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        waiting_[slot] = true;
        if (!listed_[slot]) {
            listed_[slot] = true;
            wait_list_[wait_count_++] = static_cast<int16_t>(slot);
        }
        const bool timed_out = wake_[slot].wait_until(lock, deadline) == std::cv_status::timeout;
        waiting_[slot] = false;
        n = waiting();
        if (n > 0 || timed_out || buffer_index_[slot] < 0 || StopPending()) return n;
    }
}

int CharPool::WaitForData(int slot, int timeout_ms) {
    if (!ValidSlot(slot)) return 0;
    std::unique_lock<std::mutex> lock(mutex_);
    return static_cast<int>(std::min<uint64_t>(WaitLocked(lock, slot, timeout_ms), INT32_MAX));
}

int CharPool::WaitAndRead(char* dest, int slot, int timeout_ms) {
    if (!ValidSlot(slot) || dest == nullptr) return 0;
    std::unique_lock<std::mutex> lock(mutex_);
    if (WaitLocked(lock, slot, timeout_ms) == 0) return 0;
    return ReadLocked(dest, slot, Clock::Get().MonotonicMs());
}

bool CharPool::Overrun(int slot) {
    if (!ValidSlot(slot)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return buffer_index_[slot] >= 0 && ring_ && head_ - pos_[slot] > window_;
}

int64_t CharPool::TakeLost(int slot) {
    if (!ValidSlot(slot)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (buffer_index_[slot] < 0) return 0;
    if (ring_) RingWaitingLocked(slot);
    const int64_t lost = lost_[slot];
    lost_[slot] = 0;
    lost_flag_[slot].store(0, std::memory_order_release);
    return lost;
}

int CharPool::SlotCount() {
    if (Busy(kWriting) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (StopPending()) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard reading(busy_[kReading]);
    return slot_count_;
}

int CharPool::Fill(int slot) {
    if (Busy(kWriting) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (StopPending()) return 0;
    if (!ValidSlot(slot)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard reading(busy_[kReading]);
    const int buffer = buffer_index_[slot];
    if (buffer < 0) return 0;
    const uint64_t waiting = own_[buffer].size() + (ring_ ? std::min<uint64_t>(head_ - pos_[slot], window_) : 0);
    return static_cast<int>(std::min<uint64_t>(waiting, INT32_MAX));
}

int CharPool::SlotBuffer(int slot) {
    if (!ValidSlot(slot)) return -1;
    if (StopPending()) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    return buffer_index_[slot];
}

int CharPool::SetUserValue(int value, int slot) {
    if (Busy(kUserGet)) return -1;
    if (!ValidSlot(slot)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard user_set(busy_[kUserSet]);
    user_value_[slot] = value;
    return 0;
}

int CharPool::AddUserValue(int value, int slot) {
    if (Busy(kUserGet)) return -1;
    if (!ValidSlot(slot)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard user_set(busy_[kUserSet]);
    // Wraps like the 32-bit counter it always was, without signed overflow.
    user_value_[slot] = static_cast<int32_t>(static_cast<uint32_t>(user_value_[slot]) + static_cast<uint32_t>(value));
    return 0;
}

int CharPool::GetUserValue(int slot) {
    if (Busy(kUserSet)) return -1;
    if (!ValidSlot(slot)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard user_get(busy_[kUserGet]);
    return user_value_[slot];
}

void CharPool::SetEnabled(int slot, int flag) {
    if (!ValidSlot(slot)) return;
    enabled_[slot].store(flag);
}

int CharPool::MaxActiveFill(int64_t within_ms) {
    const int64_t now = Clock::Get().MonotonicMs();
    std::lock_guard<std::mutex> lock(mutex_);
    int largest = 0;
    for (int slot = 0; slot < slot_count_; ++slot) {
        const int buffer = buffer_index_[slot];
        if (buffer < 0 || enabled_[slot].load(std::memory_order_relaxed) != 1) continue;
        if (now - last_read_ms_[slot] > within_ms) continue;
        const uint64_t waiting = own_[buffer].size() + (ring_ ? std::min<uint64_t>(head_ - pos_[slot], window_) : 0);
        largest = std::max(largest, static_cast<int>(std::min<uint64_t>(waiting, INT32_MAX)));
    }
    return largest;
}

int CharPool::AppendDebugText(const char* text) { return AppendTextToFile(".\\Debug.dat", text); }

int CharPool::AppendTextToFile(const char* path, const char* text) {
    if (path == nullptr || text == nullptr) return 0;
    FILE* file = std::fopen(MapPath(path).c_str(), "a");
    if (file == nullptr) return 0;
    std::fprintf(file, "%s", text);
    std::fclose(file);
    return 1;
}

}  // namespace zerlan
