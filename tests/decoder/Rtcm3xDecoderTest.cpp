// Framing and CRC on built streams, then what the encoder's round trip cannot show:
// values fixed by hand, unsigned fields, texts and lengths from the stream, unbuilt types.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "RecordingOutput.h"
#include "decoder/Rtcm3FrameBuilder.h"
#include "decoder/Rtcm3xDecoder.h"
#include "decoder/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using testing::Count;

// The header block at the fake clock's moment, before any time sample (estimate -1).
std::string HeaderBlock(int number, int station, int frame_bits) {
    return FormatText("\r\nTM Rtcm3.1 -1.0 Wed Jan  1 00:00:00.000 2025\r\n"
                      "MT%04i Stat %i Status 1 Sec -1 Seq 1000 Frame %i\r\n",
                      number, station, frame_bits);
}

// A frame is decided at its last byte: the fill after frames only shows that
// nothing after one is needed or harmful.
const std::vector<uint8_t> kTail = {0, 0, 0, 0, 0};
const std::vector<uint8_t> kLongTail(1100, 0);

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

CRtcm3FrameBuilder NewMessage(int number, int station) {
    CRtcm3FrameBuilder b;
    b.U(12, number).U(12, station);
    return b;
}

class Rtcm3Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.Set(LocalTime{2025, 1, 1, 0, 0, 0, 0, 3});
        Clock::Install(&clock_);
        decoder_ = std::make_unique<CRtcm3xDecoder>(2, out_);
    }
    void TearDown() override {
        decoder_.reset();
        Clock::Install(nullptr);
    }

    // Returns how many frames the bytes completed.
    int Feed(const std::vector<uint8_t>& bytes) {
        const int before = decoder_->FrameCount();
        for (uint8_t b : bytes) {
            decoder_->AddByte(b);
            EXPECT_LE(decoder_->BitCount(), CRtcm3xDecoder::kMaxBufferBits);
        }
        return decoder_->FrameCount() - before;
    }
    std::string TakeText() { return std::exchange(text_, {}); }
    // Takes the text of the one frame decoded and returns what follows its header block.
    std::string Body(int number, int station, const std::vector<uint8_t>& frame) {
        const std::string head = HeaderBlock(number, station, static_cast<int>(frame.size()) * 8);
        const std::string text = TakeText();
        EXPECT_EQ(text.substr(0, head.size()), head);
        return text.size() >= head.size() ? text.substr(head.size()) : std::string();
    }
    std::string Decode(const CRtcm3FrameBuilder& b, int number, int station) {
        const std::vector<uint8_t> frame = b.Frame();
        EXPECT_EQ(Feed(Concat({frame, kTail})), 1);
        return Body(number, station, frame);
    }

    FakeClock clock_;
    RecordingOutput out_;
    std::string& text_ = out_.text;
    std::unique_ptr<CRtcm3xDecoder> decoder_;
};
class Rtcm3MessagesTest : public Rtcm3Fixture {};
class ClockTextTest : public Rtcm3Fixture {};

// 1005 of station 2003: 152 message bits, so the frame starts D3 00 13.
std::vector<uint8_t> Frame1005(int station = 2003) {
    CRtcm3FrameBuilder b = NewMessage(1005, station);
    b.U(6, 0).U(1, 1).U(1, 1).U(1, 0).U(1, 0);
    b.S(38, 40755801234).U(1, 1).U(1, 0).S(38, 9318535678).U(2, 0).S(38, -48015682468);
    return b.Frame();
}

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
}

TEST_F(Rtcm3Fixture, ReportsPreambleHitThenFrame) {
    const std::vector<uint8_t> frame = Frame1005();
    std::vector<int> results;
    for (uint8_t b : Concat({frame, kTail})) results.push_back(decoder_->AddByte(b));
    // Hit once the length is in (third byte), frame at its own last byte.
    for (int i = 0; i < 30; ++i) EXPECT_EQ(results[i], i == 2 ? -1 : i == 24 ? 1 : 0) << i;
    EXPECT_EQ(Body(1005, 2003, frame), "MT1005 ITRFRealYear 0 GpsInd 1 GloInd 1 GalInd 0 ARP_X 4075580.1234 "
                                       "ARP_Y 931853.5678 ARP_Z -4801568.2468\r\n");
    EXPECT_EQ(decoder_->StationIdText(), "2003");
    EXPECT_EQ((std::vector<std::string>{out_.slots[0], out_.slots[6], out_.slots[9]}),
              (std::vector<std::string>{"2003", "000000001", "        Rtcm3.1"}));
}

