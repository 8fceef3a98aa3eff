#include "core/CharPool.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

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
    : registry_(registry), readers_(std::make_unique<Reader[]>(kSlots)) {
    for (auto& flag : enabled_) flag.store(1);
    buffer_index_.fill(-1);
    int16_t woken[kSlots];
    std::lock_guard<std::mutex> lock(mutex_);
    for (int f = kAdding; f <= kRemoving; ++f) busy_[f].store(1);
    PremakeLocked(initial_slots, woken);
    for (auto& f : busy_) f.store(0);
}

CharPool::~CharPool() = default;

bool CharPool::StopPending() const { return registry_ != nullptr && registry_->StopRequested(); }

int CharPool::ClearLocked(int16_t* woken) {
    int count = 0;
    for (int i = 0; i < kSlots; ++i) {
        Reader& r = readers_[i];
        std::lock_guard<std::mutex> reader(r.lock);
        r.Release();
        r.pos.store(0);
        r.last_read_ms.store(0);
        in_use_[i] = 0;
        buffer_index_[i] = -1;
        user_value_[i] = 0;
        if (TakeSleeper(i)) woken[count++] = static_cast<int16_t>(i);
    }
    slot_count_ = 0;
    lines_ = false;
    return count;
}

bool CharPool::EnsureRingLocked() {
    const size_t window = default_window_.load();
    if (ring_ && window_ == window) return true;
    for (int slot = 0; ring_ && slot < slot_count_; ++slot) {
        if (buffer_index_[slot] >= 0) return true;  // in use: a pool keeps its window
    }
    ring_.reset(new (std::nothrow) char[window]);
    window_ = ring_ ? window : 0;
    head_.store(0);
    return ring_ != nullptr;
}

bool CharPool::OpenReaderLocked(int slot, int buffer, int64_t now) {
    Reader& r = readers_[slot];
    std::lock_guard<std::mutex> reader(r.lock);
    try {
        r.own.reserve(kBufferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    r.own.clear();
    r.own_size.store(0);
    in_use_[buffer] = 1;
    buffer_index_[slot] = buffer;
    r.last_read_ms.store(now);
    r.pos.store(head_.load());  // a new reader starts with the next block
    r.lost = 0;
    r.lost_flag.store(false);
    r.hot = false;
    return true;
}

int CharPool::PremakeLocked(int slots, int16_t* woken) {
    if (slots < 0 || slots > kMaxReaders) slots = 0;
    const int count = ClearLocked(woken);
    if (slots > 0 && !EnsureRingLocked()) return count;
    const int64_t now = Clock::Get().MonotonicMs();
    for (int slot = 0; slot < slots; ++slot) {
        // Out of memory: keep the readers that were made, so that the slot
        // count never names a slot without a reader.
        if (!OpenReaderLocked(slot, slot, now)) break;
        slot_count_ = slot + 1;
    }
    return count;
}

void CharPool::Reset(int slots) {
    int16_t woken[kSlots];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& f : busy_) f.store(1);
        count = PremakeLocked(slots, woken);
        for (auto& f : busy_) f.store(0);
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
        Reader& r = readers_[slot];
        std::lock_guard<std::mutex> reader(r.lock);
        const int buffer = buffer_index_[slot];
        // Removing twice must not free a reader that another thread got since.
        if (buffer < 0) return 0;
        in_use_[buffer] = 0;
        buffer_index_[slot] = -1;
        r.Release();
        enabled_[slot].store(1);
        if (TakeSleeper(slot)) woken[count++] = static_cast<int16_t>(slot);
    }
    Notify(woken, count);
    return 0;
}

uint64_t CharPool::Waiting(const Reader& r) const {
    const uint64_t pos = r.pos.load(std::memory_order_acquire);
    const uint64_t head = head_.load(std::memory_order_seq_cst);
    // A text reader moved on to a line start inside a block not yet published
    // stands ahead of the head for a moment.
    const uint64_t ring = head > pos ? std::min<uint64_t>(head - pos, window_) : 0;
    return static_cast<uint64_t>(r.own_size.load(std::memory_order_relaxed)) + ring;
}

