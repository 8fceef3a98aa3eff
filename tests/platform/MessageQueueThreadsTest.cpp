#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zerlan {
namespace {

TEST(MessageQueueThreads, PostedTextsArriveWholeAndInPostingOrderPerSender) {
    MessageQueue queue;
    std::vector<std::string> seen;
    queue.Attach([&](const Message& m) { seen.push_back(m.text); });

    constexpr int kSenders = 4;
    constexpr int kEach = 200;
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&queue, s] {
            for (int i = 0; i < kEach; ++i) {
                std::string text(50, static_cast<char>('a' + s));
                text += std::to_string(i);
                queue.PostText(108, text);
            }
        });
    }
    for (auto& t : senders) t.join();
    queue.PumpPending();

    ASSERT_EQ(seen.size(), static_cast<size_t>(kSenders * kEach));
    std::vector<int> next(kSenders, 0);
    for (const std::string& text : seen) {
        int s = text[0] - 'a';
        ASSERT_EQ(text, std::string(50, text[0]) + std::to_string(next[s]));
        ++next[s];
    }
}

TEST(MessageQueueThreads, SendWaitsForTheHandler) {
    MessageQueue queue;
    std::atomic<int> handled{0};
    queue.Attach([&](const Message&) { handled.fetch_add(1); });
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        queue.Send(102);
        returned = true;
    });
    // The sender stays blocked until the view pumps.
    while (queue.Pending() == 0) std::this_thread::yield();
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(queue.PumpOne(1000));
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(handled.load(), 1);
    // On the view thread itself a send cannot wait for the view: it runs the handler.
    queue.Send(102);
    EXPECT_EQ(handled.load(), 2);
    EXPECT_EQ(queue.Pending(), 0u);
}

TEST(MessageQueueThreads, CloseReleasesWaitingSendersAndDropsPosts) {
    MessageQueue queue;
    queue.Attach([](const Message&) {});
    std::thread worker([&] { queue.Send(102); });
    while (queue.Pending() == 0) std::this_thread::yield();
    queue.Close();
    worker.join();
    queue.Post(108);
    EXPECT_EQ(queue.Pending(), 0u);
    EXPECT_FALSE(queue.PumpOne(0));
}

}  // namespace
}  // namespace zerlan
