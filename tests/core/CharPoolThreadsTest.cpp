// Readers that sleep in the pool until data arrives, and readers that copy
// while the writer overruns them. A lost wake-up costs a reader its whole
// wait, far above these tests' bounds.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/CharPool.h"
#include "core/PacedWrite.h"
#include "core/ThreadRegistry.h"

namespace zerlan {
namespace {

constexpr int kLongWaitMs = 20000;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

TEST(CharPoolThreads, AWaitingReaderWakesForEachBlockAndTheWaitIsBounded) {
    ThreadRegistry registry;
    registry.SetState(1, 0);
    CharPool pool(&registry);
    const int slot = pool.AddEnabledReader();
    const int other = pool.AddReader(0);  // disabled: no broadcast reaches it
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.WaitForData(slot, 30), 0);  // nothing written: the wait ends by itself
    EXPECT_GE(ElapsedMs(start), 25);

    // Broadcast blocks and a block for the slot alone each wake the reader.
    // The pauses only make it likely that it sleeps; the outcome is the same.
    start = std::chrono::steady_clock::now();
    std::string got;
    std::thread reader([&] {
        std::vector<char> dest(CharPool::kBufferSize);
        while (got.size() < 38) got.append(dest.data(), pool.WaitAndRead(dest.data(), slot, kLongWaitMs));
    });
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(WriteWithRetry(pool, "0123456789", 10, nullptr), 10);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(WriteSlotWithRetry(pool, "$GPGGA\r\n", 8, slot, nullptr), 8);
    reader.join();
    EXPECT_EQ(got, "012345678901234567890123456789$GPGGA\r\n");
    EXPECT_LT(ElapsedMs(start), kLongWaitMs / 2);

    // A removal ends a wait at once, and so does a stop.
    std::atomic<int> other_got{-1};
    std::thread other_reader([&] { other_got = pool.WaitForData(other, kLongWaitMs); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    while (pool.RemoveReader(other) < 0) std::this_thread::yield();
    other_reader.join();
    EXPECT_EQ(other_got.load(), 0);
    registry.SetState(0, 1);
    EXPECT_EQ(pool.WaitForData(slot, kLongWaitMs), 0);
    EXPECT_LT(ElapsedMs(start), kLongWaitMs / 2);
}

TEST(CharPoolWakeThreads, EveryWaitingReaderIsWokenForEveryBlock) {
    constexpr int kReaders = 16, kBlocks = 200;
    CharPool pool;
    std::vector<std::string> got(kReaders);
    std::vector<std::atomic<int>> blocks(kReaders);
    std::atomic<bool> late{false};  // a lost wake-up: give up instead of waiting 20 s per block
    std::string expected;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kReaders; ++r) ASSERT_EQ(pool.AddEnabledReader(), r);
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            std::vector<char> dest(CharPool::kBufferSize);
            while (blocks[r].load() < kBlocks && !late.load()) {
                got[r].append(dest.data(), pool.WaitAndRead(dest.data(), r, kLongWaitMs));
                blocks[r].store(static_cast<int>(got[r].size() / 8));  // 8-byte blocks
            }
        });
    }
    for (int b = 0; b < kBlocks && !late.load(); ++b) {
        // Every reader has taken the last block, so most of them sleep now.
        for (int r = 0; r < kReaders && !late.load(); ++r) {
            while (blocks[r].load() < b && !late.load()) {
                late.store(ElapsedMs(start) > kLongWaitMs / 2);
                std::this_thread::yield();
            }
        }
        char block[16];
        std::snprintf(block, sizeof block, "%07d|", b);
        while (pool.Write(block, 8) < 0) std::this_thread::yield();
        expected.append(block, 8);
    }
    for (auto& t : readers) t.join();
    for (int r = 0; r < kReaders; ++r) EXPECT_EQ(got[r], expected) << "reader " << r;
    EXPECT_LT(ElapsedMs(start), kLongWaitMs / 2);
}

// The writer moves a reader that is a window behind on while the reader may
// be copying, and readers come and go meanwhile: every piece a reader gets is
// a run of the stream, never bytes overwritten under it, and what it got and
// what it lost add up to all that was written.
TEST(CharPoolThreads, ReadersOverrunWhileTheyCopyGetWholeRunsAndEveryLostByteIsCounted) {
    CharPool::SetDefaultWindow(CharPool::kMinWindow);
    CharPool pool(nullptr, 2);
    CharPool::SetDefaultWindow(CharPool::kDefaultWindow);
    constexpr int64_t kWindow = CharPool::kMinWindow, kTotal = 40 * kWindow;
    std::atomic<int64_t> written{0};
    std::array<int64_t, 2> got{}, lost{}, breaks{};
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&, r] {
            // Reader 1 starts when the writer overwrites its oldest bytes.
            while (r == 1 && written.load() < 2 * kWindow) std::this_thread::yield();
            std::vector<char> dest(CharPool::kBufferSize);
            for (bool finished = false; !finished;) {
                finished = written.load() == kTotal;
                const int n = pool.WaitAndRead(dest.data(), r, 10);
                for (int i = 1; i < n; ++i)
                    breaks[r] += static_cast<uint8_t>(dest[i]) != (static_cast<uint8_t>(dest[i - 1]) + 1) % 251;
                got[r] += n;
                lost[r] += pool.TakeLost(r);
                finished = finished && n == 0;
            }
        });
    }
    std::atomic<bool> done{false};
    threads.emplace_back([&] {
        std::vector<char> dest(CharPool::kBufferSize);
        while (!done.load()) {
            const int slot = pool.AddEnabledReader();
            for (int i = 0; slot >= 0 && i < 3; ++i) pool.Read(dest.data(), slot);
            while (slot >= 0 && pool.RemoveReader(slot) != 0) std::this_thread::yield();
        }
    });
    std::string block(CharPool::kBroadcastLimit, '\0');
    for (int64_t at = 0; at < kTotal; at += static_cast<int64_t>(block.size())) {
        block.resize(static_cast<size_t>(std::min<int64_t>(CharPool::kBroadcastLimit, kTotal - at)));
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((at + static_cast<int64_t>(i)) % 251);
        while (pool.Write(block.data(), static_cast<int>(block.size())) < 0) std::this_thread::yield();
        written.store(at + static_cast<int64_t>(block.size()));
    }
    done = true;
    for (auto& t : threads) t.join();
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(breaks[r], 0) << r;
        EXPECT_EQ(got[r] + lost[r], kTotal) << r;
    }
    EXPECT_GE(lost[1], kWindow);
}

}  // namespace
}  // namespace zerlan
