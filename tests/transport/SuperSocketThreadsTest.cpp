#include "transport/SuperSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "core/SharedState.h"
#include "platform/Sleep.h"
#include "transport/Sockets.h"

namespace zerlan {
namespace {

using Steady = std::chrono::steady_clock;

int64_t MsSince(Steady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

class SuperSocketThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        shared = std::make_unique<SharedState>();
        shared->registry.SetState(1, 0);
        sockets = std::make_unique<SocketSet>(shared.get());
    }
    std::unique_ptr<SharedState> shared;
    std::unique_ptr<SocketSet> sockets;
};

TEST_F(SuperSocketThreadsTest, AcceptReleasedByStopIsInterruptedNotConnected) {
    // The stop may land before the thread reaches accept (then the accept
    // fails, 1); retry until one run shows the blocked case.
    bool seen_interrupted = false;
    for (int attempt = 0; attempt < 20 && !seen_interrupted; ++attempt) {
        CSuperSocket& listener = sockets->tcp_out_server;
        ASSERT_EQ(listener.ServerStart("0", "127.0.0.1"), 0);
        std::atomic<int> result{-1};
        CBlockingSocket target;
        std::thread acceptor([&] {
            CSocketAddress address;
            result.store(listener.Accept(target, &address));
        });
        Sleep(5 + attempt);
        const auto start = Steady::now();
        EXPECT_EQ(listener.Stop(), 0);
        acceptor.join();
        EXPECT_LT(MsSince(start), 1000);
        EXPECT_NE(result.load(), 0);
        EXPECT_FALSE(target.IsOpen());
        seen_interrupted = result.load() == CSuperSocket::kInterrupted;
    }
    EXPECT_TRUE(seen_interrupted);
}

TEST_F(SuperSocketThreadsTest, StopReleasesUdpReceiverOfSharedInstance) {
    CSuperSocket& udp = sockets->udp_out_client;
    ASSERT_EQ(udp.UdpStart("127.0.0.1", "9", "127.0.0.1", "0", "10", "OUTCLI"), 0);
    std::atomic<int> result{-1};
    const auto start = Steady::now();
    std::thread listener([&] {
        char buf[1500];
        // A stopped socket either wakes the wait at once or fails the next call.
        int r = udp.UdpReceive(buf, 1499, "OUTCLI");
        if (r == 0) r = udp.UdpReceive(buf, 1499, "OUTCLI");
        result.store(r);
    });
    Sleep(5);
    EXPECT_EQ(udp.Stop(), 0);
    listener.join();
    EXPECT_EQ(result.load(), 2);
    EXPECT_LT(MsSince(start), 2500);
}

TEST_F(SuperSocketThreadsTest, SenderWalksTableWhileListenerRegisters) {
    CSuperSocket& server = sockets->udp_out_server;
    ASSERT_EQ(server.UdpStart("", "", "127.0.0.1", "0", "3", "OUTSRV"), 0);
    const CSocketAddress to("127.0.0.1", server.LocalPort());
    CBlockingSocket clients[5];
    for (auto& c : clients) {
        c.Create(CBlockingSocket::kDatagram);
        c.Bind(CSocketAddress("127.0.0.1", 0));
    }
    std::atomic<bool> stop{false};
    std::atomic<int> sends{0};
    std::thread sender([&] {
        while (!stop.load()) {
            int n = 0;
            server.UdpSendAll("data", 4, &n);
            EXPECT_EQ(n % 4, 0);
            EXPECT_LE(n, 12);
            sends.fetch_add(1);
            Sleep(0);
        }
    });
    char buf[100];
    for (int round = 0; round < 20; ++round) {
        const int c = round % 5;
        const char* word = round % 4 == 3 ? "!-!-" : "!+!+";
        clients[c].SendDatagram(word, 4, to, 1);
        ASSERT_EQ(server.UdpRegister(buf, 99), 0);
        EXPECT_LE(server.UdpClientCount(), 3);
    }
    for (int i = 0; i < 1000 && sends.load() < 10; ++i) Sleep(1);
    stop.store(true);
    sender.join();
    EXPECT_EQ(sockets->udp_clients.load(), server.UdpClientCount());
    EXPECT_GE(sends.load(), 10);
    server.Stop();
}

}  // namespace
}  // namespace zerlan
