// TCP relays through whole jobs on loopback: the output server and its
// clients, the input client and server, and stops that must not hang.
#include <algorithm>
#include <atomic>
#include <thread>

#include "support/RelayJob.h"
#include "core/CharPool.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

using testing::BindLoopback;
using testing::FreePort;
using testing::ReadFile;

class TcpRelayThreads : public testing::RelayJob {
protected:
    int64_t Now() { return Clock::Get().MonotonicMs(); }
    // The TCP input, as a client or a server of `port`, into a file output.
    void StartInputToFile(const std::string& port, bool server, const std::string& file,
                          const std::string& more = "") {
        Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" +
                  port + (server ? ";TRUE\"" : ";FALSE\"") + testing::FileOut(file) + more);
        view_.jobs().Start();
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
};

TEST_F(TcpRelayThreads, TheOutputServerKeepsItsLimitAndAFreedPlaceIsServedWhileTheOtherStays) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"DUMMY;Null;Null;TCP;Null;Null;Null;Null;500;0;1;20\" /tcp_out,\"127.0.0.1;" + port +
              ";TRUE;2;FALSE;0\" /nmea,\"TRUE;DEVICE;0;0;0;0;0;0;x;0;1\"");
    view_.jobs().Start();
    ASSERT_EQ(state_.connections[SharedState::kConnTcpOut], "SP" + port);
    CBlockingSocket a, b, c;
    std::string got_a, got_b, got_c;
    ASSERT_TRUE(ConnectClient(a, port));
    ASSERT_TRUE(ReadUntil(a, got_a, "MT16 "));
    ASSERT_TRUE(ConnectClient(b, port));
    ASSERT_TRUE(ReadUntil(b, got_b, "MT16 "));
    EXPECT_TRUE(renderer_.Shows("Accept on Port " + port + " !"));

    // A rover's position is kept for its client: the first slot after the two pre-made ones.
    const std::string gga = "$GPGGA,123456,5229.1,N,01318.1,E,1,5,3.00,64.052,M,0.000,M,,0000*44\r\n";
    a.Send(gga.data(), static_cast<int>(gga.size()), 1);
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::string kept;
            state_.sat_fkp_store.GetGgaText(kept, 2);
            return kept == gga;
        },
        5000));

    // The kernel completes C's connect, but no thread serves it.
    ASSERT_TRUE(ConnectClient(c, port));
    PumpFor(300);
    testing::TakeReady(c, got_c);
    EXPECT_EQ(got_c, "");
    EXPECT_EQ(state_.registry.Query(3), 2);
    a.Cleanup();
    EXPECT_TRUE(ReadUntil(c, got_c, "MT16 "));
    got_b.clear();
    EXPECT_TRUE(ReadUntil(b, got_b, "MT16 "));
    EXPECT_EQ(state_.registry.Query(3), 2);
    EXPECT_TRUE(StopAndWaitIdle(10000));
    EXPECT_EQ(state_.tcp_out_server_started.load(), 0);
}