TEST_F(Rtcm3Fixture, FindsFramesBehindGarbageAndFalsePreambles) {
    // Bit-shifted garbage, then a fake preamble with a length and no valid CRC,
    // then a 0xD3 inside a frame's payload: only the real frames count.
    std::vector<uint8_t> garbage = {0x12, 0x69, 0x80, 0xFF, 0xD3, 0x00, 0x05, 0x01, 0x02, 0x03, 0x04};
    const std::vector<uint8_t> text_frame =
        NewMessage(1029, 7).U(16, 60000).U(17, 3600).U(7, 3).U(8, 3).Text({"\xD3\x00\x02", 3}).Frame();
    EXPECT_EQ(Feed(Concat({garbage, Frame1005(), {0x5A}, text_frame, Frame1005(44), kLongTail})), 3);
    EXPECT_EQ(decoder_->StationIdText(), "0044");
    const std::string text = TakeText();
    for (const char* header : {"MT1005 Stat 2003 ", "MT1029 Stat 7 ", "MT1005 Stat 44 "})
        EXPECT_EQ(Count(text, header), 1) << header;
}

TEST_F(Rtcm3Fixture, NoGoodFrameIsLostBehindFalseCandidates) {
    // A false candidate of 1000 bytes holds back what follows until its bytes are in or the input ends.
    const std::vector<uint8_t> a = Frame1005(1), b = Frame1005(2), c = Frame1005(3);
    // 34 C0 FA A0 is D3 00 3EA (a length of 1002) shifted right by two bits.
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
        SCOPED_TRACE(k.name);
        TearDown();
        SetUp();
        EXPECT_EQ(Feed(k.stream) + decoder_->Flush(), 3);
        EXPECT_EQ(Count(TakeText(), "MT1005 Stat"), 3);
    }
}

TEST_F(Rtcm3Fixture, TheEndOfInputGivesUpACandidateThatCannotComplete) {
    // A cut frame hides the whole frame after it until the input ends.
    const std::vector<uint8_t> whole = Frame1005(5);
    const std::vector<uint8_t> cut = {0xD3, 0x00, 0x40, 0x3E, 0xD0};
    EXPECT_EQ(Feed(Concat({Frame1005(4), cut, whole})), 1);
    EXPECT_EQ(decoder_->Flush(false), 0);  // a pause waits for the missing bytes
    EXPECT_EQ(decoder_->Flush(), 1);
    EXPECT_EQ(decoder_->StationIdText(), "0005");
    // A false preamble announcing 256 bytes keeps the two frames after it pending to the end.
    const std::vector<uint8_t> cut10(whole.begin(), whole.begin() + 10);
    EXPECT_EQ(Feed(Concat({Frame1005(1), {0xD3, 0x01, 0x00}, Frame1005(2), Frame1005(3), cut10})), 1);
    EXPECT_EQ(decoder_->Flush(), 2);
    EXPECT_EQ(decoder_->FrameCount(), 5);
    EXPECT_EQ(decoder_->StationIdText(), "0003");
    EXPECT_EQ(decoder_->Flush(), 0);
}

TEST_F(Rtcm3Fixture, LongStreamKeepsBufferBoundedAndLosesNoFrame) {
    // Largest frames (1023 message bytes) between small ones and noise.
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
    EXPECT_EQ(frames + Feed(kTail), 90);
}

TEST_F(Rtcm3Fixture, NoiseWithoutPreambleNeverGrowsTheBuffer) {
    EXPECT_EQ(Feed(std::vector<uint8_t>(20000, 0x55)), 0);
    EXPECT_EQ(TakeText(), "");
}

