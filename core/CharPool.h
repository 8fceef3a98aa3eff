// A multi-reader byte pool: the hand-over point between producing and
// consuming threads. The stream is held once, in a ring (the window, 4 MiB
// by default), with a read position per reader; a write copies the block once
// and wakes only the readers that sleep for data. A reader that falls more than the
// window behind loses its oldest bytes (a producer is never blocked by it);
// the loss is counted per reader (`TakeLost`). Single-slot writes (the
// clients' positions) go to a small queue of that reader alone.
//
// Thread-safety: any number of threads may call any operation. Writers, adds
// and removals share the pool lock; a reader takes only its own lock and
// copies out of the ring beside the writer, which never overwrites bytes a
// reader has not taken without first moving that reader on (its loss). Writes,
// adds and removals that would wait for one another return -1 at once
// ("refused"); producers retry after Sleep(1). Reads are never refused. No
// allocation happens on the data path: the ring is made with the first
// reader, a reader's own queue when it is added.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zerlan {

class ThreadRegistry;

class CharPool {
public:
    static constexpr int kSlots = 1000;
    static constexpr int kMaxReaders = 999;
    // The most one Read moves; callers' buffers hold this much.
    static constexpr int kBufferSize = 7000;
    // A reader's own queue (single-slot writes) keeps its newest bytes from here on.
    static constexpr int kTrimThreshold = 5000;
    static constexpr int kBroadcastLimit = 1999;
    static constexpr int kSingleLimit = 2000;
    static constexpr size_t kDefaultWindow = size_t{4} << 20;
    static constexpr size_t kMinWindow = 64 * 1024;

    // The window of pools whose ring is made from now on (the program sets it
    // from its options before any job); clamped to kMinWindow at least.
    static void SetDefaultWindow(size_t bytes);
    static size_t DefaultWindow();

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
    // Moves waiting bytes to `dest` (no terminator), at most kBufferSize;
    // `dest` must hold that much. 0 for an empty or free slot.
    int Read(char* dest, int slot);
    // Waits until bytes wait for `slot`, at most `timeout_ms`, and returns how
    // many (0 after the time, for a free slot or when a stop is pending).
    int WaitForData(int slot, int timeout_ms);
    // WaitForData, then Read under the same hold of the reader's lock: one
    // lock per block for a reader that sleeps between blocks. 0 after the
    // time, for a free slot or at a stop.
    int WaitAndRead(char* dest, int slot, int timeout_ms);
    // Bytes the reader lost since the last call (it fell more than the
    // window behind); 0 for a free slot.
    int64_t TakeLost(int slot);
    // Cheap test, without the lock, whether TakeLost has something: the
    // reader fell more than the window behind (a sender held up by a slow
    // peer asks this).
    bool HasLost(int slot) const {
        return ValidSlot(slot) && readers_[slot].lost_flag.load(std::memory_order_acquire);
    }

    // Where a reader's loss is told (the shared state shows it in the log);
    // set before the pool is used by several threads.
    using LossReporter = std::function<void(const std::string& reader, int64_t lost)>;
    void SetLossReporter(LossReporter reporter) { loss_reporter_ = std::move(reporter); }
    void ReportLoss(const std::string& reader, int64_t lost) const {
        if (loss_reporter_ && lost > 0) loss_reporter_(reader, lost);
    }

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
    static std::atomic<size_t> default_window_;

    // One reader slot. `lock` guards the reader's copy against a writer that
    // moves it on; a sleeping reader waits on `wake`. The atomics are read by
    // writers without the lock. Own line each: readers on other cores.
    struct alignas(64) Reader {
        std::mutex lock;
        std::condition_variable wake;
        std::atomic<uint64_t> pos{0};           // read position in the stream
        std::atomic<bool> asleep{false};        // in `wake`, not yet signalled
        std::atomic<bool> lost_flag{false};     // `lost` is not 0
        std::atomic<int32_t> own_size{0};
        std::atomic<int64_t> last_read_ms{0};   // monotonic
        std::string own;                        // single-slot writes; guarded by lock
        int64_t lost = 0;                       // not yet taken; guarded by lock
        bool hot = false;                       // its last sleep was short; guarded by lock

        // Frees the queue and forgets a loss not taken; lock held.
        void Release() {
            own = std::string();
            own_size.store(0);
            lost = 0;
            lost_flag.store(false);
        }
    };
    // A sleep shorter than this means blocks come faster than a reader sleeps and wakes.
    static constexpr std::chrono::microseconds kHotGap{200};

    bool Busy(BusyFlag flag) const { return busy_[flag].load(std::memory_order_acquire) != 0; }
    bool StopPending() const;
    static bool ValidSlot(int slot) { return slot >= 0 && slot < kSlots; }
    // Frees every reader and clears all slot records; pool lock held.
    int ClearLocked(int16_t* woken);
    // Clears, then makes readers 0..slots-1; pool lock held.
    int PremakeLocked(int slots, int16_t* woken);
    // Makes the ring with the current default window unless a reader uses it.
    bool EnsureRingLocked();
    // Gives a new reader its queue and read position; pool lock held.
    bool OpenReaderLocked(int slot, int buffer, int64_t now);
    // Bytes waiting for the reader, from its atomics (exact under its lock).
    uint64_t Waiting(const Reader& r) const;
    // WaitForData's wait; returns the bytes waiting. Reader's lock held.
    uint64_t WaitLocked(std::unique_lock<std::mutex>& lock, int slot, int timeout_ms);
    // Read's copy; reader's lock held.
    int ReadLocked(char* dest, int slot, int64_t now);
    // Moves a reader that the block [head, head+length) would overwrite on to
    // `keep_from` (a line start for text), counting its loss; pool lock held.
    void DropBehindLocked(int slot, uint64_t keep_from, const char* bytes, int length);
    int BroadcastWrite(const char* bytes, int length, int limit, bool only_enabled, Trim trim);
    // Takes the sleeping reader off its wait (it is signalled once); true if it slept.
    bool TakeSleeper(int slot) {
        Reader& r = readers_[slot];
        return r.asleep.load(std::memory_order_seq_cst) && r.asleep.exchange(false, std::memory_order_seq_cst);
    }
    // Wakes the readers taken by TakeSleeper; called without the pool lock,
    // so that a woken reader never queues behind the writer.
    void Notify(const int16_t* woken, int count);

    ThreadRegistry* registry_;
    std::mutex mutex_;
    std::array<std::atomic<int32_t>, kBusyFlags> busy_{};
    std::array<std::atomic<int32_t>, kSlots> enabled_{};   // per slot
    LossReporter loss_reporter_;
    std::unique_ptr<Reader[]> readers_;                    // per slot

    // Written under mutex_ and the slot's reader lock: either lock reads it.
    std::array<int32_t, kSlots> buffer_index_{};           // per slot, -1 = free
    // The ring is only remade while no reader is open, so a reader reads
    // these under its own lock.
    std::unique_ptr<char[]> ring_;
    size_t window_ = 0;
    std::atomic<uint64_t> head_{0};                        // bytes ever written; stored after the copy

    // Guarded by mutex_.
    int32_t slot_count_ = 0;
    std::array<int32_t, kSlots> user_value_{};             // per slot
    std::array<int32_t, kSlots> in_use_{};                 // per buffer
    bool lines_ = false;                                   // written by WriteLines: keep whole lines
};

}  // namespace zerlan
