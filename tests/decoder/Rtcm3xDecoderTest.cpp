#include <gtest/gtest.h>

#include "Rtcm3TestSupport.h"
#include "decoder/BitString.h"

namespace zerlan {
namespace {

using namespace testing_rtcm3;

// Fill after the frames: a frame is decided at its last byte, so these only
// show that nothing after a frame is needed or harmful.
const std::vector<uint8_t> kTail = {0, 0, 0, 0, 0};
const std::vector<uint8_t> kLongTail(1100, 0);

int Count(const std::string& text, const std::string& marker) {
    int n = 0;
    for (size_t p = text.find(marker); p != std::string::npos; p = text.find(marker, p + 1)) ++n;
    return n;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// 1005 of station 2003: 152 message bits, so the frame starts D3 00 13.
std::vector<uint8_t> Frame1005(int station = 2003) {
    CRtcm3FrameBuilder b = NewMessage(1005, station);
    b.U(6, 0).U(1, 1).U(1, 1).U(1, 0).U(1, 0);
    b.S(38, 40755801234).U(1, 1).U(1, 0).S(38, 9318535678).U(2, 0).S(38, -48015682468);
    return b.Frame();
}
const char* kLine1005 = "MT1005 ITRFRealYear 0 GpsInd 1 GloInd 1 GalInd 0 ARP_X 4075580.1234 ARP_Y 931853.5678 "
                        "ARP_Z -4801568.2468\r\n";

TEST_F(Rtcm3Fixture, EmptyFrameIsCheckedLikeAnyOther) {
    // 47 EA 4B is the true CRC-24Q of D3 00 00: accepted as 9999, header only.
    EXPECT_EQ(Feed(Concat({{0xD3, 0x00, 0x00, 0x47, 0xEA, 0x4B}, kTail})), 1);
    EXPECT_EQ(TakeText(), HeaderBlock(9999, 0, 48));
    // An all-zero CRC is wrong for this frame, as is any flipped bit in a 1005.
    EXPECT_EQ(Feed(Concat({{0xD3, 0x00, 0x00, 0x00, 0x00, 0x00}, kTail})), 0);
    const std::vector<uint8_t> frame = Frame1005();
    for (size_t bit : {20u, 40u, 100u, 170u, 199u}) {
        std::vector<uint8_t> bad = frame;
        bad[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
        EXPECT_EQ(Feed(Concat({bad, kLongTail})), 0) << bit;
    }
    EXPECT_EQ(TakeText(), "");
    // The decoder is not left stuck: the good frame still decodes.
    EXPECT_EQ(Feed(Concat({frame, kLongTail})), 1);
    EXPECT_EQ(decoder_->FrameCount(), 2);
}

TEST_F(Rtcm3Fixture, ReportsPreambleHitThenFrame) {
    const std::vector<uint8_t> frame = Frame1005();
    ASSERT_EQ(frame.size(), 25u);
    EXPECT_EQ(frame[1], 0x00);
    EXPECT_EQ(frame[2], 0x13);
    std::vector<int> results;
    for (uint8_t b : Concat({frame, kTail})) results.push_back(decoder_->AddByte(b));
    // Hit once the length is in (third byte), frame at its own last byte.
    for (int i = 0; i < 30; ++i) {
        int expected = i == 2 ? -1 : i == 24 ? 1 : 0;
        EXPECT_EQ(results[i], expected) << i;
    }
    EXPECT_EQ(Body(1005, 2003, frame), kLine1005);
    EXPECT_EQ(decoder_->StationIdText(), "2003");
    const std::string slots[] = {out_.slots[0], out_.slots[6], out_.slots[9]};
    EXPECT_EQ(slots[0], "2003");
    EXPECT_EQ(slots[1], "000000001");
    EXPECT_EQ(slots[2], "        Rtcm3.1");
}

TEST_F(Rtcm3Fixture, FindsFramesBehindGarbageAndFalsePreambles) {
    // Bit-shifted garbage, then a fake preamble with a length and no valid CRC,
    // then a 0xD3 inside a frame's payload: only the real frames count.
    std::vector<uint8_t> garbage = {0x12, 0x69, 0x80, 0xFF, 0xD3, 0x00, 0x05, 0x01, 0x02, 0x03, 0x04};
    CRtcm3FrameBuilder b = NewMessage(1029, 7);
    b.U(16, 60000).U(17, 3600).U(7, 3).U(8, 3).Text("\xD3\x00\x02");
    const std::vector<uint8_t> text_frame = b.Frame();
    EXPECT_EQ(Feed(Concat({garbage, Frame1005(), {0x5A}, text_frame, Frame1005(44), kLongTail})), 3);
    EXPECT_EQ(decoder_->FrameCount(), 3);
    EXPECT_EQ(decoder_->StationIdText(), "0044");
    const std::string text = TakeText();
    EXPECT_NE(text.find("MT1005 Stat 2003"), std::string::npos);
    EXPECT_NE(text.find("MT1029 Stat 7 "), std::string::npos);
    EXPECT_NE(text.find("MT1005 Stat 44 "), std::string::npos);
}

TEST_F(Rtcm3Fixture, NoGoodFrameIsLostBehindFalseCandidates) {
    // Each stream holds the same three good frames behind or between false
    // candidates; every one decodes once. A false candidate of 1000 bytes
    // holds back what follows until its bytes are in or the input ends.
    const std::vector<uint8_t> a = Frame1005(1), b = Frame1005(2), c = Frame1005(3);
    // Recorder text with a preamble two bits off byte alignment and a length
    // of 1002: 0x34 0xC0 0xFA 0xA0 is D3 00 3EA shifted right by two.
    const std::string text = "logger: \x34\xC0\xFA\xA0 text\r\n";
    const std::vector<uint8_t> recorder(text.begin(), text.end());
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
    } cases[] = {
        {"prefix d3 03 e8", Concat({{0xD3, 0x03, 0xE8, 0x01, 0x02, 0x03}, a, b, c})},
        {"unaligned long preamble in text", Concat({recorder, a, b, c})},
        {"prefix, then enough bytes to complete it", Concat({{0xD3, 0x03, 0xE8}, a, b, c, kLongTail})},
        {"three copies back to back", Concat({a, a, a})},
        {"false preambles between frames", Concat({a, {0xD3, 0x00, 0x40}, b, {0xD3, 0x02}, c})},
    };
    for (const Case& k : cases) {
        TearDown();
        SetUp();
        EXPECT_EQ(Feed(k.stream) + decoder_->Flush(), 3) << k.name;
        EXPECT_EQ(Count(TakeText(), "MT1005 Stat"), 3) << k.name;
    }
}

TEST_F(Rtcm3Fixture, TheEndOfInputGivesUpACandidateThatCannotComplete) {
    // A frame cut short at the end hides the whole frame inside it until the
    // input ends; then that one is found too.
    const std::vector<uint8_t> whole = Frame1005(5);
    const std::vector<uint8_t> cut = {0xD3, 0x00, 0x40, 0x3E, 0xD0};
    EXPECT_EQ(Feed(Concat({Frame1005(4), cut, whole})), 1);
    EXPECT_EQ(decoder_->Flush(false), 0);  // a pause waits for the missing bytes
    EXPECT_EQ(decoder_->Flush(), 1);
    EXPECT_EQ(decoder_->StationIdText(), "0005");
    // A false preamble announcing 256 bytes keeps the two whole frames after
    // it pending to the end; a cut frame closes the input.
    const std::vector<uint8_t> cut10(whole.begin(), whole.begin() + 10);
    EXPECT_EQ(Feed(Concat({Frame1005(1), {0xD3, 0x01, 0x00}, Frame1005(2), Frame1005(3), cut10})), 1);
    EXPECT_EQ(decoder_->Flush(), 2);
    EXPECT_EQ(decoder_->FrameCount(), 5);
    EXPECT_EQ(decoder_->StationIdText(), "0003");
    EXPECT_EQ(decoder_->Flush(), 0);
}

TEST_F(Rtcm3Fixture, LongStreamKeepsBufferBoundedAndLosesNoFrame) {
    // Largest frames (1023 message bytes) mixed with small ones and noise.
    CRtcm3FrameBuilder big = NewMessage(1029, 1);
    big.U(16, 1).U(17, 2).U(7, 0).U(8, 0);
    while (big.BitCount() < 1023 * 8) big.U(8, 0xD3);
    const std::vector<uint8_t> large = big.Frame();
    ASSERT_EQ(large.size(), 1029u);
    int frames = 0;
    for (int round = 0; round < 30; ++round) {
        std::vector<uint8_t> noise(static_cast<size_t>(round * 37 % 200), static_cast<uint8_t>(round));
        frames += Feed(Concat({noise, large, Frame1005(round), large}));
    }
    frames += Feed(kTail);
    EXPECT_EQ(frames, 90);
    EXPECT_EQ(decoder_->FrameCount(), 90);
}

TEST_F(Rtcm3Fixture, NoiseWithoutPreambleNeverGrowsTheBuffer) {
    std::vector<uint8_t> noise(20000, 0x55);
    EXPECT_EQ(Feed(noise), 0);
    EXPECT_EQ(TakeText(), "");
}

TEST_F(Rtcm3Fixture, MessagesWithoutStationIdKeepStationOfPreviousFrame) {
    // 1019 and the ephemerides and SSR messages of later standards carry
    // other fields where 1005 has its station (here 0xFFF = 4095).
    for (int number : {1019, 1045, 1060, 63}) {
        CRtcm3FrameBuilder other;
        other.U(12, number).U(12, 4095);
        while (other.BitCount() < 488) other.U(1, 0);
        Feed(Concat({Frame1005(321), other.Frame(), kTail}));
        const std::string text = TakeText();
        char expected[64];
        std::snprintf(expected, sizeof expected, "MT%04i Stat 321 Status 1", number);
        EXPECT_NE(text.find(expected), std::string::npos) << number;
        EXPECT_EQ(decoder_->StationIdText(), "0321");
    }
}

TEST_F(Rtcm3Fixture, ShortFramesGiveTheHeaderOnly) {
    // 1005 cut to 10 message bytes, 1019 to 20, a one-byte message: nothing
    // is read beyond the message bits.
    CRtcm3FrameBuilder short1005 = NewMessage(1005, 5);
    short1005.U(56, 0xFFFFFFFFFFFFFF);
    CRtcm3FrameBuilder short1019;
    short1019.U(12, 1019);
    while (short1019.BitCount() < 160) short1019.U(8, 0xA5);
    const std::vector<uint8_t> tiny = Rtcm3Frame({0x3E});
    Feed(Concat({short1005.Frame(), short1019.Frame(), tiny, kTail}));
    EXPECT_EQ(TakeText(), HeaderBlock(1005, 5, 128) + HeaderBlock(1019, 5, 216) + HeaderBlock(9999, 5, 56));
}

}  // namespace
}  // namespace zerlan
