// In the automatic setting both decoders see every byte; RTCM 2 frames print once the lock is confirmed.
#include <gtest/gtest.h>

#include <string>

#include "RecordingOutput.h"
#include "decoder/DecoderSelector.h"
#include "decoder/Rtcm2Builder.h"
#include "decoder/Rtcm3FrameBuilder.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using testing::Count;

std::string Station1005(int station = 611) {
    CRtcm3FrameBuilder b;
    b.U(12, 1005).U(12, station).U(6, 0).U(1, 1).U(1, 0).U(1, 0).U(1, 0);
    b.S(38, 38692975138LL).U(1, 0).U(1, 0).S(38, 34365713345LL).U(2, 0).S(38, 37173693757LL);
    const auto f = b.Frame();
    return std::string(f.begin(), f.end());
}

// After one byte of zero bits: the first word's parity chains on the bits before it.
std::string Rtcm2Frames(Rtcm2Builder& builder, int station, int count) {
    builder.SetChain('0', '0');
    std::string bits;
    for (int i = 0; i < count; ++i) {
        Rtcm2Bits data;
        data.S(398765432, 32).S(63456789, 32).S(-1, 32);
        bits += builder.Frame({3, station, 100 + i, i % 8, 0}, data.Bits());
    }
    return '\x40' + ToBytes6(bits);
}

struct Selected {
    RecordingOutput out;
    DecoderSelector selector;
    Selected(int version, const std::string& stream) : selector(version, out) {
        for (unsigned char byte : stream) selector.AddByte(byte);
        selector.Finish();
    }
};

TEST(DecoderSelector, FixedVersionsFeedOnlyTheirDecoder) {
    Rtcm2Builder builder;
    const std::string stream = Station1005() + Rtcm2Frames(builder, 77, 3) + Station1005();
    struct Case {
        int version;
        int rtcm3, rtcm2;
        const char* name;
    } cases[] = {{2, 2, 0, "Rtcm3.1"}, {1, 0, 3, "Rtcm2.3"}, {0, 0, 3, "Rtcm2.1"}, {-1, 2, 3, "both"}};
    for (const Case& c : cases) {
        const std::string text = Selected(c.version, stream).out.text;
        EXPECT_EQ(Count(text, "MT1005 Stat 611"), c.rtcm3) << c.name;
        EXPECT_EQ(Count(text, "MT03 Stat 77 Status"), c.rtcm2) << c.name;
    }
}

TEST(DecoderSelector, AStreamThatSwitchesVersionLosesNothingAndKeepsOrder) {
    Rtcm2Builder builder;
    const std::string stream =
        Station1005(1) + Station1005(2) + Rtcm2Frames(builder, 77, 4) + Station1005(3) + Rtcm2Frames(builder, 78, 2);
    Selected s(-1, stream);
    const std::string& text = s.out.text;
    const size_t a = text.find("MT1005 Stat 2 "), b = text.find("MT03 Stat 77"), c = text.find("MT1005 Stat 3 "),
                 d = text.find("MT03 Stat 78");
    EXPECT_TRUE(a < b && b < c && c < d) << text;
    EXPECT_EQ(Count(text, "MT03 Stat 77 Status"), 4);
    EXPECT_EQ(Count(text, "MT03 Stat 78 Status"), 2);
    EXPECT_EQ(Count(text, "MT1005 Stat"), 3);
    EXPECT_EQ(s.selector.FramesPrinted(2), 6);
    EXPECT_EQ(s.selector.FramesPrinted(3), 3);
    EXPECT_EQ(s.selector.current(), 2);
}

TEST(DecoderSelector, ALoneRtcm2FrameInsideRtcm3DataIsNotPrintedAndTakesNothing) {
    // A valid RTCM 2 frame in the text of a 1029, and one between RTCM 3 frames: the RTCM 2
    // decoder syncs on each, yet neither is printed and nothing around them is lost.
    Rtcm2Builder builder;
    const std::string lone = Rtcm2Frames(builder, 99, 1);
    CRtcm3FrameBuilder text;
    text.U(12, 1029).U(12, 611).U(16, 1).U(17, 2).U(7, lone.size()).U(8, lone.size()).Text(lone);
    const auto t = text.Frame();
    const std::string stream = Station1005() + std::string(t.begin(), t.end()) + Station1005() + lone + Station1005();
    Selected s(-1, stream);
    const std::string& out = s.out.text;
    EXPECT_EQ(Count(out, "MT1029 Stat 611"), 1);
    EXPECT_EQ(Count(out, "MT1005 Stat 611"), 3);
    EXPECT_EQ(Count(out, "MT03"), 0);
    EXPECT_GE(s.selector.rtcm2().FrameCount(), 2);  // it did sync, twice
    EXPECT_FALSE(s.selector.rtcm2().Locked());       // and the false lock was undone
}

}  // namespace
}  // namespace zerlan
