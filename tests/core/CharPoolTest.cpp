#include "core/CharPool.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/PacedWrite.h"
#include "core/ThreadRegistry.h"
#include "platform/Clock.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

// Bytes of one long numbered stream, so that any kept part shows where it came from.
std::string StreamBytes(int64_t from, int length) {
    std::string s(length, '\0');
    for (int i = 0; i < length; ++i) s[i] = static_cast<char>((from + i) % 251);
    return s;
}

std::string ReadAll(CharPool& pool, int slot) {
    std::vector<char> buffer(CharPool::kBufferSize);
    return std::string(buffer.data(), static_cast<size_t>(pool.Read(buffer.data(), slot)));
}

std::string Drain(CharPool& pool, int slot) {
    std::string all;
    for (std::string part; !(part = ReadAll(pool, slot)).empty();) all += part;
    return all;
}

TEST(CharPool, WhoReceivesWhichWriteWithinTheBlockLimitsAndReadTakesItOnce) {
    CharPool pool;
    EXPECT_EQ(pool.Write("abc", 3), 0);  // no reader yet
    const int on = pool.AddReader(1), off = pool.AddReader(0);
    EXPECT_EQ(pool.Write("abc", 3), 3);
    for (int slot : {off, 7, 1000}) EXPECT_EQ(pool.WriteSlot("abc", 3, slot), 0);  // disabled, free, outside
    EXPECT_EQ(pool.WriteAll("def", 3), 3);
    EXPECT_EQ(ReadAll(pool, on), "abcdef");
    EXPECT_EQ(ReadAll(pool, on), "");
    EXPECT_EQ(ReadAll(pool, off), "def");
    pool.SetEnabled(off, 1);
    EXPECT_EQ(pool.WriteSlot("xy", 2, off), 2);
    EXPECT_EQ(ReadAll(pool, off), "xy");
    // A client that floods its slot keeps its newest bytes only, and no other reader gets them.
    for (int i = 0; i < 10; ++i) pool.WriteSlot(StreamBytes(i * 2000, 2000).data(), 2000, off);
    const std::string kept = Drain(pool, off);
    EXPECT_LE(kept.size(), static_cast<size_t>(CharPool::kBufferSize));
    EXPECT_EQ(kept, StreamBytes(20000 - static_cast<int64_t>(kept.size()), static_cast<int>(kept.size())));
    EXPECT_EQ(ReadAll(pool, on), "");
    char dest[CharPool::kBufferSize];
    EXPECT_EQ(pool.Read(dest, -1) + pool.Read(dest, 1000), 0);

    const std::string block(2001, 'x');
    EXPECT_EQ(pool.Write(block.data(), 1999), 1999);
    EXPECT_EQ(pool.WriteSlot(block.data(), 2000, on), 2000);
    for (int refused : {pool.Write(block.data(), 2000), pool.WriteSlot(block.data(), 2001, on),
                        pool.WriteAll(block.data(), 2001), pool.WriteLines(block.data(), 2001),
                        pool.Write(block.data(), -1), pool.WriteSlot(block.data(), -5, on)})
        EXPECT_EQ(refused, -1);
    EXPECT_EQ(pool.Fill(on), 3999);
}

TEST(CharPool, ABurstOfAWholeCaptureReachesEveryReaderOnce) {
    CharPool pool(nullptr, 3);
    int64_t written = 0;
    for (; written < 1000 * 1000; written += 1999) pool.Write(StreamBytes(written, 1999).data(), 1999);
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_TRUE(Drain(pool, slot) == StreamBytes(0, static_cast<int>(written))) << slot;
        EXPECT_EQ(pool.TakeLost(slot), 0);
    }
}

class SmallWindow : public ::testing::Test {
protected:
    void SetUp() override { CharPool::SetDefaultWindow(CharPool::kMinWindow); }
    void TearDown() override { CharPool::SetDefaultWindow(CharPool::kDefaultWindow); }
    static constexpr int64_t kWindow = static_cast<int64_t>(CharPool::kMinWindow);
};

TEST_F(SmallWindow, AReaderBeyondTheWindowLosesItsOldestBytesAndTheLossIsCounted) {
    CharPool pool(nullptr, 2);
    int64_t written = 0;
    for (int i = 0; written < 3 * kWindow; ++i) {
        const int len = 1 + (i * 397) % CharPool::kBroadcastLimit;
        pool.Write(StreamBytes(written, len).data(), len);
        written += len;
        if (i % 10 == 0) Drain(pool, 1);  // reader 1 keeps up
    }
    EXPECT_EQ(pool.Fill(0), kWindow);
    EXPECT_TRUE(Drain(pool, 0) == StreamBytes(written - kWindow, static_cast<int>(kWindow)));
    EXPECT_EQ(pool.TakeLost(0), written - kWindow);
    EXPECT_EQ(pool.TakeLost(0), 0);  // counted once
    EXPECT_EQ(pool.TakeLost(1), 0);
}

