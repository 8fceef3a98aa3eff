// TCP relays through whole jobs on loopback: an output server with connecting
// clients, an input client fed by a test server, and a stop that must not
// wait on a client that has stopped reading.
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "RelayTestSupport.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"
#include "platform/Socket.h"

namespace zerlan {
namespace {

using testing::FreePort;

class TcpRelayThreads : public testing::RelayJob {
protected:
    // Reads from `socket` into `got` until `done` holds, answering the view.
    bool ReadUntil(CBlockingSocket& socket, std::string& got, const std::function<bool()>& done) {
        return PumpUntil(
            [&] {
                char buffer[4096];
                try {
                    const int n = socket.Receive(buffer, sizeof buffer, 0);
                    if (n > 0) got.append(buffer, static_cast<size_t>(n));
                } catch (const CBlockingSocketException&) {
                }
                return done();
            },
            8000);
    }
};

TEST_F(TcpRelayThreads, DummyDataReachesEveryClientOfTheOutputServerAndRepliesReachTheStore) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"DUMMY;Null;Null;TCP;Null;Null;Null;Null;500;0;1;20\" /tcp_out,\"127.0.0.1;" + port +
              ";TRUE;2;FALSE;0\" /nmea,\"TRUE;DEVICE;0;0;0;0;0;0;x;0;1\"");
    view_.jobs().Start();
    ASSERT_EQ(state_.connections[SharedState::kConnTcpOut], "SP" + port);

    CBlockingSocket first, second;
    ASSERT_TRUE(ConnectClient(first, port));
    std::string got_first;
    ASSERT_TRUE(ReadUntil(first, got_first, [&] { return got_first.find("MT16 ") != std::string::npos; }));
    // The first client's thread started the acceptor for the second.
    ASSERT_TRUE(ConnectClient(second, port));
    std::string got_second;
    ASSERT_TRUE(ReadUntil(second, got_second, [&] { return got_second.find("\r\n") != std::string::npos; }));
    EXPECT_NE(renderer_.shown.find("Accept on Port " + port + " !"), std::string::npos);
    EXPECT_EQ(state_.registry.Query(3), 2);

    // A rover's position sent back is kept for its client slot (the first
    // server thread's PositionPool slot follows the two pre-made ones).
    const std::string gga = "$GPGGA,123456,5229.1,N,01318.1,E,1,5,3.00,64.052,M,0.000,M,,0000*44\r\n";
    first.Send(gga.data(), static_cast<int>(gga.size()), 1);
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::string kept;
            state_.sat_fkp_store.GetGgaText(kept, 2);
            return kept == gga;
        },
        5000));

    // A client that leaves ends its thread (an acceptor takes its place);
    // the other goes on being served.
    first.Cleanup();
    got_second.clear();
    EXPECT_TRUE(ReadUntil(second, got_second, [&] { return got_second.find("MT16 ") != std::string::npos; }));

    EXPECT_TRUE(StopAndWaitIdle(10000));
    EXPECT_EQ(state_.tcp_out_server_started.load(), 0);
}