TEST_F(TcpRelayThreads, TheInputClientSendsItsGgaKeepsAQuietSourceAndConnectsAgainWhenItCloses) {
    CBlockingSocket listener;
    const std::string port = BindLoopback(listener);
    StartInputToFile(port, false, "out.bin", "/nmea,\"TRUE;FALSE;52;29;21.524334;13;18;43.791411;x;0;0\"");
    EXPECT_EQ(state_.connections[SharedState::kConnInput], "C127.0.0.1:" + port);
    CBlockingSocket peer;
    ASSERT_TRUE(testing::AcceptWithin(listener, peer));
    std::string upstream;
    ASSERT_TRUE(ReadUntil(peer, upstream, "\r\n"));
    EXPECT_EQ(upstream.rfind("$GPGGA,", 0), 0u);
    EXPECT_NE(upstream.find(",5229.3587389,N,01318.7298569,E,"), std::string::npos);

    // Longer than the receive time-out before the first byte.
    PumpFor(2600);
    const std::string data = testing::Pattern(5000);
    peer.Send(data.data(), static_cast<int>(data.size()), 2);
    EXPECT_TRUE(PumpUntil([&] { return ReadFile("out.bin") == data; }, 8000));
    EXPECT_EQ(sock::Wait(listener.Handle(), false, 0), sock::kWaitTimedOut);  // no second connect
    EXPECT_NE(testing::Protocol().find("NF TcpClient-Input : no_failure, TcpClientIn-Start "), std::string::npos);

    // The source closing is a failed transfer.
    peer.Cleanup();
    CBlockingSocket again;
    EXPECT_TRUE(testing::AcceptWithin(listener, again));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(TcpRelayThreads, AQuietClientOfTheInputServerIsKeptAndAnOutageWritesOneRecord) {
    const std::string port = FreePort();
    StartInputToFile(port, true, "in.bin", "/miz,\"50;InputDataNull;4;50;OutputDataNull;0\"");
    CBlockingSocket source;
    ASSERT_TRUE(ConnectClient(source, port));
    // Quiet past the receive time-out, yet below the rate limit's 4 s.
    PumpFor(2600);
    source.Send("abc\r\n", 5, 1);
    ASSERT_TRUE(PumpUntil([&] { return ReadFile("in.bin") == "abc\r\n"; }, 5000));
    EXPECT_FALSE(renderer_.Shows("NeuStart TCP-In-Server !!"));

    // A trickle below the minimum: both watches see the outage, one writes it.
    int64_t next_send = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (Now() >= next_send) {
                next_send = Now() + 300;
                send(source.Handle(), "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
            return testing::Protocol().find("ZW InputDataNull") != std::string::npos;
        },
        8000));
    PumpFor(2500);
    EXPECT_EQ(testing::Count(testing::Protocol(), "ZW InputDataNull"), 1) << testing::Protocol();
    EXPECT_TRUE(StopAndWaitIdle(8000));
}

TEST_F(TcpRelayThreads, AnInputServerIsWokenFromItsAcceptByTheStop) {
    const std::string port = FreePort();
    StartInputToFile(port, true, "in.bin");
    CBlockingSocket source;
    ASSERT_TRUE(ConnectClient(source, port));
    source.Send("abc\r\n", 5, 1);
    EXPECT_TRUE(PumpUntil([&] { return ReadFile("in.bin") == "abc\r\n"; }, 5000));
    source.Cleanup();
    // Back in its accept after the client left; only the wake-up ends it.
    EXPECT_TRUE(Shown("NeuStart TCP-In-Server !!"));
    EXPECT_TRUE(StopAndWaitIdle(8000));
}