TEST_F(SmallWindow, ALaggingTextReaderGoesOnAtALineStart) {
    CharPool pool(nullptr, 1);
    std::string text;
    for (int i = 0; static_cast<int64_t>(text.size()) < 2 * kWindow; ++i) {
        const std::string line = "MT1004 line " + std::to_string(i) + std::string(i % 50, 'x') + "\r\n";
        pool.WriteLines(line.data(), static_cast<int>(line.size()));
        text += line;
    }
    const std::string kept = Drain(pool, 0);
    EXPECT_EQ(kept.rfind("MT1004 line ", 0), 0u) << kept.substr(0, 40);
    EXPECT_EQ(text.substr(text.size() - kept.size()), kept);
    EXPECT_EQ(pool.TakeLost(0), static_cast<int64_t>(text.size() - kept.size()));
}

TEST(CharPool, ReaderSlotsUpTo999AreReusedResetKeepsEnabledFlagsAndAStopAddsNone) {
    ThreadRegistry registry;
    ASSERT_EQ(registry.SetState(1, 0), 0);
    CharPool pool(&registry);
    for (int i = 0; i < CharPool::kMaxReaders; ++i) ASSERT_EQ(pool.AddReader(i != 3), i);
    EXPECT_EQ(pool.AddEnabledReader(), -1);
    EXPECT_EQ(pool.RemoveReader(1000), -1);
    pool.Write("z", 1);
    EXPECT_EQ(pool.RemoveReader(500), 0);
    EXPECT_EQ(pool.RemoveReader(500), 0);  // already free: must not free another reader's buffer
    EXPECT_EQ(pool.SlotBuffer(500), -1);
    pool.Write("q", 1);
    EXPECT_EQ(ReadAll(pool, 998), "zq");
    EXPECT_EQ(pool.AddEnabledReader(), 500);  // enabled as asked, its old bytes gone
    EXPECT_EQ(pool.Fill(500), 0);

    pool.Reset(5);
    EXPECT_EQ(pool.SlotBuffer(5), -1);
    pool.Write("d", 1);
    EXPECT_EQ(ReadAll(pool, 3), "");  // still disabled
    // A pending stop adds nothing, but readers still drain and leave.
    ASSERT_EQ(registry.SetState(0, 1), 0);
    EXPECT_EQ(pool.AddEnabledReader(), -1);
    EXPECT_EQ(pool.SlotCount(), 0);
    EXPECT_EQ(ReadAll(pool, 1), "d");
    EXPECT_EQ(pool.RemoveReader(1), 0);
    ASSERT_EQ(registry.SetState(1, 0), 0);
    EXPECT_EQ(pool.SlotCount(), 5);  // the refused add made no slot
    EXPECT_EQ(pool.AddEnabledReader(), 1);
}

class ClockedPool : public ::testing::Test {
protected:
    void SetUp() override { clock_.SetMonotonic(100000); Clock::Install(&clock_); }
    void TearDown() override { Clock::Install(nullptr); }
    FakeClock clock_;
};

TEST_F(ClockedPool, MaxActiveFillCountsOnlyEnabledRecentReaders) {
    CharPool pool;
    const int a = pool.AddEnabledReader(), b = pool.AddEnabledReader(), c = pool.AddReader(0);
    const std::string block(1500, 'm');
    for (int i = 0; i < 2; ++i) pool.WriteAll(block.data(), 1500);
    pool.WriteSlot(block.data(), 1000, a);  // a 4000, b 3000, c 3000
    EXPECT_EQ(pool.MaxActiveFill(1000), 4000);

    clock_.Advance(1500);
    EXPECT_EQ(pool.MaxActiveFill(1000), 0);  // nobody read lately
    char dest[CharPool::kBufferSize];
    ASSERT_EQ(pool.Read(dest, c), 3000);
    pool.WriteAll(block.data(), 1500);  // a 5500, b 4500, c 1500
    EXPECT_EQ(pool.MaxActiveFill(1000), 0);  // c is disabled
    pool.SetEnabled(c, 1);
    EXPECT_EQ(pool.MaxActiveFill(1000), 1500);
    ASSERT_EQ(pool.Read(dest, b), 4500);
    pool.Write(block.data(), 1500);  // a 7000, b 1500, c 3000
    EXPECT_EQ(pool.MaxActiveFill(1000), 3000);
    EXPECT_EQ(pool.MaxActiveFill(5000), 7000);
}