TEST_F(TcpRelayThreads, WithOneClientAllowedTheNextIsServedOnlyAfterTheFirstLeaves) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"DUMMY;Null;Null;TCP;Null;Null;Null;Null;500;0;1;20\" /tcp_out,\"127.0.0.1;" + port +
              ";TRUE;1;FALSE;0\"");
    view_.jobs().Start();
    CBlockingSocket first, second;
    ASSERT_TRUE(ConnectClient(first, port));
    std::string got_first;
    ASSERT_TRUE(ReadUntil(first, got_first, [&] { return got_first.find("MT16 ") != std::string::npos; }));
    // The kernel completes the connection, but no thread accepts it.
    ASSERT_TRUE(ConnectClient(second, port));
    std::string got_second;
    const int64_t until = Clock::Get().MonotonicMs() + 300;
    ReadUntil(second, got_second, [&] { return Clock::Get().MonotonicMs() >= until; });
    EXPECT_EQ(got_second, "");
    EXPECT_EQ(state_.registry.Query(3), 1);

    // The client's close is noticed without any send failing first.
    first.Cleanup();
    EXPECT_TRUE(ReadUntil(second, got_second, [&] { return got_second.find("MT16 ") != std::string::npos; }));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(TcpRelayThreads, TheInputClientRelaysATestServersBytesIntoAFileAndSendsItsGga) {
    const std::string port = FreePort();
    CBlockingSocket listener;
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port))));
    listener.Listen();
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";FALSE\" /file_out,\"out.bin,4096;FALSE;0;60;.\\;0896;k;none\" "
              "/nmea,\"TRUE;FALSE;52;29;21.524334;13;18;43.791411;x;0;0\"");
    view_.jobs().Start();
    EXPECT_EQ(state_.connections[SharedState::kConnInput], "C127.0.0.1:" + port);

    CBlockingSocket peer;
    ASSERT_TRUE(listener.Accept(peer, nullptr));
    std::string upstream;
    ASSERT_TRUE(ReadUntil(peer, upstream, [&] { return upstream.find("\r\n") != std::string::npos; }));
    EXPECT_EQ(upstream.rfind("$GPGGA,", 0), 0u);
    EXPECT_NE(upstream.find(",5229.3587389,N,01318.7298569,E,"), std::string::npos);

    std::string data;
    for (int i = 0; i < 5000; ++i) data += static_cast<char>(i * 13 % 256);
    peer.Send(data.data(), static_cast<int>(data.size()), 2);
    EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile("out.bin") == data; }, 8000));
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("NF TcpClient-Input : no_failure, TcpClientIn-Start "),
              std::string::npos);

    // The server closing counts as a failed transfer: the client connects again.
    peer.Cleanup();
    CBlockingSocket again;
    EXPECT_TRUE(listener.Accept(again, nullptr));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(TcpRelayThreads, TheStopEndsEveryThreadWhileAClientHasStoppedReading) {
    const std::string in_port = FreePort();
    const std::string out_port = FreePort();
    CBlockingSocket listener;
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(in_port))));
    listener.Listen();
    Configure("/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + in_port +
              ";FALSE\" /tcp_out,\"127.0.0.1;" + out_port + ";TRUE;3;FALSE;0\"");
    view_.jobs().Start();

    // A client with a tiny window that never reads.
    CBlockingSocket stalled;
    stalled.Create(CBlockingSocket::kStream);
    const int small = 1024;
    setsockopt(stalled.Handle(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(PumpUntil(
        [&] {
            try {
                stalled.Connect(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(out_port))), 1);
                return true;
            } catch (const CBlockingSocketException&) {
                return false;
            }
        },
        5000));

    // The source pushes as fast as the relay takes it.
    CBlockingSocket source;
    ASSERT_TRUE(listener.Accept(source, nullptr));
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
    const int64_t start = Clock::Get().MonotonicMs();
    EXPECT_TRUE(StopAndWaitIdle(12000));
    EXPECT_LT(Clock::Get().MonotonicMs() - start, 8000);
    EXPECT_EQ(state_.registry.Query(1), 0);
    pushing = false;
    pusher.join();
}

TEST_F(TcpRelayThreads, AnInputServerIsWokenFromItsAcceptByTheStop) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";TRUE\" /file_out,\"in.bin,4096;FALSE;0;60;.\\;0896;k;none\"");
    view_.jobs().Start();
    CBlockingSocket source;
    ASSERT_TRUE(ConnectClient(source, port));
    source.Send("abc\r\n", 5, 1);
    EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile("in.bin") == "abc\r\n"; }, 5000));
    source.Cleanup();
    // Back in its accept after the client left; only the wake-up ends it.
    PumpUntil([&] { return renderer_.shown.find("NeuStart TCP-In-Server !!") != std::string::npos; }, 5000);
    EXPECT_TRUE(StopAndWaitIdle(8000));
}


