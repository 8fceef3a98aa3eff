// Throughput of the broadcast write: 1000-byte input blocks copied into every
// enabled reader, each reader drained between writes as a live output would.
#include <benchmark/benchmark.h>

#include <string>
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

// A stalled reader: every write past the threshold also shifts the buffer.
void BM_WriteStalled(benchmark::State& state) {
    const int readers = static_cast<int>(state.range(0));
    CharPool pool;
    for (int r = 0; r < readers; ++r) pool.AddEnabledReader();
    const std::string block(1000, 's');
    for (auto _ : state) benchmark::DoNotOptimize(pool.Write(block.data(), static_cast<int>(block.size())));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_WriteStalled)->Arg(1)->Arg(10);

}  // namespace
}  // namespace zerlan

BENCHMARK_MAIN();
