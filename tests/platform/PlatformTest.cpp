// Windows names on Linux, the log's time prefix, and the queue between the job threads and the view.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/MessageQueue.h"
#include "platform/Fifo.h"
#include "platform/Paths.h"
#include "platform/SerialPort.h"

namespace zerlan {
namespace {

// The 0xBB and 0xAF slash substitutes are covered where files and casters use them.
TEST(Paths, WindowsNamesMapOntoPathsDevicesAndFifos) {
    EXPECT_EQ(MapPath(".\\log\\Protokol.dat"), "./log/Protokol.dat");
    EXPECT_EQ(MapPath("STDOUT"), "STDOUT");
    EXPECT_EQ(SerialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("ttyACM1"), "/dev/ttyACM1");
    unsetenv("ZERLAN_PIPE_DIR");
    EXPECT_EQ(FifoPath("\\\\.\\pipe\\PipeIn"), "/tmp/PipeIn");
    EXPECT_EQ(FifoPath("\\var\\gnss\\in.fifo"), "/var/gnss/in.fifo");
}

TEST(Console, EveryLogLineStartsWithTheLocalTime) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    WriteLogLines(out, "\r\nwritten in ProtocolFile\r\nsecond\nlast without end");
    std::rewind(out);
    char buffer[256] = {};
    buffer[std::fread(buffer, 1, sizeof buffer - 1, out)] = '\0';
    std::fclose(out);
    Clock::Install(nullptr);
    EXPECT_STREQ(buffer,
                 "2025-02-03 09:05:07 written in ProtocolFile\n"
                 "2025-02-03 09:05:07 second\n"
                 "2025-02-03 09:05:07 last without end\n");
}

TEST(MessageQueueThreads, PostedTextsArriveWholeAndInPostingOrderPerSender) {
    MessageQueue queue;
    std::vector<std::string> seen;
    queue.Attach([&](const Message& m) { seen.push_back(m.text); });

    std::vector<std::thread> senders;
    for (int s = 0; s < 4; ++s) {
        senders.emplace_back([&queue, s] {
            for (int i = 0; i < 200; ++i)
                queue.PostText(108, std::string(50, static_cast<char>('a' + s)) + std::to_string(i));
        });
    }
    for (auto& t : senders) t.join();
    queue.PumpPending();
    ASSERT_EQ(seen.size(), 800u);
    std::vector<int> next(4, 0);
    for (const std::string& text : seen) {
        int s = text[0] - 'a';
        ASSERT_EQ(text, std::string(50, text[0]) + std::to_string(next[s]));
        ++next[s];
    }
}

// A send waits for the view, but never for a view that is itself the sender or that has gone.
TEST(MessageQueueThreads, SendWaitsForTheHandlerUnlessOnTheViewThreadOrClosed) {
    MessageQueue queue;
    std::atomic<int> handled{0};
    queue.Attach([&](const Message&) { handled.fetch_add(1); });
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        queue.Send(102);
        returned = true;
    });
    while (queue.Pending() == 0) std::this_thread::yield();
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(queue.PumpOne(1000));
    worker.join();
    EXPECT_EQ(handled.load(), 1);
    queue.Send(102);
    EXPECT_EQ(handled.load(), 2);
    EXPECT_EQ(queue.Pending(), 0u);

    std::thread waiting([&] { queue.Send(102); });
    while (queue.Pending() == 0) std::this_thread::yield();
    queue.Close();
    waiting.join();
    queue.Post(108);
    EXPECT_EQ(queue.Pending(), 0u);
    EXPECT_FALSE(queue.PumpOne(0));
    EXPECT_EQ(handled.load(), 2);
}

}  // namespace
}  // namespace zerlan
