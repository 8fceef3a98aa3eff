// Clients of the TCP output server, all served by one thread: each gets
// every byte in order, however often its socket is full; one that stops
// reading falls more than the pool window behind and is dropped alone.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/CharPool.h"
#include "support/RelayJob.h"

namespace zerlan {
namespace {

using testing::BindLoopback;
using testing::FreePort;

// Not periodic within the test's few megabytes, so a lost or repeated stretch
// of any length shows.
char ByteAt(uint64_t i) { return static_cast<char>((static_cast<uint32_t>(i) * 2654435761u) >> 24); }

class LaggingClientThreads : public testing::RelayJob {
protected:
    void SetUp() override {
        RelayJob::SetUp();
        saved_window_ = CharPool::DefaultWindow();
        CharPool::SetDefaultWindow(CharPool::kMinWindow);
    }
    void TearDown() override {
        RelayJob::TearDown();
        CharPool::SetDefaultWindow(saved_window_);
    }

    // Takes what the reading client has; false at the first byte out of order.
    bool Drain(CBlockingSocket& client, uint64_t& got) {
        char buffer[65536];
        try {
            const int n = client.Receive(buffer, sizeof buffer, 0);
            for (int i = 0; i < n; ++i, ++got) {
                if (buffer[i] != ByteAt(got)) return false;
            }
        } catch (const CBlockingSocketException&) {
        }
        return true;
    }
    // Feeds the source while the reading clients keep up (`got`: the least
    // any has), so that only a client that does not read can fall a window behind.
    void Feed(CBlockingSocket& source, uint64_t& sent, uint64_t got) {
        constexpr uint64_t kBlock = 16 * 1024;
        if (sent - got > CharPool::kMinWindow / 2) return;
        std::string block(kBlock, '\0');
        for (uint64_t i = 0; i < kBlock; ++i) block[i] = ByteAt(sent + i);
        source.Send(block.data(), static_cast<int>(block.size()), 2);
        sent += kBlock;
    }
    std::string Who(CBlockingSocket& client, const std::string& port) {
        CSocketAddress local;
        client.GetSockName(&local);
        return "output: TCP server port " + port + ": client 127.0.0.1:" + std::to_string(local.Port());
    }

    // A relay from a TCP source to the output server; returns the output port.
    std::string StartRelay(CBlockingSocket& source, int max_clients) {
        CBlockingSocket listener;
        const std::string in_port = BindLoopback(listener);
        const std::string out_port = FreePort();
        Configure("/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + in_port +
                  ";FALSE\" /tcp_out,\"127.0.0.1;" + out_port + ";TRUE;" + std::to_string(max_clients) +
                  ";FALSE;0\"");
        view_.jobs().Start();
        EXPECT_TRUE(testing::AcceptWithin(listener, source));
        return out_port;
    }

    size_t saved_window_ = 0;
};

TEST_F(LaggingClientThreads, FiftyClientsWithSmallReceiveBuffersEachGetEveryByteInOrder) {
    CBlockingSocket source;
    const std::string out_port = StartRelay(source, 60);
    constexpr int kClients = 50;
    std::vector<CBlockingSocket> clients(kClients);
    for (int i = 0; i < kClients; ++i) ASSERT_TRUE(ConnectClient(clients[i], out_port, i % 2 == 0 ? 2048 : 0));
    // Every client served, and the acceptor waiting for the next.
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.Query(3) == kClients + 1; }, 10000));

    // The small buffers fill again and again, so the server keeps unsent
    // remainders all the time; the 64 KiB window drops none that reads.
    constexpr uint64_t kTotal = 256 * 1024;
    std::vector<uint64_t> got(kClients, 0);
    uint64_t sent = 0;
    bool in_order = true;
    EXPECT_TRUE(PumpUntil(
        [&] {
            for (int i = 0; i < kClients; ++i) in_order = in_order && Drain(clients[i], got[i]);
            const uint64_t least = *std::min_element(got.begin(), got.end());
            if (sent < kTotal) Feed(source, sent, least);
            return !in_order || least == kTotal;
        },
        30000));
    EXPECT_TRUE(in_order);
    EXPECT_EQ(*std::min_element(got.begin(), got.end()), kTotal);
    EXPECT_EQ(*std::max_element(got.begin(), got.end()), kTotal);
    EXPECT_FALSE(renderer_.Shows(" left: "));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(LaggingClientThreads, AClientThatStopsReadingIsDroppedAndTheOtherKeepsAWholeStream) {
    CBlockingSocket source;
    const std::string out_port = StartRelay(source, 3);

    CBlockingSocket reader, stalled;
    ASSERT_TRUE(ConnectClient(reader, out_port));
    ASSERT_TRUE(ConnectClient(stalled, out_port, 1024));
    const std::string reader_who = Who(reader, out_port);
    const std::string stalled_who = Who(stalled, out_port);
    // Both are served before the first byte, so both are owed the whole stream.
    ASSERT_TRUE(PumpUntil(
        [&] { return renderer_.Shows(reader_who + " connected") && renderer_.Shows(stalled_who + " connected"); },
        5000));

    uint64_t sent = 0, got = 0;
    bool in_order = true;
    const std::string dropped = stalled_who + " left: it fell more than the pool window behind";
    // The stalled client's socket buffers fill first (a few MB at most), then
    // its reader falls behind the 64 KiB window.
    EXPECT_TRUE(PumpUntil(
        [&] {
            in_order = in_order && Drain(reader, got);
            Feed(source, sent, got);
            return !in_order || renderer_.Shows(dropped);
        },
        60000));
    ASSERT_TRUE(in_order);
    EXPECT_TRUE(renderer_.Shows(stalled_who + ": "));
    EXPECT_TRUE(renderer_.Shows(" bytes lost, the reader fell more than the pool window behind"));
    EXPECT_FALSE(renderer_.Shows(reader_who + " left"));

    // The dropped client may come again and is served from then on.
    CBlockingSocket again;
    ASSERT_TRUE(ConnectClient(again, out_port));
    const std::string again_who = Who(again, out_port);
    ASSERT_TRUE(PumpUntil([&] { return renderer_.Shows(again_who + " connected"); }, 5000));
    const uint64_t again_from = sent;
    uint64_t again_got = 0;
    EXPECT_TRUE(PumpUntil(
        [&] {
            in_order = in_order && Drain(reader, got);
            Feed(source, sent, got);
            char buffer[4096];
            try {
                again_got += static_cast<uint64_t>(std::max(again.Receive(buffer, sizeof buffer, 0), 0));
            } catch (const CBlockingSocketException&) {
            }
            return !in_order || (again_got > 0 && sent > again_from);
        },
        10000));

    // Whatever was sent reaches the reading client whole.
    EXPECT_TRUE(PumpUntil(
        [&] {
            in_order = in_order && Drain(reader, got);
            return !in_order || got == sent;
        },
        10000));
    EXPECT_TRUE(in_order);
    EXPECT_EQ(got, sent);
    EXPECT_FALSE(renderer_.Shows(reader_who + " left"));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

}  // namespace
}  // namespace zerlan
