#include "core/CharPool.h"

#include <algorithm>
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

CharPool::CharPool(ThreadRegistry* registry, int initial_slots) : registry_(registry) {
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
        data_[i].reset();
        fill_[i] = 0;
        in_use_[i] = 0;
        buffer_index_[i] = -1;
        user_value_[i] = 0;
        last_read_ms_[i] = 0;
    }
    slot_count_ = 0;
}

void CharPool::PremakeLocked(int slots) {
    if (slots < 0 || slots > kMaxReaders) slots = 0;
    ClearLocked();
    const int64_t now = Clock::Get().MonotonicMs();
    for (int slot = 0; slot < slots; ++slot) {
        data_[slot].reset(new (std::nothrow) char[kBufferSize]);
        // Out of memory: keep the readers that were made, so that the slot
        // count never names a slot without a buffer.
        if (!data_[slot]) break;
        data_[slot][0] = 0;
        buffer_index_[slot] = slot;
        in_use_[slot] = 1;
        last_read_ms_[slot] = now;
        slot_count_ = slot + 1;
    }
}

void CharPool::Reset(int slots) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& f : busy_) f.store(1);
    PremakeLocked(slots);
    for (auto& f : busy_) f.store(0);
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

    data_[buffer].reset(new (std::nothrow) char[kBufferSize]);
    if (!data_[buffer]) return -1;
    data_[buffer][0] = 0;
    in_use_[buffer] = 1;
    fill_[buffer] = 0;
    buffer_index_[slot] = buffer;
    last_read_ms_[slot] = now;
    enabled_[slot].store(enabled > 0 ? 1 : 0);
    if (slot == slot_count_) ++slot_count_;
    return slot;
}

int CharPool::RemoveReader(int slot) {
    if (Busy(kAdding) || Busy(kReading) || Busy(kWriting)) return -1;
    if (!ValidSlot(slot)) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard removing(busy_[kRemoving]);
    const int buffer = buffer_index_[slot];
    // Removing twice must not free a buffer that another reader got since.
    if (buffer < 0) return 0;
    in_use_[buffer] = 0;
    fill_[buffer] = 0;
    data_[buffer].reset();
    buffer_index_[slot] = -1;
    enabled_[slot].store(1);
    return 0;
}

void CharPool::AppendLocked(int buffer, const char* bytes, int length, Trim trim) {
    char* data = data_[buffer].get();
    int fill = fill_[buffer];
    if (fill >= kTrimThreshold) {
        int drop = length;
        if (trim == Trim::kLines) {
            // Keep whole lines: cut after the first line feed that leaves fewer
            // than kTrimThreshold bytes. Without one, drop enough that the
            // block still fits the buffer.
            const int from = fill - kTrimThreshold;
            const void* lf = std::memchr(data + from, '\n', static_cast<size_t>(fill - from));
            if (lf != nullptr) {
                drop = static_cast<int>(static_cast<const char*>(lf) - data) + 1;
            } else {
                drop = std::max(kLineTrimFallback, fill - (kTrimThreshold - 1));
            }
        }
        std::memmove(data, data + drop, static_cast<size_t>(fill - drop));
        fill -= drop;
        data[fill] = 0;
    }
    std::memcpy(data + fill, bytes, static_cast<size_t>(length));
    fill_[buffer] = fill + length;
}

int CharPool::BroadcastWrite(const char* bytes, int length, int limit, bool only_enabled, Trim trim) {
    if (Busy(kReading) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (length < 0 || length > limit || (bytes == nullptr && length > 0)) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard writing(busy_[kWriting]);
    int served = 0;
    for (int slot = 0; slot < slot_count_; ++slot) {
        const int buffer = buffer_index_[slot];
        if (buffer < 0) continue;
        if (only_enabled && enabled_[slot].load(std::memory_order_relaxed) != 1) continue;
        AppendLocked(buffer, bytes, length, trim);
        ++served;
    }
    return served > 0 ? length : 0;
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
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard writing(busy_[kWriting]);
    const int buffer = buffer_index_[slot];
    if (buffer < 0 || enabled_[slot].load(std::memory_order_relaxed) != 1) return 0;
    AppendLocked(buffer, bytes, length, Trim::kBlock);
    return length;
}

int CharPool::Read(char* dest, int slot) {
    if (Busy(kWriting) || Busy(kAdding) || Busy(kRemoving)) return -1;
    if (!ValidSlot(slot) || dest == nullptr) return 0;
    const int64_t now = Clock::Get().MonotonicMs();
    std::lock_guard<std::mutex> lock(mutex_);
    FlagGuard reading(busy_[kReading]);
    const int buffer = buffer_index_[slot];
    if (buffer < 0 || in_use_[buffer] == 0) return 0;
    last_read_ms_[slot] = now;
    const int fill = fill_[buffer];
    char* data = data_[buffer].get();
    std::memcpy(dest, data, static_cast<size_t>(fill));
    fill_[buffer] = 0;
    data[0] = 0;
    return fill;
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
    return buffer < 0 ? 0 : fill_[buffer];
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
        largest = std::max(largest, static_cast<int>(fill_[buffer]));
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
