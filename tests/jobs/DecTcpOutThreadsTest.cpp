// The decoded-text TCP server through whole jobs on loopback: RTCM 3 frames
// come in over a TCP input, the decoder's text lines go out to test clients,
// and the stop ends every server thread, the listening ones included.
#include <vector>

#include "support/RelayJob.h"
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
        in_port_ = testing::BindLoopback(source_listener_);
    }
    // A job whose TCP input client connects to the test's source, with the
    // decoder on and its text served on `dec_port` for `clients` clients.
    void StartDecoderJob(const std::string& dec_port, int clients) {
        Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;Null;RTCM;1000;0;-1;20\" /tcp_in,\"127.0.0.1;" +
                  in_port_ + ";FALSE\" /dec_out,\"FALSE;x;FALSE;a,4096;TRUE;" + dec_port + ";" +
                  std::to_string(clients) + "\"");
        view_.jobs().Start();
        ASSERT_TRUE(view_.jobs().EverStarted());
    }
    // Feeds frames to the job's input while reading `socket` until a line
    // comes: decoded text reaches only clients already accepted, so the
    // source keeps sending.
    bool FeedUntilDecoded(CBlockingSocket& socket, std::string& got) {
        const std::string frame = Station1005();
        return PumpUntil(
            [&] {
                source_.Send(frame.data(), static_cast<int>(frame.size()), 1);
                testing::TakeReady(socket, got);
                return got.find("MT1005") != std::string::npos;
            },
            8000);
    }

    CBlockingSocket source_listener_;
    CBlockingSocket source_;
    std::string in_port_;
};

// The server's client limit and successor rule are those of the relay's own
// TCP output server, tested there.
TEST_F(DecTcpOutThreads, DecodedLinesReachEveryClientAndTheStopEndsTheListeningThread) {
    const std::string port = FreePort();
    StartDecoderJob(port, 2);
    EXPECT_TRUE(renderer_.Shows("Decoder-TcpOut Thread !"));
    EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 1);
    ASSERT_TRUE(testing::AcceptWithin(source_listener_, source_));

    CBlockingSocket a, b;
    std::string got_a, got_b;
    ASSERT_TRUE(ConnectClient(a, port));
    ASSERT_TRUE(FeedUntilDecoded(a, got_a));
    EXPECT_TRUE(Shown("Accept on Port " + port + " !\r\n"));
    // A's thread started the acceptor for B.
    ASSERT_TRUE(ConnectClient(b, port));
    ASSERT_TRUE(FeedUntilDecoded(b, got_b));
    EXPECT_EQ(state_.registry.Query(4), 2);
    // The relay's own TCP server and its position slots stay untouched.
    EXPECT_EQ(state_.registry.Query(3), 0);
    EXPECT_TRUE(PumpUntil(
        [] {
            return testing::Protocol().find("DecTcpServer-Output : no_failure, DecTcpServerOut-Start ") !=
                   std::string::npos;
        },
        5000));

    // A client that leaves ends its thread; an acceptor takes its place.
    a.Cleanup();
    got_b.clear();
    EXPECT_TRUE(FeedUntilDecoded(b, got_b));
    b.Cleanup();
    EXPECT_TRUE(PumpUntil([&] { return state_.registry.Query(4) == 1; }, 5000));

    // Only the listener's close releases the thread waiting in its accept.
    EXPECT_TRUE(StopAndWaitIdle(10000));
    EXPECT_EQ(state_.registry.Query(4), 0);
    EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 0);
}

TEST_F(DecTcpOutThreads, APortInUseOrSharedWithTheTcpInputStartsNoServer) {
    CBlockingSocket squatter;  // another program's server
    squatter.Create(CBlockingSocket::kStream);
    squatter.Bind(CSocketAddress("0.0.0.0", 0));
    squatter.Listen();
    const struct {
        const char* name;
        std::string port;
        bool reported;
        const char* warning;
    } cases[] = {{"in use", std::to_string(squatter.BoundPort()), true, ""},
                 {"the input's", in_port_, false,
                  "RtcmDecoder-TcpOutPort is the same like TcpInPort\n RtcmDecoderTcpOut-Job is stoped !\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        renderer_.shown.clear();
        StartDecoderJob(c.port, 1);
        // The job runs on without the server.
        EXPECT_EQ(renderer_.Shows("No DecOut-Tcp-Server-Start !!\r\n"), c.reported);
        EXPECT_EQ(view_.model().warning_text, c.warning);
        EXPECT_FALSE(renderer_.Shows("Decoder-TcpOut Thread !"));
        EXPECT_EQ(state_.registry.Query(4), 0);
        EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 0);
        EXPECT_TRUE(StopAndWaitIdle(10000));
    }
}

}  // namespace
}  // namespace zerlan