void CharPool::Notify(const int16_t* woken, int count) {
    for (int i = 0; i < count; ++i) {
        Reader& r = readers_[woken[i]];
        // The reader looked for data under its lock before it slept: once we
        // hold the lock it is inside its wait and the signal cannot be lost.
        { std::lock_guard<std::mutex> reader(r.lock); }
        r.wake.notify_one();
    }
}

void CharPool::DropBehindLocked(int slot, uint64_t keep_from, const char* bytes, int length) {
    Reader& r = readers_[slot];
    std::lock_guard<std::mutex> reader(r.lock);
    const uint64_t pos = r.pos.load(std::memory_order_relaxed);
    if (pos >= keep_from) return;  // it took its bytes meanwhile
    const uint64_t head = head_.load(std::memory_order_relaxed);
    const uint64_t end = head + static_cast<uint64_t>(length);
    uint64_t next = keep_from;
    if (lines_) {
        // Decoded text: never hand out the rest of a line whose start is gone.
        auto byte_at = [&](uint64_t p) { return p < head ? ring_[p % window_] : bytes[p - head]; };
        while (next < end && byte_at(next) != '\n') ++next;
        if (next < end) ++next;
    }
    r.lost += static_cast<int64_t>(next - pos);
    r.pos.store(next, std::memory_order_release);
    r.lost_flag.store(true, std::memory_order_release);
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
        const uint64_t head = head_.load(std::memory_order_relaxed);
        const uint64_t end = head + static_cast<uint64_t>(length);
        // The block overwrites the oldest bytes: their readers lose them first.
        if (end > window_) {
            const uint64_t keep_from = end - window_;
            for (int slot = 0; slot < slot_count_; ++slot) {
                if (buffer_index_[slot] >= 0 && readers_[slot].pos.load(std::memory_order_acquire) < keep_from) {
                    DropBehindLocked(slot, keep_from, bytes, length);
                }
            }
        }
        // One copy, into the ring.
        const size_t at = static_cast<size_t>(head % window_);
        const size_t first = std::min(static_cast<size_t>(length), window_ - at);
        std::memcpy(ring_.get() + at, bytes, first);
        std::memcpy(ring_.get(), bytes + first, static_cast<size_t>(length) - first);
        // Disabled readers do not receive the block.
        if (only_enabled) {
            for (int slot = 0; slot < slot_count_; ++slot) {
                if (buffer_index_[slot] >= 0 && enabled_[slot].load(std::memory_order_relaxed) != 1) {
                    Reader& r = readers_[slot];
                    std::lock_guard<std::mutex> reader(r.lock);
                    r.pos.store(end, std::memory_order_release);
                }
            }
        }
        // Published before the sleepers are looked at, and a reader says it
        // sleeps before it looks at the head: one of the two sees the other.
        head_.store(end, std::memory_order_seq_cst);
        for (int slot = 0; slot < slot_count_; ++slot) {
            if (buffer_index_[slot] >= 0 && TakeSleeper(slot)) woken[count++] = static_cast<int16_t>(slot);
        }
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
        if (buffer_index_[slot] < 0 || enabled_[slot].load(std::memory_order_relaxed) != 1) return 0;
        Reader& r = readers_[slot];
        std::lock_guard<std::mutex> reader(r.lock);
        std::string& own = r.own;
        if (static_cast<int>(own.size()) >= kTrimThreshold) own.erase(0, std::min(own.size(), static_cast<size_t>(length)));
        own.append(bytes, static_cast<size_t>(length));
        r.own_size.store(static_cast<int32_t>(own.size()), std::memory_order_relaxed);
        if (TakeSleeper(slot)) woken[count++] = static_cast<int16_t>(slot);
    }
    Notify(woken, count);
    return length;
}

int CharPool::Read(char* dest, int slot) {
    if (!ValidSlot(slot) || dest == nullptr) return 0;
    const int64_t now = Clock::Get().MonotonicMs();
    std::lock_guard<std::mutex> lock(readers_[slot].lock);
    return ReadLocked(dest, slot, now);
}