TEST_F(Rtcm3Fixture, MessagesWithoutStationIdKeepStationOfPreviousFrame) {
    // Ephemerides and SSR messages carry other fields where 1005 has its station (here 4095).
    for (int number : {1019, 1045, 1060, 63}) {
        CRtcm3FrameBuilder other;
        other.U(12, number).U(12, 4095);
        while (other.BitCount() < 488) other.U(1, 0);
        Feed(Concat({Frame1005(321), other.Frame(), kTail}));
        EXPECT_EQ(Count(TakeText(), FormatText("MT%04i Stat 321 Status 1", number)), 1) << number;
        EXPECT_EQ(decoder_->StationIdText(), "0321");
    }
}

TEST_F(Rtcm3Fixture, ShortFramesGiveTheHeaderOnly) {
    // 1005 cut to 10 message bytes, 1019 to 20, a one-byte message.
    CRtcm3FrameBuilder short1019;
    short1019.U(12, 1019);
    while (short1019.BitCount() < 160) short1019.U(8, 0xA5);
    const std::vector<uint8_t> short1005 = NewMessage(1005, 5).U(56, 0xFFFFFFFFFFFFFF).Frame();
    Feed(Concat({short1005, short1019.Frame(), Rtcm3Frame({0x3E}), kTail}));
    EXPECT_EQ(TakeText(), HeaderBlock(1005, 5, 128) + HeaderBlock(1019, 5, 216) + HeaderBlock(9999, 5, 56));
}

// A 1004 with one block per satellite; the block's values come back in the round trip.
CRtcm3FrameBuilder GpsObs(int announced, const std::vector<int>& sats) {
    CRtcm3FrameBuilder b = NewMessage(1004, 100);
    b.U(30, 345600000).U(1, 1).U(5, announced).U(1, 0).U(3, 2);  // ToW 345600.0000 s
    for (int sat : sats) b.U(6, sat).U(1, 1).U(24, 1000000).S(20, -2000).U(7, 127).U(8, 70).U(8, 180)
                             .U(2, 2).S(14, -100).S(20, 12345).U(7, 126).U(8, 161);
    return b;
}

TEST_F(Rtcm3MessagesTest, ObservationsSkipInvalidSatellitesAndFillTheirTimeSlot) {
    // GPS satellites 0 and 33 get no line, yet the block after each is read at its own place.
    const std::string gps = Decode(GpsObs(3, {0, 7, 33}), 1004, 100);
    EXPECT_EQ(std::count(gps.begin(), gps.end(), '\n'), 2) << gps;
    EXPECT_NE(gps.find("\r\nMT1004 SV 7 CI-L1 1_P(Y)-Code_direct PR-L1 20000.000m "), std::string::npos) << gps;
    EXPECT_EQ(out_.slots[1], "345600.0");
    EXPECT_DOUBLE_EQ(decoder_->GpsTimeOfWeek(), 345600.0);
    // GLONASS slot 24 prints as 64; channel 7: 1598.0625 + 7 x 0.5625, 1242.9375 + 7 x 0.4375 MHz.
    CRtcm3FrameBuilder g = NewMessage(1009, 200);
    g.U(27, 5025500).U(1, 0).U(5, 1).U(1, 1).U(3, 7);  // EpT 5025.5000 s
    g.U(6, 24).U(1, 0).U(5, 7).U(25, 1000000).S(20, 0).U(7, 0);
    EXPECT_NE(Decode(g, 1009, 200).find("\r\nMT1009 SV 64 CI-L1 0_C/A-Code GloFqzCh 7_L1_1602.0000MHz_L2_1246.0000MHz "),
              std::string::npos);
    EXPECT_EQ(out_.slots[2], "5025.5");
}

TEST_F(Rtcm3MessagesTest, GpsObservationsStopAtTheMessageEnd) {
    // 12 announced, 10 sent: the padding and CRC after them make no eleventh block.
    EXPECT_EQ(Count(Decode(GpsObs(12, std::vector<int>(10, 7)), 1004, 100), "MT1004 SV 7 "), 10);
}

