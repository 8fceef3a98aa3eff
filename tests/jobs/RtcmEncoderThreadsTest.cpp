// A filtering job on loopback: RTCM 3 from a TCP input, decoded, re-encoded
// with a type selection, and sent by a TCP output switched to the encoder.
#include <cstdlib>
#include <vector>

#include "support/RelayJob.h"

namespace zerlan {
namespace {

using testing::FreePort;

using RtcmEncoderThreads = testing::RelayJob;

// The frames of a stream, in order.
std::vector<std::string> Frames(const std::string& bytes) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i + 6 <= bytes.size()) {
        const size_t length = ((static_cast<uint8_t>(bytes[i + 1]) & 3u) << 8) | static_cast<uint8_t>(bytes[i + 2]);
        if (static_cast<uint8_t>(bytes[i]) != 0xD3 || i + length + 6 > bytes.size()) {
            ++i;
            continue;
        }
        out.push_back(bytes.substr(i, length + 6));
        i += length + 6;
    }
    return out;
}

int Type(const std::string& frame) {
    return (static_cast<uint8_t>(frame[3]) << 4) | (static_cast<uint8_t>(frame[4]) >> 4);
}

TEST_F(RtcmEncoderThreads, ATcpOutputSwitchedToTheEncoderSendsOnlyTheSelectedFrames) {
    const std::string stream = testing::ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
    const std::vector<std::string> frames = Frames(stream);
    std::string expected;
    for (const std::string& f : frames)
        if (Type(f) == 1004 || Type(f) == 1006) expected += f;
    ASSERT_EQ(expected.size(), 10u * 93 + 27);

    CBlockingSocket listener;
    const std::string in_port = testing::BindLoopback(listener), out_port = FreePort();
    Configure("/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;RTCM;1000;0;2;20;TRUE;FALSE;FALSE\" /tcp_in,\"127.0.0.1;" +
              in_port + ";FALSE\" /tcp_out,\"127.0.0.1;" + out_port +
              ";TRUE;3;FALSE;0\" /dec_in,\"FALSE;TRUE;FALSE;FALSE;FALSE;TRUE;FALSE;FALSE;FALSE;FALSE;TRUE;FALSE;FALSE;"
              "1004,1006\"");
    view_.jobs().Start();
    EXPECT_NE(state_.registry.ActiveListing().find("Rtcm-Encoder-Thread ! is aktiv"), std::string::npos);

    CBlockingSocket client;
    ASSERT_TRUE(ConnectClient(client, out_port));
    ASSERT_TRUE(Shown("Accept on Port " + out_port + " !"));

    CBlockingSocket source;
    ASSERT_TRUE(testing::AcceptWithin(listener, source));
    // Frame by frame, each once the encoder has read the text of the one
    // before: a burst of decoded text beyond what a pool slot holds would
    // lose lines, as a live stream never does.
    for (size_t k = 0; k < frames.size(); ++k) {
        source.Send(frames[k].data(), static_cast<int>(frames[k].size()), 2);
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
