// A multi-reader byte pool: the hand-over point between producing and
// consuming threads. Every reader owns a private 7000-byte buffer; every write
// copies the block into the buffer of each enabled reader; a buffer holding
// 5000 bytes or more drops its oldest bytes before the next block is appended,
// so a stalled reader never blocks a producer.
//
// Thread-safety: any number of threads may call any operation. Operations
// that would otherwise wait for another one return -1 at once ("refused");
// producers retry after Sleep(1), readers on their next pass. No allocation
// happens on the data path: buffers are made when a reader is added.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zerlan {

class ThreadRegistry;

class CharPool {
public:
    static constexpr int kSlots = 1000;
    static constexpr int kMaxReaders = 999;
    static constexpr int kBufferSize = 7000;
    static constexpr int kTrimThreshold = 5000;
    static constexpr int kBroadcastLimit = 1999;
    static constexpr int kSingleLimit = 2000;
    static constexpr int kLineTrimFallback = 1000;

    // The six busy flags, in their traditional order.
    enum BusyFlag { kAdding = 0, kReading, kWriting, kRemoving, kUserGet, kUserSet, kBusyFlags };

    // `registry` answers "stop pending"; it may be null (never pending).
    explicit CharPool(ThreadRegistry* registry = nullptr, int initial_slots = 0);
    ~CharPool();
    CharPool(const CharPool&) = delete;
    CharPool& operator=(const CharPool&) = delete;

    // Drops every reader and pre-makes readers 0..slots-1 (none when `slots`
    // is outside 0..999). Enabled flags are kept.
    void Reset(int slots);
    // New slot number; -1 when refused, when the pool is full, when memory
    // runs out or when a stop is pending (then nothing is allocated).
    int AddReader(int enabled);
    int AddEnabledReader() { return AddReader(1); }
    // 0; -1 if refused or the slot is outside 0..999. A free slot is left alone.
    int RemoveReader(int slot);

    // Broadcast to enabled readers; len (0 without reader) or -1 if refused
    // or over kBroadcastLimit.
    int Write(const char* bytes, int length);
    // One enabled slot only; 0 if the slot is free, disabled or outside 0..999.
    int WriteSlot(const char* bytes, int length, int slot);
    // Every reader, enabled or not.
    int WriteAll(const char* bytes, int length);
    // Like Write, but trims at line ends so that a reader keeps whole lines.
    int WriteLines(const char* text, int length);
    // Moves all waiting bytes to `dest` (no terminator). `dest` must hold
    // kBufferSize bytes. 0 for an empty or free slot, -1 if refused.
    int Read(char* dest, int slot);

    int SlotCount();
    int Fill(int slot);
    int SlotBuffer(int slot);
    int SetUserValue(int value, int slot);
    int AddUserValue(int value, int slot);
    int GetUserValue(int slot);
    // A plain store, without the lock and without busy flags.
    void SetEnabled(int slot, int flag);

    // Largest fill among enabled slots that were read within the last
    // `within_ms` milliseconds (monotonic clock); 0 when none.
    int MaxActiveFill(int64_t within_ms);

    static int AppendDebugText(const char* text);
    static int AppendTextToFile(const char* path, const char* text);

    // Tests only: holds a busy flag up as if the operation were running.
    void SetBusyFlagForTest(BusyFlag flag, int value) { busy_[flag].store(value); }

private:
    enum class Trim { kBlock, kLines };

    bool Busy(BusyFlag flag) const { return busy_[flag].load(std::memory_order_acquire) != 0; }
    bool StopPending() const;
    bool ValidSlot(int slot) const { return slot >= 0 && slot < kSlots; }
    // Frees every buffer and clears all slot records; lock held.
    void ClearLocked();
    // Clears, then makes readers 0..slots-1 with their buffers; lock held.
    void PremakeLocked(int slots);
    // Trims the buffer if needed and appends; lock held.
    void AppendLocked(int buffer, const char* bytes, int length, Trim trim);
    int BroadcastWrite(const char* bytes, int length, int limit, bool only_enabled, Trim trim);

    ThreadRegistry* registry_;
    std::mutex mutex_;
    std::array<std::atomic<int32_t>, kBusyFlags> busy_{};
    std::array<std::atomic<int32_t>, kSlots> enabled_{};   // per slot

    // Everything below is guarded by mutex_.
    int32_t slot_count_ = 0;
    std::array<int32_t, kSlots> buffer_index_{};           // per slot, -1 = free
    std::array<int32_t, kSlots> user_value_{};             // per slot
    std::array<int64_t, kSlots> last_read_ms_{};           // per slot, monotonic
    std::array<int32_t, kSlots> fill_{};                   // per buffer
    std::array<int32_t, kSlots> in_use_{};                 // per buffer
    std::array<std::unique_ptr<char[]>, kSlots> data_;     // per buffer
};

}  // namespace zerlan
