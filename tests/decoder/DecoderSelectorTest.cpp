// The version choice shared by the decoder thread and the batch converter.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "decoder/DecoderThread.h"
#include "decoder/Rtcm3FrameBuilder.h"

namespace zerlan {
namespace {

// A 1005 frame of station 611: every field is chosen, the frame is built
// with CRC-24Q by the builder.
std::vector<uint8_t> Station1005() {
    CRtcm3FrameBuilder b;
    b.U(12, 1005).U(12, 611).U(6, 0).U(1, 1).U(1, 0).U(1, 0).U(1, 0);
    b.S(38, 38692975138LL).U(1, 0).U(1, 0).S(38, 34365713345LL).U(2, 0).S(38, 37173693757LL);
    return b.Frame();
}

struct Collected {
    std::string text;
    CRtcmDecoder::LineSink Sink() {
        return [this](const char* t, int n) { text.append(t, static_cast<size_t>(n)); };
    }
};

int CountFrames(const std::string& text, const std::string& marker) {
    int n = 0;
    for (size_t p = text.find(marker); p != std::string::npos; p = text.find(marker, p + 1)) ++n;
    return n;
}

TEST(DecoderSelector, AutomaticPicksRtcm3AndAFixedRtcm2VersionIgnoresIt) {
    SharedState state;
    std::vector<uint8_t> stream;
    for (int i = 0; i < 3; ++i) {
        auto f = Station1005();
        stream.insert(stream.end(), f.begin(), f.end());
    }
    Collected automatic;
    DecoderSelector any(-1, state, automatic.Sink());
    for (uint8_t byte : stream) any.AddByte(byte);
    any.rtcm3().Flush();
    EXPECT_EQ(CountFrames(automatic.text, "MT1005 Stat"), 3);
    EXPECT_EQ(any.rtcm3().StationIdText(), "0611");

    Collected fixed;
    DecoderSelector rtcm23(1, state, fixed.Sink());
    for (uint8_t byte : stream) rtcm23.AddByte(byte);
    EXPECT_EQ(fixed.text.find("MT1005"), std::string::npos);
}

TEST(DecoderSelector, AFlushInTheMiddleOfAFrameLosesNothing) {
    SharedState state;
    auto frame = Station1005();
    Collected out;
    DecoderSelector any(-1, state, out.Sink());
    const size_t half = frame.size() / 2;
    for (size_t i = 0; i < half; ++i) any.AddByte(frame[i]);
    any.rtcm3().Flush(false);  // a pause inside the frame
    for (size_t i = half; i < frame.size(); ++i) any.AddByte(frame[i]);
    any.rtcm3().Flush();  // the end of the stream
    EXPECT_EQ(CountFrames(out.text, "MT1005 Stat"), 1);
}

TEST(DecodeStream, ConvertsARecordingAndFlushesItsLastFrame) {
    SharedState state;
    auto frame = Station1005();
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    std::fwrite(frame.data(), 1, frame.size(), in);
    std::rewind(in);
    EXPECT_EQ(DecodeStream(in, out, -1, state), 0);
    std::rewind(out);
    char buffer[4096];
    const size_t n = std::fread(buffer, 1, sizeof buffer, out);
    const std::string text(buffer, n);
    EXPECT_EQ(CountFrames(text, "MT1005 Stat"), 1);
    EXPECT_NE(text.find("ARP_X 3869297.5138"), std::string::npos) << text;
    std::fclose(in);
    std::fclose(out);
}

}  // namespace
}  // namespace zerlan