TEST_F(Rtcm3MessagesTest, StationAndAntennaDescriptors) {
    CRtcm3FrameBuilder b = NewMessage(1006, 3);
    b.U(6, 5).U(1, 1).U(1, 0).U(1, 1).U(1, 1);  // AntH 4.0000 below is above the signed range
    b.S(38, -12345).U(1, 1).U(1, 0).S(38, 1).U(2, 0).S(38, 99999999999).U(16, 40000);
    EXPECT_EQ(Decode(b, 1006, 3),
              "MT1006 ITRFRealYear 5 GpsInd 1 GloInd 0 GalInd 1 RefStatInd 1 SingRecOscInd 1 ARP_X -1.2345 "
              "ARP_Y 0.0001 ARP_Z 9999999.9999 AntH 4.0000\r\n");

    // A line break inside a descriptor must not start a line of its own.
    EXPECT_EQ(Decode(NewMessage(1007, 3).U(8, 4).Text("AB\r\n").U(8, 0), 1007, 3),
              "MT1007 Descriptor \"AB..\" SetupID 0\r\n");
    // Announced 20 characters, only 5 sent: the length check drops the line.
    EXPECT_EQ(Decode(NewMessage(1007, 3).U(8, 20).Text("ABCDE"), 1007, 3), "");
}

TEST_F(Rtcm3MessagesTest, ReceiverDescriptorAndItsOverrun) {
    CRtcm3FrameBuilder b = NewMessage(1033, 9);
    b.U(8, 10).Text("LEIAR25.R3").U(8, 0).U(8, 0).U(8, 10).Text("LEICA GR50").U(8, 4).Text("4.30");
    // The serial number is announced with 50 characters and none sent: no line, one box.
    std::vector<std::string> boxes;
    SetMessageBoxSink([&](const std::string& text, const std::string& title) { boxes.push_back(title + "|" + text); });
    b.U(8, 50);
    EXPECT_EQ(Decode(b, 1033, 9), "");
    SetMessageBoxSink(nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"Rtcm3Decoder-Debug|Ausstieg bei RecSerNr ss = 689 DL = 288 "});
}

TEST_F(Rtcm3MessagesTest, GpsEphemeris) {
    // Week 100 in the cycle nearest the clock's week 2347 is 2148; the rest comes back in the round trip.
    CRtcm3FrameBuilder b;
    b.U(12, 1019);
    b.U(6, 12).U(10, 100).U(4, 2).U(2, 1).S(14, -1).U(8, 77).U(16, 1000).S(8, 0).S(16, 1).S(22, -2).U(10, 77);
    b.S(16, 32).S(16, 0).S(32, 1 << 30).S(16, 0).U(32, 1u << 30).S(16, 0).U(32, 5153ull << 19).U(16, 1000);
    b.S(16, 0).S(32, INT32_MIN).S(16, 0).S(32, 1 << 29).S(16, -64).S(32, 0).S(24, -1).S(8, -1);
    b.U(6, 0).U(1, 1).U(1, 0);
    ASSERT_EQ(b.BitCount(), 488);
    const std::string text = Decode(b, 1019, 0);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "MT1019 SV 12 GpsWeek 2148 GpsSvAccuracy 2 GpsCodeOnL2 1_P_Code_On ");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
}