TEST_F(TcpRelayThreads, InputClientsWaitLongerBeforeTheyTryARefusedConnectAgain) {
    for (const auto& [wait, next] : std::vector<std::pair<int, int>>{{100, 200}, {2000, 4000}, {3000, 5000},
                                                                      {5000, 5000}, {20, 20}}) {
        EXPECT_EQ(NextRetryWait(wait, wait == 20 ? 20 : kMaxRetryWaitMs), next) << wait;
    }
    // The TCP client tries again after 0.1, 0.3, 0.7, 1.5 and 3.1 s, the caster input after 0.9
    // of its 2-s setting. The margins allow for a first refusal shown late on a loaded machine;
    // the TCP client gets an address, as a slow name service would delay every try.
    const struct {
        const char* name;
        const char* inout;
        std::string (*input)(const std::string& port);
        int listen_ms;
        int64_t min_ms;
    } cases[] = {
        {"tcp", "TCP", [](const std::string& p) { return "/tcp_in,\"127.0.0.1;" + p + ";FALSE\""; }, 2300, 2700},
        {"caster", "CAST",
         [](const std::string& p) { return "/cast_in,\"localhost;" + p + ";RTCM3;x;u:p;2000;0;0.0.0.0;8080\""; },
         1000, 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CBlockingSocket listener;
        const std::string port = BindLoopback(listener, false);
        Configure(std::string("/inout_sw,\"") + c.inout + ";Null;Null;Null;Null;Null;Null;Null;1000;0;1;20\" " +
                  c.input(port));
        renderer_.shown.clear();
        view_.jobs().Start();
        ASSERT_TRUE(Shown("retrying"));
        const int64_t start = Now();
        PumpFor(c.listen_ms);
        listener.Listen();
        ASSERT_TRUE(PumpUntil([&] { return sock::Wait(listener.Handle(), false, 0) == sock::kWaitReady; }, 6000));
        EXPECT_GE(Now() - start, c.min_ms);
        CBlockingSocket peer;
        EXPECT_TRUE(testing::AcceptWithin(listener, peer));
        EXPECT_TRUE(StopAndWaitIdle(8000));
    }
}

TEST_F(TcpRelayThreads, TheStopEndsEveryThreadWhileAClientHasStoppedReading) {
    CBlockingSocket source, stalled;
    const std::string out_port = StartRelay(source, 3);
    ASSERT_TRUE(ConnectClient(stalled, out_port, 1024));
    std::atomic<bool> pushing{true};
    std::thread pusher([&] {
        const std::string block(1000, 'x');
        while (pushing.load()) {
            try {
                source.Send(block.data(), static_cast<int>(block.size()), 1);
            } catch (const CBlockingSocketException&) {
                Sleep(1);
            }
        }
    });
    // Until the stalled client's socket buffers are full (1.6 MB here), or at most 3 s.
    PumpUntil([&] { return state_.output_bytes[static_cast<int>(OutputKind::kTcp)].load() > 1500000; }, 3000);
    const int64_t start = Now();
    EXPECT_TRUE(StopAndWaitIdle(12000));
    EXPECT_LT(Now() - start, 8000);
    pushing = false;
    pusher.join();
}

// Not periodic within the test's few megabytes, so a lost or repeated stretch of any length shows.
char ByteAt(uint64_t i) { return static_cast<char>((static_cast<uint32_t>(i) * 2654435761u) >> 24); }

// All clients of the output server are served by one thread: a client whose socket is full
// keeps its remainder, and one that stops reading falls a window behind and is dropped alone.
class LaggingClientThreads : public TcpRelayThreads {
protected:
    void SetUp() override {
        TcpRelayThreads::SetUp();
        saved_window_ = CharPool::DefaultWindow();
        CharPool::SetDefaultWindow(CharPool::kMinWindow);
    }
    void TearDown() override {
        TcpRelayThreads::TearDown();
        CharPool::SetDefaultWindow(saved_window_);
    }
    // Takes what the client has; false at the first byte out of order.
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
    // Feeds while the reading clients keep up (`got`: the least any has), so that only a
    // client that does not read can fall a window behind.
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

    size_t saved_window_ = 0;
};

TEST_F(LaggingClientThreads, FiftyClientsWithSmallReceiveBuffersEachGetEveryByteInOrder) {
    CBlockingSocket source;
    const std::string out_port = StartRelay(source, 60);
    constexpr int kClients = 50;
    std::vector<CBlockingSocket> clients(kClients);
    for (int i = 0; i < kClients; ++i) ASSERT_TRUE(ConnectClient(clients[i], out_port, i % 2 == 0 ? 2048 : 0));
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.Query(3) == kClients + 1; }, 10000));

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
    auto relay = [&] {
        in_order = in_order && Drain(reader, got);
        Feed(source, sent, got);
        return in_order;
    };
    const std::string dropped = stalled_who + " left: it fell more than the pool window behind";
    // The stalled client's socket buffers (a few MB at most) fill before it falls behind.
    EXPECT_TRUE(PumpUntil([&] { return !relay() || renderer_.Shows(dropped); }, 60000));
    ASSERT_TRUE(in_order);
    EXPECT_TRUE(renderer_.Shows(stalled_who + ": "));
    EXPECT_TRUE(renderer_.Shows(" bytes lost, the reader fell more than the pool window behind"));
    EXPECT_FALSE(renderer_.Shows(reader_who + " left"));

    CBlockingSocket again;
    ASSERT_TRUE(ConnectClient(again, out_port));
    ASSERT_TRUE(PumpUntil([&] { return renderer_.Shows(Who(again, out_port) + " connected"); }, 5000));
    const uint64_t again_from = sent;
    std::string again_got;
    EXPECT_TRUE(PumpUntil(
        [&] {
            testing::TakeReady(again, again_got);
            return !relay() || (!again_got.empty() && sent > again_from);
        },
        10000));

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
