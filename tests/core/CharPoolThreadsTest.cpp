#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/CharPool.h"
#include "core/PacedWrite.h"
#include "core/ThreadRegistry.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

// A numbered block: writer (1 byte), sequence (4), payload length (2), payload.
constexpr int kHeader = 7;

uint8_t PayloadByte(int writer, int seq, int i) { return static_cast<uint8_t>(writer * 31 + seq * 7 + i); }

std::string MakeBlock(int writer, int seq, int payload) {
    std::string b(kHeader + payload, '\0');
    b[0] = static_cast<char>(writer);
    for (int k = 0; k < 4; ++k) b[1 + k] = static_cast<char>((seq >> (8 * k)) & 0xFF);
    b[5] = static_cast<char>(payload & 0xFF);
    b[6] = static_cast<char>(payload >> 8);
    for (int i = 0; i < payload; ++i) b[kHeader + i] = static_cast<char>(PayloadByte(writer, seq, i));
    return b;
}

// Takes a reader's byte stream apart and checks that every writer's blocks
// arrive whole, in order, each once.
class BlockChecker {
public:
    explicit BlockChecker(int writers) : next_(writers, 0) {}

    void Feed(const char* data, int n) {
        pending_.append(data, n);
        size_t at = 0;
        while (faults_ == 0 && pending_.size() - at >= static_cast<size_t>(kHeader)) {
            const auto* h = reinterpret_cast<const uint8_t*>(pending_.data() + at);
            const int payload = h[5] | (h[6] << 8);
            if (pending_.size() - at < static_cast<size_t>(kHeader + payload)) break;
            const int writer = h[0];
            const int seq = h[1] | (h[2] << 8) | (h[3] << 16) | (h[4] << 24);
            // After a fault the framing is lost and nothing further can be trusted.
            faults_ += writer >= static_cast<int>(next_.size()) || seq != next_[writer] ||
                       pending_.compare(at, kHeader + payload, MakeBlock(writer, seq, payload)) != 0;
            ++next_[writer % next_.size()];
            at += kHeader + payload;
        }
        pending_.erase(0, at);
    }

    int faults() const { return faults_; }
    int received(int writer) const { return next_[writer]; }
    size_t leftover() const { return pending_.size(); }

private:
    std::vector<int> next_;
    std::string pending_;
    int faults_ = 0;
};

bool Overdue(std::chrono::steady_clock::time_point deadline) { return std::chrono::steady_clock::now() > deadline; }

TEST(CharPoolThreads, EveryReaderGetsEveryBlockOfEveryWriterInOrder) {
    constexpr int kWriters = 3;
    constexpr int kReaders = 3;
    constexpr int kBlocks = 400;  // about 270 kB in all: inside the window, so nothing may be lost
    ThreadRegistry registry;
    ASSERT_EQ(registry.SetState(1, 0), 0);
    CharPool pool(&registry);
    for (int r = 0; r < kReaders; ++r) ASSERT_EQ(pool.AddEnabledReader(), r);

    auto block_size = [](int writer, int seq) { return 20 + (writer * 131 + seq * 57) % 380; };
    int64_t total = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int s = 0; s < kBlocks; ++s) total += kHeader + block_size(w, s);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::atomic<int64_t>> consumed(kReaders);
    std::atomic<int> write_failures{0};
    std::atomic<bool> writers_done{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int s = 0; s < kBlocks; ++s) {
                const std::string b = MakeBlock(w, s, block_size(w, s));
                const int n = static_cast<int>(b.size());
                write_failures += WriteWithRetry(pool, b.data(), n, [&] { return registry.StopRequested(); }) != n;
            }
        });
    }

    // Adds and drops a reader of its own while the others run.
    std::thread churn([&] {
        std::vector<char> dest(CharPool::kBufferSize);
        while (!writers_done.load()) {
            const int slot = pool.AddEnabledReader();
            if (slot < 0) {
                std::this_thread::yield();
                continue;
            }
            for (int i = 0; i < 5; ++i) pool.Read(dest.data(), slot);
            while (pool.RemoveReader(slot) != 0) std::this_thread::yield();
        }
    });

    std::vector<BlockChecker> checkers(kReaders, BlockChecker(kWriters));
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            std::vector<char> dest(CharPool::kBufferSize);
            while (consumed[r].load() < total && !Overdue(deadline) && checkers[r].faults() == 0) {
                const int n = pool.Read(dest.data(), r);
                if (n > 0) {
                    checkers[r].Feed(dest.data(), n);
                    consumed[r] += n;
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }

    for (auto& t : writers) t.join();
    writers_done = true;
    churn.join();
    for (auto& t : readers) t.join();

    EXPECT_EQ(write_failures.load(), 0);
    for (int r = 0; r < kReaders; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(checkers[r].faults(), 0);
        EXPECT_EQ(consumed[r].load(), total);
        EXPECT_EQ(checkers[r].leftover(), 0u);
        for (int w = 0; w < kWriters; ++w) EXPECT_EQ(checkers[r].received(w), kBlocks);
    }
}

TEST(CharPoolThreads, AWaitingReaderWakesForEachBlockAndTheWaitIsBounded) {
    ThreadRegistry registry;
    registry.SetState(1, 0);
    CharPool pool(&registry);
    const int slot = pool.AddEnabledReader();
    ASSERT_GE(slot, 0);

    // Nothing written: the wait ends by itself.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.WaitForData(slot, 30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));

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

    // A stop ends a wait at once, as does a reader removed meanwhile.
    registry.SetState(0, 1);
    EXPECT_EQ(pool.WaitForData(slot, 5000), 0);
}

}  // namespace
}  // namespace zerlan