TEST_F(Rtcm3MessagesTest, GlonassEphemerisWithNegativeZero) {
    // Sign-magnitude fields: the X velocity has its sign set and magnitude 0.
    // XnSD and tauGPS are -1 x 2^-30 = -9.313225746155E-10.
    CRtcm3FrameBuilder b;
    b.U(12, 1020);
    b.U(6, 3).U(5, 7).U(1, 1).U(1, 1).U(2, 2).U(5, 12).U(6, 30).U(1, 1).U(1, 0).U(1, 1).U(7, 20);
    b.U(1, 1).U(23, 0).M(27, 2048 * 1000).M(5, -1);  // -0, 1000 km, -2^-30
    b.M(24, 1 << 20).M(27, -2048).M(5, 0);
    b.M(24, 0).M(27, 0).M(5, 0);
    b.U(1, 1).M(11, 1).U(2, 3).U(1, 0).M(22, -(1 << 20)).M(5, 2).U(5, 5).U(1, 1).U(4, 2).U(11, 1000);
    b.U(2, 1).U(1, 1).U(11, 1200).M(32, 1 << 30).U(5, 7).M(22, -1).U(1, 1).U(7, 0);
    ASSERT_EQ(b.BitCount(), 360);
    const std::string text = Decode(b, 1020, 0);
    for (const char* line :
         {"MT1020          XnFD -0.000000000000E+00_km/s          Xn  1.000000000000E+03_km          "
          "XnSD -9.313225746155E-10_km/s^2 \r\n",
          "MT1020   Na 1200_days TauC  5.000000000000E-01_sec  GloMN4 7_4yearsInt  "
          "GloMTauGps -9.313225746155E-10_sec  M1n5 1 \r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);
}

TEST_F(Rtcm3MessagesTest, SystemParametersResidualsAndFkp) {
    CRtcm3FrameBuilder r;
    r.U(12, 1030).U(20, 345600).U(12, 77).U(7, 4).U(5, 1);
    // Unsigned (standard deviations): x0.5 mm, x0.01, x0.1, x0.5, x0.01.
    r.U(6, 3).U(8, 253).U(9, 10).U(6, 5).U(10, 1).U(10, 924);
    EXPECT_EQ(Decode(r, 1030, 77),
              "MT1030 ToW 345600.0 NrRefs 4 NrOfGpsSv 1 \r\n"
              "MT1030 SV 03 Soc 126.500mm Sod 0.100ppm Soh 0.500ppm SIc 0.500mm SId 9.240ppm \r\n");
    EXPECT_EQ(Decode(NewMessage(1036, 88).U(4, 1).U(6, 2).U(3, 5).U(24, 0xABCDEF), 1036, 88),
              "MT1036 Stat 0088 NrOfSv 1 \r\nMT1036 SV 42 SubIod 5 CRC24 11259375 \r\n");
}

TEST_F(Rtcm3MessagesTest, TextEncryptionAndUndecodedTypes) {
    // More units announced than sent: the text ends with the message.
    EXPECT_EQ(Decode(NewMessage(1029, 2).U(16, 1).U(17, 2).U(7, 9).U(8, 9).Text("abc"), 1029, 2),
              "MT1029 MDJ 1 SecOfDay 2 CountOfChar 9 CountOfUtf8 9 Message: \"abc\" \r\n");
    EXPECT_EQ(Decode(NewMessage(1047, 12).U(12, 3).U(2, 1).U(10, 44).U(10, 96).U(6, 5), 1047, 12),
              "MT1047 ProviderId 0012 SymKeyIdent 0003 EncoderTyp 01 StreamId 0044 QuarterHourTime 0096 "
              "IVCounter 05\r\n");
    // 10 minutes print as 00600 s.
    EXPECT_EQ(Decode(NewMessage(1048, 12).U(10, 300).U(14, 10), 1048, 12),
              "MT1048 ProviderId 0012 KeyChangeWeek 0300 KeyChangeTime 00600\r\n");
    // These carry no station id: "Stat" stays that of the 1048 before.
    EXPECT_EQ(Decode(NewMessage(1023, 4), 1023, 12), "MT1023 No decoding \r\n");
    EXPECT_EQ(Decode(NewMessage(1018, 4), 1018, 12), "");
    EXPECT_EQ(Decode(NewMessage(4094, 4), 4094, 12), "");
}

TEST_F(Rtcm3MessagesTest, TimeEstimateFollowsMessageEpochs) {
    // PC clock 600 s into the hour, the data 2 s ahead; the first average comes 3 s later.
    clock_.Set(LocalTime{2025, 1, 1, 0, 10, 0, 0, 3});
    const std::vector<uint8_t> frame =
        NewMessage(1004, 1).U(30, 346202000).U(1, 0).U(5, 0).U(1, 0).U(3, 0).Frame();
    Feed(Concat({frame, kTail}));
    EXPECT_NE(TakeText().find("TM Rtcm3.1 -1.0 "), std::string::npos);
    clock_.Advance(3000);
    Feed(Concat({frame, kTail}));
    EXPECT_NE(text_.find("TM Rtcm3.1 605.0 Wed Jan  1 00:10:03.000 2025\r\n"), std::string::npos) << text_;
    EXPECT_NE(text_.find(" Sec 605 Seq 1000 "), std::string::npos);
}

TEST_F(Rtcm3MessagesTest, RandomBodiesOfEveryTypeStayInsideTheFrame) {
    // The sanitizer builds catch any read outside the frame.
    SetMessageBoxSink([](const std::string&, const std::string&) {});
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    int frames = 0;
    for (int type = 1001; type <= 1048; ++type) {
        for (int length = 2; length < 200; length += 13) {
            std::vector<uint8_t> body(static_cast<size_t>(length));
            for (auto& b : body) b = static_cast<uint8_t>(next() >> 16);
            body[0] = static_cast<uint8_t>(type >> 4);
            body[1] = static_cast<uint8_t>((type & 0x0F) << 4 | (body[1] & 0x0F));
            frames += Feed(Rtcm3Frame(body));
        }
    }
    frames += Feed(std::vector<uint8_t>(1100, 0));
    SetMessageBoxSink(nullptr);
    EXPECT_EQ(frames, 48 * 16);
    for (size_t p = 0; (p = text_.find('\n', p)) != std::string::npos; ++p) ASSERT_EQ(text_[p - 1], '\r');
}

TEST_F(ClockTextTest, EachFrameShowsTheClockOfItsOwnMillisecond) {
    const std::vector<uint8_t> frame = NewMessage(1005, 7).U(128, 0).Frame();
    const std::pair<int, const char*> steps[] = {
        {0, "00:00:00.000"}, {0, "00:00:00.000"}, {1, "00:00:00.001"}, {61001, "00:01:01.002"}};
    for (const auto& [step, stamp] : steps) {
        clock_.Advance(step);
        Feed(frame);
        const std::string tm = FormatText("\r\nTM Rtcm3.1 -1.0 Wed Jan  1 %s 2025\r\n", stamp);
        EXPECT_EQ(TakeText().substr(0, tm.size()), tm);
    }
}

TEST(RtcmTimeEstimatorTest, HourTurnAndSampleLimit) {
    FakeClock clock;
    Clock::Install(&clock);
    CRtcmTimeEstimator est;
    est.SetEnabled(true);
    est.SetReference(3599.0);
    EXPECT_EQ(est.Estimate(3599.0), -1.0);
    est.AddSample(1.0);  // data already in the next hour: 3601 - 3599
    clock.Advance(3000);
    EXPECT_DOUBLE_EQ(est.Estimate(3599.5), 1.5);  // 3601.5 wraps to 1.5
    EXPECT_DOUBLE_EQ(est.Offset(), 2.0);

    est.SetReference(1.0);
    est.AddSample(3598.0);  // PC already in the next hour: reference moves on
    EXPECT_DOUBLE_EQ(est.Reference(), 3601.0);
    for (int i = 0; i < 300; ++i) est.AddSample(3598.0);
    EXPECT_EQ(est.SampleCount(), CRtcmTimeEstimator::kMaxSamples);
    EXPECT_DOUBLE_EQ(est.Estimate(1.0), 3598.0);  // 200 samples force an average of -3
    // Without new samples a later average keeps the offset.
    clock.Advance(5000);
    EXPECT_DOUBLE_EQ(est.Estimate(10.0), 7.0);

    CRtcmTimeEstimator off;
    off.AddSample(5.0);
    EXPECT_EQ(off.Estimate(5.0), -1.0);
    Clock::Install(nullptr);
}

}  // namespace
}  // namespace zerlan
