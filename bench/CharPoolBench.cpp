// Throughput of the pool: 1000-byte input blocks written once into the ring,
// each reader drained between writes as a live output would.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/CharPool.h"

namespace zerlan {
namespace {

void BM_WriteAndDrain(benchmark::State& state) {
    const int readers = static_cast<int>(state.range(0));
    CharPool pool;
    std::vector<int> slots;
    for (int r = 0; r < readers; ++r) slots.push_back(pool.AddEnabledReader());
    const std::string block(1000, 'r');
    std::vector<char> dest(CharPool::kBufferSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pool.Write(block.data(), static_cast<int>(block.size())));
        for (int slot : slots) benchmark::DoNotOptimize(pool.Read(dest.data(), slot));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_WriteAndDrain)->Arg(1)->Arg(10)->Arg(100);

// Readers that never read: writes go on, the readers only fall behind.
void BM_WriteStalled(benchmark::State& state) {
    const int readers = static_cast<int>(state.range(0));
    CharPool pool;
    for (int r = 0; r < readers; ++r) pool.AddEnabledReader();
    const std::string block(1000, 's');
    for (auto _ : state) benchmark::DoNotOptimize(pool.Write(block.data(), static_cast<int>(block.size())));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_WriteStalled)->Arg(1)->Arg(10);

// Reader threads that sleep until a block arrives, as the outputs do; the
// writer keeps at most half the window ahead of the slowest, so that nothing
// is lost, and sleeps (not spins) while it waits for them: a spinning writer
// would take the CPU the readers need. Bytes: the stream as every reader
// received it.
void BM_ReaderThreads(benchmark::State& state) {
    const int readers = static_cast<int>(state.range(0));
    CharPool pool;
    std::vector<int> slots;
    for (int r = 0; r < readers; ++r) slots.push_back(pool.AddEnabledReader());
    std::atomic<bool> done{false};
    std::vector<std::atomic<int64_t>> got(static_cast<size_t>(readers));
    std::vector<std::thread> threads;
    for (int r = 0; r < readers; ++r) {
        threads.emplace_back([&, r] {
            std::vector<char> dest(CharPool::kBufferSize);
            while (!done.load()) {
                got[r].fetch_add(pool.WaitAndRead(dest.data(), slots[r], 100));
            }
        });
    }
    const std::string block(1000, 't');
    const int64_t ahead = static_cast<int64_t>(CharPool::DefaultWindow() / 2);
    int64_t written = 0;
    for (auto _ : state) {
        for (int r = 0; r < readers; ++r) {
            while (written - got[r].load() > ahead) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        while (pool.Write(block.data(), static_cast<int>(block.size())) < 0) std::this_thread::yield();
        written += static_cast<int64_t>(block.size());
    }
    int64_t lost = 0;
    for (int r = 0; r < readers; ++r) {
        // A lost byte never arrives: count it, or this wait would not end.
        int64_t lost_here = 0;
        while ((lost_here += pool.TakeLost(slots[r])) + got[r].load() < written) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        lost += lost_here;
    }
    done = true;
    for (auto& t : threads) t.join();
    state.counters["lost"] = static_cast<double>(lost);
    if (lost != 0) state.SkipWithError("a reader lost bytes: the rate does not count");
    state.SetBytesProcessed(written);
}
// Rates per CPU second of the whole process (writer and readers): on a
// shared machine the wall clock measures the other processes too.
BENCHMARK(BM_ReaderThreads)->Arg(10)->MeasureProcessCPUTime();
BENCHMARK(BM_ReaderThreads)->Arg(10)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace zerlan

BENCHMARK_MAIN();
