#include "core/CharPool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PacedWrite.h"
#include "core/ThreadRegistry.h"
#include "platform/Clock.h"

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

// Reads until nothing waits (each Read moves at most kBufferSize bytes).
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

// Pools made in the test get a small window.
class SmallWindow : public ::testing::Test {
protected:
    void SetUp() override { CharPool::SetDefaultWindow(CharPool::kMinWindow); }
    void TearDown() override { CharPool::SetDefaultWindow(CharPool::kDefaultWindow); }
    static constexpr int64_t kWindow = static_cast<int64_t>(CharPool::kMinWindow);
};

TEST(CharPool, ABurstOfAWholeCaptureReachesEveryReaderOnce) {
    CharPool pool(nullptr, 3);
    int64_t written = 0;
    for (; written < 1000 * 1000; written += 1999) pool.Write(StreamBytes(written, 1999).data(), 1999);
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_TRUE(Drain(pool, slot) == StreamBytes(0, static_cast<int>(written))) << slot;
        EXPECT_EQ(pool.TakeLost(slot), 0);
    }
}

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
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.rfind("MT1004 line ", 0), 0u) << kept.substr(0, 40);
    EXPECT_EQ(text.substr(text.size() - kept.size()), kept);
    EXPECT_EQ(pool.TakeLost(0), static_cast<int64_t>(text.size() - kept.size()));
}

TEST(CharPool, SingleSlotWritesStayWithTheirReader) {
    CharPool pool(nullptr, 2);
    for (int slot : {1, 0}) EXPECT_EQ(pool.WriteSlot(slot == 0 ? "$GPGGA,a\r\n" : "$GPGGA,b\r\n", 10, slot), 10);
    EXPECT_EQ(ReadAll(pool, 0) + ReadAll(pool, 1), "$GPGGA,a\r\n$GPGGA,b\r\n");
    // A client that floods its slot keeps its newest bytes only.
    for (int i = 0; i < 10; ++i) pool.WriteSlot(StreamBytes(i * 2000, 2000).data(), 2000, 0);
    const std::string kept = Drain(pool, 0);
    EXPECT_LE(kept.size(), static_cast<size_t>(CharPool::kBufferSize));
    EXPECT_EQ(kept, StreamBytes(20000 - static_cast<int64_t>(kept.size()), static_cast<int>(kept.size())));
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
    pool.WriteAll(block.data(), 1500);
    pool.WriteAll(block.data(), 1500);
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

    // Full and read lately: a paced write waits and gives up on stop.
    int asked = 0;
    EXPECT_EQ(PacedWrite(pool, block.data(), 1000, true, [&] { return ++asked >= 3; }), -1);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(pool.Fill(slot), 4000);

    // Unpaced producers are never held up.
    EXPECT_EQ(PacedWrite(pool, block.data(), 1000, false, nullptr), 1000);
    EXPECT_EQ(PacedWriteLines(pool, "l\n", 2, false, nullptr), 2);

    // A reader that has not read for over a second no longer holds anyone back.
    clock_.Advance(1001);
    EXPECT_EQ(PacedWrite(pool, block.data(), 1000, true, [] { return true; }), 1000);

    // A refused write is retried until the refusal ends (the block goes in
    // once) or the stop comes; a block over the limit is refused for ever.
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

}  // namespace
}  // namespace zerlan