TEST_F(ClockedPool, PacingHoldsBackOnlyForAFullActiveReaderAndRetriesEndOnlyWithTheRefusalOrAStop) {
    CharPool pool;
    const int slot = pool.AddEnabledReader();
    const std::string block(2001, 'p');
    for (int i = 0; i < 4; ++i) ASSERT_EQ(PacedWrite(pool, block.data(), 1000, true, nullptr), 1000);
    int asked = 0;
    EXPECT_EQ(PacedWrite(pool, block.data(), 1000, true, [&] { return ++asked >= 3; }), -1);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(pool.Fill(slot), 4000);
    EXPECT_EQ(PacedWrite(pool, block.data(), 1000, false, nullptr), 1000);
    EXPECT_EQ(PacedWriteLines(pool, "l\n", 2, false, nullptr), 2);
    // A reader that has not read for over a second no longer holds anyone back.
    clock_.Advance(1001);
    EXPECT_EQ(PacedWrite(pool, block.data(), 1000, true, [] { return true; }), 1000);

    // A refused write goes in once the refusal ends; one over the limit never does.
    Drain(pool, slot);
    pool.SetBusyFlagForTest(CharPool::kReading, 1);
    EXPECT_EQ(WriteWithRetry(pool, "abc", 3, [] { return true; }), -1);
    auto release_later = [&, tries = 0]() mutable {
        if (++tries == 3) pool.SetBusyFlagForTest(CharPool::kReading, 0);
        return false;
    };
    EXPECT_EQ(WriteWithRetry(pool, "abc", 3, release_later), 3);
    EXPECT_EQ(ReadAll(pool, slot), "abc");
    EXPECT_EQ(WriteWithRetry(pool, block.data(), 2000, nullptr), -1);
    EXPECT_EQ(WriteLinesWithRetry(pool, block.data(), 2001, nullptr), -1);
}

// A lost wake-up costs a reader its whole wait, far above these tests' bounds.
constexpr int kLongWaitMs = 20000;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return (std::chrono::steady_clock::now() - since) / std::chrono::milliseconds(1);
}

TEST(CharPoolThreads, AWaitingReaderWakesForEachBlockAndTheWaitIsBounded) {
    ThreadRegistry registry;
    registry.SetState(1, 0);
    CharPool pool(&registry);
    const int slot = pool.AddEnabledReader(), other = pool.AddReader(0);  // no broadcast reaches other
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.WaitForData(slot, 30), 0);  // nothing written: the wait ends by itself
    EXPECT_GE(ElapsedMs(start), 25);

    // The pauses only make it likely that the reader sleeps; the outcome is the same.
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
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        EXPECT_EQ(pool.AddEnabledReader(), r);
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
        for (int r = 0; r < kReaders && !late.load(); ++r)
            late.store(!testing::WaitFor([&] { return blocks[r].load() >= b; }, kLongWaitMs / 2));
        char block[16];
        std::snprintf(block, sizeof block, "%07d|", b);
        while (pool.Write(block, 8) < 0) std::this_thread::yield();
        expected.append(block, 8);
    }
    for (auto& t : readers) t.join();
    for (int r = 0; r < kReaders; ++r) EXPECT_EQ(got[r], expected) << "reader " << r;
    EXPECT_LT(ElapsedMs(start), kLongWaitMs / 2);
}

// A reader moved on mid-copy must never get overwritten bytes, and got + lost must add up.
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
    threads.emplace_back([&] {  // readers coming and going
        std::vector<char> dest(CharPool::kBufferSize);
        while (!done.load()) {
            const int slot = pool.AddEnabledReader();
            for (int i = 0; slot >= 0 && i < 3; ++i) pool.Read(dest.data(), slot);
            while (slot >= 0 && pool.RemoveReader(slot) != 0) std::this_thread::yield();
        }
    });
    for (int64_t at = 0; at < kTotal; at += CharPool::kBroadcastLimit) {
        const int len = static_cast<int>(std::min<int64_t>(CharPool::kBroadcastLimit, kTotal - at));
        const std::string block = StreamBytes(at, len);
        while (pool.Write(block.data(), len) < 0) std::this_thread::yield();
        written.store(at + len);
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
