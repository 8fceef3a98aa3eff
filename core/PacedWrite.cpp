#include "core/PacedWrite.h"

#include <cstdint>

#include "core/CharPool.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

bool Stopping(const StopQuery& stop_requested) { return stop_requested && stop_requested(); }

template <typename WriteOnce>
int RetryUntilAccepted(const WriteOnce& write_once, const StopQuery& stop_requested) {
    for (;;) {
        const int result = write_once();
        if (result >= 0) return result;
        if (Stopping(stop_requested)) return -1;
        Sleep(1);
    }
}

// True when the write may go ahead, false when the thread is stopping.
bool WaitForReaders(CharPool& pool, const StopQuery& stop_requested) {
    const int64_t start = Clock::Get().MonotonicMs();
    // The step count bounds the wait even when the clock stands still.
    for (int step = 0; step < kPaceMaxWaitMs; ++step) {
        if (pool.MaxActiveFill(kPaceActiveMs) < kPaceFill) return true;
        if (Stopping(stop_requested)) return false;
        if (Clock::Get().MonotonicMs() - start >= kPaceMaxWaitMs) return true;
        Sleep(1);
    }
    return true;
}

}  // namespace

int WriteWithRetry(CharPool& pool, const char* data, int len, const StopQuery& stop_requested) {
    if (len < 0 || len > CharPool::kBroadcastLimit) return -1;
    return RetryUntilAccepted([&] { return pool.Write(data, len); }, stop_requested);
}

int WriteLinesWithRetry(CharPool& pool, const char* text, int len, const StopQuery& stop_requested) {
    if (len < 0 || len > CharPool::kSingleLimit) return -1;
    return RetryUntilAccepted([&] { return pool.WriteLines(text, len); }, stop_requested);
}

int WriteSlotWithRetry(CharPool& pool, const char* data, int len, int slot, const StopQuery& stop_requested) {
    if (len < 0 || len > CharPool::kSingleLimit) return -1;
    return RetryUntilAccepted([&] { return pool.WriteSlot(data, len, slot); }, stop_requested);
}

int PacedWrite(CharPool& pool, const char* data, int len, bool pacing, const StopQuery& stop_requested) {
    if (pacing && !WaitForReaders(pool, stop_requested)) return -1;
    return WriteWithRetry(pool, data, len, stop_requested);
}

int PacedWriteLines(CharPool& pool, const char* text, int len, bool pacing, const StopQuery& stop_requested) {
    if (pacing && !WaitForReaders(pool, stop_requested)) return -1;
    return WriteLinesWithRetry(pool, text, len, stop_requested);
}

}  // namespace zerlan
