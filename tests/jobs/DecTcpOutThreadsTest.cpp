// The decoded-text TCP server through whole jobs on loopback: RTCM 3 frames
// come in over a TCP input, the decoder's text lines go out to test clients,
// and the stop ends every server thread, the listening ones included.
#include <vector>

#include "RelayTestSupport.h"
#include "decoder/Rtcm3FrameBuilder.h"

namespace zerlan {
namespace {

using testing::FreePort;

std::string Station1005() {
    CRtcm3FrameBuilder b;
    b.U(12, 1005).U(12, 611).U(6, 0).U(1, 1).U(1, 0).U(1, 0).U(1, 0);
    b.S(38, 38692975138LL).U(1, 0).U(1, 0).S(38, 34365713345LL).U(2, 0).S(38, 37173693757LL);
    const std::vector<uint8_t> frame = b.Frame();
    return std::string(frame.begin(), frame.end());
}

class DecTcpOutThreads : public testing::RelayJob {
protected:
    void SetUp() override {
        RelayJob::SetUp();
        source_listener_.Create(CBlockingSocket::kStream);
        source_listener_.Bind(CSocketAddress("127.0.0.1", 0));
        source_listener_.Listen();
        in_port_ = std::to_string(source_listener_.BoundPort());
    }
    // A job whose TCP input client connects to the test's source, with the
    // decoder on and its text served on `dec_port` for `clients` clients.
    void ConfigureDecoderJob(const std::string& dec_port, int clients, const std::string& extra = "") {
        Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;Null;RTCM;1000;0;-1;20\" /tcp_in,\"127.0.0.1;" +
                  in_port_ + ";FALSE\" /dec_out,\"FALSE;x;FALSE;a,4096;TRUE;" + dec_port + ";" +
                  std::to_string(clients) + "\" " + extra);
    }
    // Feeds frames to the job's input while reading `socket`, until `done`:
    // decoded text reaches only clients already accepted, so the source
    // keeps sending.
    bool FeedAndReadUntil(CBlockingSocket& socket, std::string& got, const std::function<bool()>& done) {
        const std::string frame = Station1005();
        return PumpUntil(
            [&] {
                source_.Send(frame.data(), static_cast<int>(frame.size()), 1);
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
    void AcceptSource() { ASSERT_TRUE(source_listener_.Accept(source_, nullptr)); }

    CBlockingSocket source_listener_;
    CBlockingSocket source_;
    std::string in_port_;
};

TEST_F(DecTcpOutThreads, DecodedLinesReachEveryClientAndTheStopEndsTheListeningThread) {
    const std::string port = FreePort();
    ConfigureDecoderJob(port, 2);
    view_.jobs().Start();
    ASSERT_TRUE(view_.jobs().EverStarted());
    EXPECT_NE(renderer_.shown.find("Decoder-TcpOut Thread !"), std::string::npos);
    EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 1);
    AcceptSource();

    CBlockingSocket first, second;
    ASSERT_TRUE(ConnectClient(first, port));
    std::string got_first;
    ASSERT_TRUE(FeedAndReadUntil(first, got_first, [&] { return got_first.find("MT1005") != std::string::npos; }));
    EXPECT_TRUE(PumpUntil(
        [&] { return renderer_.shown.find("Accept on Port " + port + " !\r\n") != std::string::npos; }, 5000));
    // The first client's thread started the acceptor for the second.
    ASSERT_TRUE(ConnectClient(second, port));
    std::string got_second;
    ASSERT_TRUE(
        FeedAndReadUntil(second, got_second, [&] { return got_second.find("MT1005") != std::string::npos; }));
    EXPECT_EQ(state_.registry.Query(4), 2);
    // The relay's own TCP server and its position slots stay untouched.
    EXPECT_EQ(state_.registry.Query(3), 0);
    EXPECT_TRUE(PumpUntil(
        [] {
            return testing::ReadFile("Protokol.dat").find("DecTcpServer-Output : no_failure, DecTcpServerOut-Start ") !=
                   std::string::npos;
        },
        5000));

    // A client that leaves ends its thread; an acceptor takes its place.
    first.Cleanup();
    got_second.clear();
    EXPECT_TRUE(
        FeedAndReadUntil(second, got_second, [&] { return got_second.find("MT1005") != std::string::npos; }));
    second.Cleanup();
    EXPECT_TRUE(PumpUntil([&] { return state_.registry.Query(4) == 1; }, 5000));

    // Only the listener's close releases the thread waiting in its accept.
    EXPECT_TRUE(StopAndWaitIdle(10000));
    EXPECT_EQ(state_.registry.Query(1), 0);
    EXPECT_EQ(state_.registry.Query(4), 0);
    EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 0);
}

TEST_F(DecTcpOutThreads, WithOneClientAllowedTheNextWaitsUntilTheFirstLeaves) {
    const std::string port = FreePort();
    ConfigureDecoderJob(port, 1);
    view_.jobs().Start();
    AcceptSource();
    CBlockingSocket first, second;
    ASSERT_TRUE(ConnectClient(first, port));
    std::string got_first;
    ASSERT_TRUE(FeedAndReadUntil(first, got_first, [&] { return got_first.find("MT1005") != std::string::npos; }));
    ASSERT_TRUE(ConnectClient(second, port));
    std::string got_second;
    const int64_t until = Clock::Get().MonotonicMs() + 300;
    FeedAndReadUntil(second, got_second, [&] { return Clock::Get().MonotonicMs() >= until; });
    EXPECT_EQ(got_second, "");
    EXPECT_EQ(state_.registry.Query(4), 1);

    first.Cleanup();
    EXPECT_TRUE(
        FeedAndReadUntil(second, got_second, [&] { return got_second.find("MT1005") != std::string::npos; }));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(DecTcpOutThreads, APortInUseIsReportedAndAConflictingPortStartsNoServer) {
    // Someone else holds the port: the job runs on without the server.
    CBlockingSocket squatter;
    squatter.Create(CBlockingSocket::kStream);
    squatter.Bind(CSocketAddress("0.0.0.0", 0));
    squatter.Listen();
    ConfigureDecoderJob(std::to_string(squatter.BoundPort()), 1);
    view_.jobs().Start();
    ASSERT_TRUE(view_.jobs().EverStarted());
    EXPECT_NE(renderer_.shown.find("No DecOut-Tcp-Server-Start !!\r\n"), std::string::npos);
    EXPECT_EQ(renderer_.shown.find("Decoder-TcpOut Thread !"), std::string::npos);
    EXPECT_EQ(state_.registry.Query(4), 0);
    EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 0);
    EXPECT_TRUE(StopAndWaitIdle(10000));
    squatter.Cleanup();
}

TEST_F(DecTcpOutThreads, APortSharedWithTheTcpInputStartsNoServer) {
    ConfigureDecoderJob(in_port_, 1);
    view_.jobs().Start();
    ASSERT_TRUE(view_.jobs().EverStarted());
    EXPECT_EQ(renderer_.shown.find("Decoder-TcpOut Thread !"), std::string::npos);
    EXPECT_EQ(renderer_.shown.find("No DecOut-Tcp-Server-Start"), std::string::npos);
    EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 0);
    EXPECT_EQ(state_.registry.Query(4), 0);
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

}  // namespace
}  // namespace zerlan