TEST_F(TcpRelayThreads, WithTwoClientsAllowedAFreedPlaceIsServedWhileTheOtherStays) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"DUMMY;Null;Null;TCP;Null;Null;Null;Null;500;0;1;20\" /tcp_out,\"127.0.0.1;" + port +
              ";TRUE;2;FALSE;0\"");
    view_.jobs().Start();
    CBlockingSocket a, b, c;
    std::string got_a, got_b, got_c;
    ASSERT_TRUE(ConnectClient(a, port));
    ASSERT_TRUE(ReadUntil(a, got_a, [&] { return got_a.find("MT16 ") != std::string::npos; }));
    ASSERT_TRUE(ConnectClient(b, port));
    ASSERT_TRUE(ReadUntil(b, got_b, [&] { return got_b.find("MT16 ") != std::string::npos; }));
    ASSERT_TRUE(ConnectClient(c, port));
    a.Cleanup();
    // C takes A's place while B is still being served.
    EXPECT_TRUE(ReadUntil(c, got_c, [&] { return got_c.find("MT16 ") != std::string::npos; }));
    got_b.clear();
    EXPECT_TRUE(ReadUntil(b, got_b, [&] { return got_b.find("MT16 ") != std::string::npos; }));
    EXPECT_EQ(state_.registry.Query(3), 2);
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(TcpRelayThreads, AQuietSourceKeepsItsOneConnectionToTheInputClient) {
    const std::string port = FreePort();
    CBlockingSocket listener;
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port))));
    listener.Listen();
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";FALSE\" /file_out,\"out.bin,4096;FALSE;0;60;.\\;0896;k;none\"");
    view_.jobs().Start();
    CBlockingSocket peer;
    ASSERT_TRUE(listener.Accept(peer, nullptr));
    // Longer than the receive time-out before the first byte.
    PumpUntil([] { return false; }, 2600);
    const std::string data(3000, 'q');
    peer.Send(data.data(), static_cast<int>(data.size()), 2);
    EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile("out.bin") == data; }, 5000));
    EXPECT_EQ(sock::Wait(listener.Handle(), false, 0), sock::kWaitTimedOut);  // no second connect
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(TcpRelayThreads, AQuietClientOfTheInputServerIsKeptAndAnOutageWritesOneRecord) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE;Null;1000;0;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";TRUE\" /file_out,\"in.bin,4096;FALSE;0;60;.\\;0896;k;none\" "
              "/miz,\"50;InputDataNull;4;50;OutputDataNull;0\"");
    view_.jobs().Start();
    CBlockingSocket source;
    ASSERT_TRUE(ConnectClient(source, port));
    // Quiet past the receive time-out, yet below the rate limit's 4 s.
    PumpUntil([] { return false; }, 2600);
    source.Send("abc\r\n", 5, 1);
    ASSERT_TRUE(PumpUntil([&] { return testing::ReadFile("in.bin") == "abc\r\n"; }, 5000));
    EXPECT_FALSE(renderer_.Shows("NeuStart TCP-In-Server !!"));

    // The trickle stays below the minimum: both watches see the outage, one writes it.
    int64_t next_send = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (Clock::Get().MonotonicMs() >= next_send) {
                next_send = Clock::Get().MonotonicMs() + 300;
                try {
                    source.Send("x", 1, 0);
                } catch (const CBlockingSocketException&) {
                }
            }
            return testing::ReadFile("Protokol.dat").find("ZW InputDataNull") != std::string::npos;
        },
        8000));
    PumpUntil([] { return false; }, 2500);
    const std::string records = testing::ReadFile("Protokol.dat");
    size_t count = 0;
    for (size_t at = records.find("ZW InputDataNull"); at != std::string::npos;
         at = records.find("ZW InputDataNull", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 1u) << records;
    EXPECT_TRUE(StopAndWaitIdle(8000));
}

TEST_F(TcpRelayThreads, TheInputClientWaitsLongerAfterEachRefusedConnect) {
    for (const auto& [wait, next] : std::vector<std::pair<int, int>>{{100, 200}, {2000, 4000}, {3000, 5000},
                                                                      {5000, 5000}, {20, 20}}) {
        EXPECT_EQ(NextRetryWait(wait, wait == 20 ? 20 : kMaxRetryWaitMs), next) << wait;
    }
    const std::string port = FreePort();
    CBlockingSocket listener;  // bound but not listening: connects are refused
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port))));
    Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;Null;Null;1000;0;1;20\" /tcp_in,\"localhost;" + port +
              ";FALSE\"");
    view_.jobs().Start();
    // The input thread starts last and tries at once.
    const int64_t start = Clock::Get().MonotonicMs();
    PumpUntil([] { return false; }, 1000);
    listener.Listen();
    // Attempts at about 0, 0.1, 0.3, 0.7 and 1.5 s: the fifth one connects,
    // where a 100-ms retry would be in at once.
    CBlockingSocket peer;
    ASSERT_TRUE(PumpUntil([&] { return sock::Wait(listener.Handle(), false, 0) == sock::kWaitReady; }, 6000));
    EXPECT_GE(Clock::Get().MonotonicMs() - start, 1350);
    EXPECT_TRUE(listener.Accept(peer, nullptr));
    EXPECT_TRUE(StopAndWaitIdle(8000));
}

}  // namespace
}  // namespace zerlan
