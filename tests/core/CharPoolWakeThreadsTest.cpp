// Readers that sleep in the pool until data arrives: every write must wake
// each waiting reader (a lost wake-up costs the reader its whole wait time,
// far above these tests' bounds), and the end of a slot ends its wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/CharPool.h"

namespace zerlan {
namespace {

constexpr int kLongWaitMs = 20000;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

TEST(CharPoolWakeThreads, EveryWaitingReaderIsWokenForEveryBlock) {
    constexpr int kReaders = 16;
    constexpr int kBlocks = 200;
    CharPool pool;
    std::vector<int> slots;
    for (int r = 0; r < kReaders; ++r) slots.push_back(pool.AddEnabledReader());
    std::vector<std::string> got(kReaders);
    std::vector<std::atomic<int>> blocks(kReaders);
    std::atomic<bool> late{false};  // a lost wake-up: give up instead of waiting 20 s per block
    std::string expected;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            std::vector<char> dest(CharPool::kBufferSize);
            while (blocks[r].load() < kBlocks && !late.load()) {
                const int n = pool.WaitAndRead(dest.data(), slots[r], kLongWaitMs);
                got[r].append(dest.data(), static_cast<size_t>(n));
                // Blocks are 8 bytes: count the whole ones taken.
                blocks[r].store(static_cast<int>(got[r].size() / 8));
            }
        });
    }
    for (int b = 0; b < kBlocks; ++b) {
        // Every reader has taken the last block, so most of them wait now.
        for (int r = 0; r < kReaders && !late.load(); ++r) {
            while (blocks[r].load() < b && !late.load()) {
                late.store(ElapsedMs(start) > kLongWaitMs / 2);
                std::this_thread::yield();
            }
        }
        if (late.load()) break;
        char block[9];
        std::snprintf(block, sizeof block, "%07d|", b);
        while (pool.Write(block, 8) < 0) std::this_thread::yield();
        expected.append(block, 8);
    }
    for (auto& t : readers) t.join();
    for (int r = 0; r < kReaders; ++r) EXPECT_EQ(got[r], expected) << "reader " << r;
    EXPECT_LT(ElapsedMs(start), kLongWaitMs / 2);
}

TEST(CharPoolWakeThreads, AWriteToOneSlotWakesItsReaderAndARemovalEndsAWait) {
    CharPool pool;
    const int own = pool.AddEnabledReader();
    const int other = pool.AddEnabledReader();
    std::atomic<int> own_got{-1}, other_got{-1};
    const auto start = std::chrono::steady_clock::now();
    std::thread own_reader([&] {
        char dest[CharPool::kBufferSize];
        own_got = pool.WaitAndRead(dest, own, kLongWaitMs);
    });
    std::thread other_reader([&] { other_got = pool.WaitForData(other, kLongWaitMs); });
    // Whether the readers wait already or not, the outcome is the same.
    while (pool.WriteSlot("$GPGGA\r\n", 8, own) < 0) std::this_thread::yield();
    own_reader.join();
    EXPECT_EQ(own_got.load(), 8);
    while (pool.RemoveReader(other) < 0) std::this_thread::yield();
    other_reader.join();
    EXPECT_EQ(other_got.load(), 0);
    EXPECT_LT(ElapsedMs(start), kLongWaitMs / 2);
}

}  // namespace
}  // namespace zerlan
