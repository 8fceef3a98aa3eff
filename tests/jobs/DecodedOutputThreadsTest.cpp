// RTCM 3 from a TCP input decoded in whole jobs: the text lines served to TCP clients, and frames
// of a type selection re-encoded for a TCP output switched to the encoder.
#include <cstdlib>
#include <vector>

#include "support/ReferenceFramer.h"
#include "support/RelayJob.h"

namespace zerlan {
namespace {

using testing::FreePort;

std::vector<std::string> ExampleFrames() {
    return reference::Rtcm3Frames(testing::ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3"));
}

int Type(const std::string& frame) {
    return (static_cast<uint8_t>(frame[3]) << 4) | (static_cast<uint8_t>(frame[4]) >> 4);
}

class DecTcpOutThreads : public testing::RelayJob {
protected:
    void SetUp() override {
        RelayJob::SetUp();
        in_port_ = testing::BindLoopback(source_listener_);
    }
    void StartDecoderJob(const std::string& dec_port, int clients) {
        Configure("/inout_sw,\"TCP;Null;Null;Null;Null;Null;Null;RTCM;1000;0;-1;20\" /tcp_in,\"127.0.0.1;" +
                  in_port_ + ";FALSE\" /dec_out,\"FALSE;x;FALSE;a,4096;TRUE;" + dec_port + ";" +
                  std::to_string(clients) + "\"");
        view_.jobs().Start();
        ASSERT_TRUE(view_.jobs().EverStarted());
    }
    // Decoded text reaches only clients already accepted, so the source keeps sending.
    bool FeedUntilDecoded(CBlockingSocket& socket, std::string& got) {
        const std::string frame = ExampleFrames().at(2);  // the station's 1005
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

// The client limit and successor rule are those of the relay's TCP output server, tested there.
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
    ASSERT_TRUE(ConnectClient(b, port));
    ASSERT_TRUE(FeedUntilDecoded(b, got_b));
    EXPECT_EQ(state_.registry.Query(4), 2);
    // The relay's own TCP server and its position slots stay untouched.
    EXPECT_EQ(state_.registry.Query(3), 0);
    const std::string record = "DecTcpServer-Output : no_failure, DecTcpServerOut-Start ";
    EXPECT_TRUE(PumpUntil([&] { return testing::Count(testing::Protocol(), record) > 0; }, 5000));

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
    const std::string busy = testing::BindLoopback(squatter);
    const struct {
        const char* name;
        std::string port;
        bool reported;
        const char* warning;
    } cases[] = {{"in use", busy, true, ""},
                 {"the input's", in_port_, false,
                  "RtcmDecoder-TcpOutPort is the same like TcpInPort\n RtcmDecoderTcpOut-Job is stoped !\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        renderer_.shown.clear();
        StartDecoderJob(c.port, 1);
        EXPECT_EQ(renderer_.Shows("No DecOut-Tcp-Server-Start !!\r\n"), c.reported);
        EXPECT_EQ(view_.model().warning_text, c.warning);
        EXPECT_FALSE(renderer_.Shows("Decoder-TcpOut Thread !"));
        EXPECT_EQ(state_.registry.Query(4), 0);
        EXPECT_EQ(state_.dec_tcp_out_server_started.load(), 0);
        EXPECT_TRUE(StopAndWaitIdle(10000));
    }
}

class RtcmEncoderThreads : public DecTcpOutThreads {};

TEST_F(RtcmEncoderThreads, ATcpOutputSwitchedToTheEncoderSendsOnlyTheSelectedFrames) {
    const std::vector<std::string> frames = ExampleFrames();
    std::string expected;
    for (const std::string& f : frames)
        if (Type(f) == 1004 || Type(f) == 1006) expected += f;
    ASSERT_EQ(expected.size(), 10u * 93 + 27);

    const std::string out_port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;RTCM;1000;0;2;20;TRUE;FALSE;FALSE\" /tcp_in,\"127.0.0.1;" +
              in_port_ + ";FALSE\" /tcp_out,\"127.0.0.1;" + out_port +
              ";TRUE;3;FALSE;0\" /dec_in,\"FALSE;TRUE;FALSE;FALSE;FALSE;TRUE;FALSE;FALSE;FALSE;FALSE;TRUE;FALSE;FALSE;"
              "1004,1006\"");
    view_.jobs().Start();
    EXPECT_NE(state_.registry.ActiveListing().find("Rtcm-Encoder-Thread ! is aktiv"), std::string::npos);

    CBlockingSocket client;
    ASSERT_TRUE(ConnectClient(client, out_port));
    ASSERT_TRUE(Shown("Accept on Port " + out_port + " !"));
    ASSERT_TRUE(testing::AcceptWithin(source_listener_, source_));
    // Frame by frame, each once the encoder has read the text of the one before: a burst of text
    // beyond what a pool slot holds would lose lines, as a live stream never does.
    for (size_t k = 0; k < frames.size(); ++k) {
        source_.Send(frames[k].data(), static_cast<int>(frames[k].size()), 2);
        ASSERT_TRUE(PumpUntil(
            [&] {
                std::string count;
                state_.status_board.GetText(count, 6);
                return std::atoi(count.c_str()) == static_cast<int>(k + 1) && state_.decoded_text_pool.Fill(0) == 0;
            },
            5000))
            << k;
    }

    std::string got;
    PumpUntil(
        [&] {
            testing::TakeReady(client, got);
            return got.size() >= expected.size();
        },
        10000);
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

}  // namespace
}  // namespace zerlan
