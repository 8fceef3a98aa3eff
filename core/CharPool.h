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

    // `registry` answers "stop pending"; it may be null (never pending).
    explicit CharPool(ThreadRegistry* registry = nullptr, int initial_slots = 0);
    ~CharPool();
    CharPool(const CharPool&) = delete;
    CharPool& operator=(const CharPool&) = delete;

    void Reset(int slots);
    int AddReader(int enabled);
    int AddEnabledReader() { return AddReader(1); }
    int RemoveReader(int slot);

    int Write(const char* bytes, int length);
    int WriteSlot(const char* bytes, int length, int slot);
    int WriteAll(const char* bytes, int length);
    int WriteLines(const char* text, int length);
    // `dest` must hold kBufferSize bytes.
    int Read(char* dest, int slot);

    int SlotCount();
    int Fill(int slot);
    int SlotBuffer(int slot);
    int SetUserValue(int value, int slot);
    int AddUserValue(int value, int slot);
    int GetUserValue(int slot);
    void SetEnabled(int slot, int flag);

    // Largest fill among enabled slots that were read within the last
    // `within_ms` milliseconds (monotonic clock); 0 when none.
    int MaxActiveFill(int64_t within_ms);

    static int AppendDebugText(const char* text);
    static int AppendTextToFile(const char* path, const char* text);

private:
    // ... implementation-defined members
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zerlan
