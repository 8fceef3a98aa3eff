// TCP relays through whole jobs on loopback: the output server and its
// clients, the input client and the input server, the retries of input
// clients, and a stop that must not wait on a client that stopped reading.
#include <atomic>
#include <thread>

#include "support/RelayJob.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"
#include "platform/Socket.h"

namespace zerlan {
namespace {

using testing::BindLoopback;
using testing::FileOut;
using testing::FreePort;
using testing::ReadFile;

class TcpRelayThreads : public testing::RelayJob {
protected:
    int64_t Now() { return Clock::Get().MonotonicMs(); }
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
    // A's thread started the acceptor for B.
    ASSERT_TRUE(ConnectClient(b, port));
    ASSERT_TRUE(ReadUntil(b, got_b, "MT16 "));
    EXPECT_TRUE(renderer_.Shows("Accept on Port " + port + " !"));

    // A rover's position sent back is kept for its client slot (the first
    // server thread's slot follows the two pre-made ones).
    const std::string gga = "$GPGGA,123456,5229.1,N,01318.1,E,1,5,3.00,64.052,M,0.000,M,,0000*44\r\n";
    a.Send(gga.data(), static_cast<int>(gga.size()), 1);
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::string kept;
            state_.sat_fkp_store.GetGgaText(kept, 2);
            return kept == gga;
        },
        5000));

    // Both places taken: the kernel completes C's connect, but no thread serves it.
    ASSERT_TRUE(ConnectClient(c, port));
    PumpFor(300);
    testing::TakeReady(c, got_c);
    EXPECT_EQ(got_c, "");
    EXPECT_EQ(state_.registry.Query(3), 2);
    // A leaving frees its place for C while B goes on being served.
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
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";FALSE\"" + FileOut("out.bin") + "/nmea,\"TRUE;FALSE;52;29;21.524334;13;18;43.791411;x;0;0\"");
    view_.jobs().Start();
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

    // The source closing is a failed transfer: the client connects again.
    peer.Cleanup();
    CBlockingSocket again;
    EXPECT_TRUE(testing::AcceptWithin(listener, again));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(TcpRelayThreads, AQuietClientOfTheInputServerIsKeptAndAnOutageWritesOneRecord) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";TRUE\"" + FileOut("in.bin") + "/miz,\"50;InputDataNull;4;50;OutputDataNull;0\"");
    view_.jobs().Start();
    CBlockingSocket source;
    ASSERT_TRUE(ConnectClient(source, port));
    // Quiet past the receive time-out, yet below the rate limit's 4 s.
    PumpFor(2600);
    source.Send("abc\r\n", 5, 1);
    ASSERT_TRUE(PumpUntil([&] { return ReadFile("in.bin") == "abc\r\n"; }, 5000));
    EXPECT_FALSE(renderer_.Shows("NeuStart TCP-In-Server !!"));

    // The trickle stays below the minimum: both watches see the outage, one writes it.
    int64_t next_send = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (Now() >= next_send) {
                next_send = Now() + 300;
                try {
                    source.Send("x", 1, 0);
                } catch (const CBlockingSocketException&) {
                }
            }
            return testing::Protocol().find("ZW InputDataNull") != std::string::npos;
        },
        8000));
    PumpFor(2500);
    EXPECT_EQ(testing::Count(testing::Protocol(), "ZW InputDataNull"), 1u) << testing::Protocol();
    EXPECT_TRUE(StopAndWaitIdle(8000));
}

TEST_F(TcpRelayThreads, AnInputServerIsWokenFromItsAcceptByTheStop) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";TRUE\"" + FileOut("in.bin"));
    view_.jobs().Start();
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
    // The TCP client tries again after 0.1, 0.3, 0.7, 1.5 and 3.1 s, the
    // caster input after 0.9 of its 2-s setting; a retry without a wait would
    // be in at once after the listen. The margins allow for a loaded machine
    // showing the first refusal late. (The TCP client gets an address to look
    // up nothing: a slow name service would delay every try.)
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
        // Timed from the first refusal: a loaded machine may start the input late.
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
    CBlockingSocket listener;
    const std::string in_port = BindLoopback(listener);
    const std::string out_port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + in_port +
              ";FALSE\" /tcp_out,\"127.0.0.1;" + out_port + ";TRUE;3;FALSE;0\"");
    view_.jobs().Start();

    // A client with a tiny window that never reads.
    CBlockingSocket stalled;
    ASSERT_TRUE(ConnectClient(stalled, out_port, 1024));

    // The source pushes as fast as the relay takes it.
    CBlockingSocket source;
    ASSERT_TRUE(testing::AcceptWithin(listener, source));
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
    // Until the client's buffers are full and its thread hangs in a send.
    PumpUntil([&] { return state_.output_bar[static_cast<int>(OutputKind::kTcp)].load() > 50000; }, 3000);
    const int64_t start = Now();
    EXPECT_TRUE(StopAndWaitIdle(12000));
    EXPECT_LT(Now() - start, 8000);
    pushing = false;
    pusher.join();
}

}  // namespace
}  // namespace zerlan
