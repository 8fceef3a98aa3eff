// The one way producers hand blocks to a CharPool. A refused write is retried
// every millisecond until the pool accepts it or the thread is told to stop.
// With pacing on, a producer that replays stored data (a file, for instance)
// also waits, at most a second, while a reader that is still reading falls
// behind, so that the reader loses nothing; live producers leave pacing off
// and are never held up by readers.
//
// Thread-safety: plain functions; any thread may call them on any pool.
#pragma once

#include <functional>

namespace zerlan {

class CharPool;

// Answers true when the calling thread should give up; an empty function
// never does.
using StopQuery = std::function<bool()>;

// A reader holding this many bytes, read within kPaceActiveMs, holds back a
// paced producer for at most kPaceMaxWaitMs.
constexpr int kPaceFill = 4000;
constexpr int kPaceActiveMs = 1000;
constexpr int kPaceMaxWaitMs = 1000;

// Each returns the pool's result for the accepted write, or -1 when the
// thread was told to stop first or the block is over the pool's limit (such a
// block would be refused for ever).
int WriteWithRetry(CharPool& pool, const char* data, int len, const StopQuery& stop_requested);
int WriteLinesWithRetry(CharPool& pool, const char* text, int len, const StopQuery& stop_requested);
int WriteSlotWithRetry(CharPool& pool, const char* data, int len, int slot, const StopQuery& stop_requested);

int PacedWrite(CharPool& pool, const char* data, int len, bool pacing, const StopQuery& stop_requested);
int PacedWriteLines(CharPool& pool, const char* text, int len, bool pacing, const StopQuery& stop_requested);

}  // namespace zerlan