int CharPool::ReadLocked(char* dest, int slot, int64_t now) {
    if (buffer_index_[slot] < 0) return 0;
    Reader& r = readers_[slot];
    r.last_read_ms.store(now, std::memory_order_relaxed);
    size_t copied = std::min(r.own.size(), static_cast<size_t>(kBufferSize));
    if (copied > 0) {
        std::memcpy(dest, r.own.data(), copied);
        r.own.erase(0, copied);
        r.own_size.store(static_cast<int32_t>(r.own.size()), std::memory_order_relaxed);
    }
    if (ring_ && copied < static_cast<size_t>(kBufferSize)) {
        // Only a writer holding our lock moves `pos`, and it moves us on
        // before it overwrites what we have not taken: the bytes up to the
        // head stay put while we copy them without the pool lock.
        const uint64_t pos = r.pos.load(std::memory_order_relaxed);
        const uint64_t head = head_.load(std::memory_order_acquire);
        if (head > pos) {
            const size_t take =
                static_cast<size_t>(std::min<uint64_t>(head - pos, static_cast<uint64_t>(kBufferSize) - copied));
            const size_t at = static_cast<size_t>(pos % window_);
            const size_t first = std::min(take, window_ - at);
            std::memcpy(dest + copied, ring_.get() + at, first);
            std::memcpy(dest + copied + first, ring_.get(), take - first);
            r.pos.store(pos + take, std::memory_order_release);
            copied += take;
        }
    }
    return static_cast<int>(copied);
}

uint64_t CharPool::WaitLocked(std::unique_lock<std::mutex>& lock, int slot, int timeout_ms) {
    Reader& r = readers_[slot];
    if (buffer_index_[slot] < 0) return 0;
    uint64_t n = Waiting(r);
    if (n > 0 || timeout_ms <= 0 || StopPending()) return n;
    if (r.hot) {
        // Blocks come faster than a sleep and a wake-up cost: let the writer
        // run once before we sleep. Only while they come that fast, so an
        // idle or slow stream never pays for it.
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
        if (buffer_index_[slot] < 0) return 0;
        if ((n = Waiting(r)) > 0) return n;
    }
    // Bounded: the stop switch does not notify, so the wait must end by itself.
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeout_ms);
    while (true) {
        r.asleep.store(true, std::memory_order_seq_cst);
        n = Waiting(r);
        if (n > 0) {
            r.asleep.store(false, std::memory_order_relaxed);
            return n;
        }
        const bool timed_out = r.wake.wait_until(lock, deadline) == std::cv_status::timeout;
        r.asleep.store(false, std::memory_order_relaxed);
        if (buffer_index_[slot] < 0) return 0;
        n = Waiting(r);
        r.hot = n > 0 && std::chrono::steady_clock::now() - start < kHotGap;
        if (n > 0 || timed_out || StopPending()) return n;
    }
}

int CharPool::WaitForData(int slot, int timeout_ms) {
    if (!ValidSlot(slot)) return 0;
    std::unique_lock<std::mutex> lock(readers_[slot].lock);
    return static_cast<int>(std::min<uint64_t>(WaitLocked(lock, slot, timeout_ms), INT32_MAX));
}

int CharPool::WaitAndRead(char* dest, int slot, int timeout_ms) {
    if (!ValidSlot(slot) || dest == nullptr) return 0;
    std::unique_lock<std::mutex> lock(readers_[slot].lock);
    if (WaitLocked(lock, slot, timeout_ms) == 0) return 0;
    return ReadLocked(dest, slot, Clock::Get().MonotonicMs());
}

int64_t CharPool::TakeLost(int slot) {
    if (!ValidSlot(slot)) return 0;
    Reader& r = readers_[slot];
    std::lock_guard<std::mutex> lock(r.lock);
    if (buffer_index_[slot] < 0) return 0;
    const int64_t lost = r.lost;
    r.lost = 0;
    r.lost_flag.store(false, std::memory_order_release);
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
    if (buffer_index_[slot] < 0) return 0;
    return static_cast<int>(std::min<uint64_t>(Waiting(readers_[slot]), INT32_MAX));
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
        if (buffer_index_[slot] < 0 || enabled_[slot].load(std::memory_order_relaxed) != 1) continue;
        const Reader& r = readers_[slot];
        if (now - r.last_read_ms.load(std::memory_order_relaxed) > within_ms) continue;
        largest = std::max(largest, static_cast<int>(std::min<uint64_t>(Waiting(r), INT32_MAX)));
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
