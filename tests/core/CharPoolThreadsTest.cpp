#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/CharPool.h"
#include "core/PacedWrite.h"
#include "core/ThreadRegistry.h"

namespace zerlan {
namespace {

// A block: writer, sequence (2 bytes), payload length, payload; all of it
// follows from writer and sequence, so a reader can check every byte it gets.
std::string MakeBlock(int writer, int seq) {
    const int payload = 20 + (writer * 131 + seq * 57) % 230;
    std::string b{static_cast<char>(writer), static_cast<char>(seq & 0xFF), static_cast<char>(seq >> 8),
                  static_cast<char>(payload)};
    for (int i = 0; i < payload; ++i) b += static_cast<char>(writer * 31 + seq * 7 + i);
    return b;
}

// True when a reader's stream holds every writer's blocks whole, in order and
// once each, and nothing else.
bool EveryBlockOnceInOrder(const std::string& got, int writers, int blocks) {
    // A fixed array: GCC 12 at -O2 takes a vector here for a use after free.
    std::array<int, 8> next{};
    if (writers > static_cast<int>(next.size())) return false;
    for (size_t at = 0; at < got.size();) {
        const int writer = static_cast<uint8_t>(got[at]);
        if (writer >= writers) return false;
        const std::string want = MakeBlock(writer, next[writer]++);
        if (got.compare(at, want.size(), want) != 0) return false;
        at += want.size();
    }
    return std::all_of(next.begin(), next.begin() + writers, [&](int n) { return n == blocks; });
}

TEST(CharPoolThreads, EveryReaderGetsEveryBlockOfEveryWriterInOrder) {
    constexpr int kWriters = 3, kReaders = 3, kBlocks = 400;  // 170 kB, inside the window: nothing may be lost
    ThreadRegistry registry;
    ASSERT_EQ(registry.SetState(1, 0), 0);
    CharPool pool(&registry);
    for (int r = 0; r < kReaders; ++r) ASSERT_EQ(pool.AddEnabledReader(), r);
    size_t total = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int s = 0; s < kBlocks; ++s) total += MakeBlock(w, s).size();

    std::atomic<int> write_failures{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            for (int s = 0; s < kBlocks; ++s) {
                const std::string b = MakeBlock(w, s);
                const int n = static_cast<int>(b.size());
                write_failures += WriteWithRetry(pool, b.data(), n, [&] { return registry.StopRequested(); }) != n;
            }
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::string> got(kReaders);
    for (int r = 0; r < kReaders; ++r) {
        threads.emplace_back([&, r] {
            std::vector<char> dest(CharPool::kBufferSize);
            while (got[r].size() < total && std::chrono::steady_clock::now() < deadline) {
                const int n = pool.Read(dest.data(), r);
                if (n > 0) got[r].append(dest.data(), static_cast<size_t>(n));
                else std::this_thread::yield();
            }
        });
    }
    // Adds and drops a reader of its own while the others run.
    std::atomic<bool> done{false};
    std::thread churn([&] {
        std::vector<char> dest(CharPool::kBufferSize);
        while (!done.load()) {
            const int slot = pool.AddEnabledReader();
            for (int i = 0; slot >= 0 && i < 5; ++i) pool.Read(dest.data(), slot);
            while (slot >= 0 && pool.RemoveReader(slot) != 0) std::this_thread::yield();
        }
    });
    for (auto& t : threads) t.join();
    done = true;
    churn.join();
    EXPECT_EQ(write_failures.load(), 0);
    for (int r = 0; r < kReaders; ++r) EXPECT_TRUE(EveryBlockOnceInOrder(got[r], kWriters, kBlocks)) << r;
}

TEST(CharPoolThreads, AWaitingReaderWakesForEachBlockAndTheWaitIsBounded) {
    ThreadRegistry registry;
    registry.SetState(1, 0);
    CharPool pool(&registry);
    const int slot = pool.AddEnabledReader();
    // Nothing written: the wait ends by itself.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.WaitForData(slot, 30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));

    // Each block wakes the reader at once, long before its wait would end.
    const auto first_write = std::chrono::steady_clock::now();
    std::atomic<int> woken{0};
    std::string got;
    std::thread reader([&] {
        std::vector<char> dest(CharPool::kBufferSize);
        while (got.size() < 30) {
            if (pool.WaitForData(slot, 5000) > 0) ++woken;
            const int n = pool.Read(dest.data(), slot);
            if (n > 0) got.append(dest.data(), static_cast<size_t>(n));
        }
    });
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(WriteWithRetry(pool, "0123456789", 10, nullptr), 10);
    }
    reader.join();
    EXPECT_EQ(got, "012345678901234567890123456789");
    EXPECT_GE(woken.load(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - first_write, std::chrono::milliseconds(4000));

    // A stop ends a wait at once, as does a reader removed meanwhile.
    registry.SetState(0, 1);
    EXPECT_EQ(pool.WaitForData(slot, 5000), 0);
}

}  // namespace
}  // namespace zerlan
