// Framing, parity and byte modes on built streams, then what the encoder's round trip cannot show:
// values fixed by hand, GLONASS numbering, unbuilt types, the 2.1 layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingOutput.h"
#include "decoder/BitString.h"
#include "decoder/Rtcm2Builder.h"
#include "decoder/Rtcm2Messages.h"
#include "decoder/RtcmDecoder.h"
#include "decoder/TextFormat.h"

namespace zerlan {
namespace {

struct Rtcm2Harness {
    RecordingOutput out;
    std::string& text = out.text;
    std::vector<int> results;
    CRtcmDecoder decoder;
    Rtcm2Builder builder;

    explicit Rtcm2Harness(int version = 1) : decoder(version, out) {}

    void Feed(const std::string& bytes) {
        for (unsigned char b : bytes) results.push_back(decoder.AddByte(b));
    }
    // One byte after the frames: the window looks one byte behind the newest bits.
    void FeedFrames(const std::vector<std::pair<Rtcm2Header, std::string>>& frames) {
        std::string bits;
        for (const auto& [header, data] : frames) bits += builder.Frame(header, data);
        Feed(ToBytes6(bits) + '\x40');
    }
    // The "MT" lines: header lines (with " Status ") or message lines.
    std::vector<std::string> Lines(bool headers) const {
        std::vector<std::string> found;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("MT", 0) == 0 && (line.find(" Status ") != std::string::npos) == headers)
                found.push_back(line);
        }
        return found;
    }
    std::vector<std::string> MessageLines() const { return Lines(false); }
    std::vector<std::string> HeaderLines() const { return Lines(true); }
};

Rtcm2Bits Coordinates(int64_t x, int64_t y, int64_t z) { return Rtcm2Bits().S(x, 32).S(y, 32).S(z, 32); }

TEST(Rtcm2DecoderTest, HeaderLinesAndStatusBoardOfGpsAndGlonassFrames) {
    // Coordinates in 0.01 m; Z-count 5999 x 0.6 s is the largest allowed.
    Rtcm2Harness h;
    h.FeedFrames({{{3, 77, 5999, 2, 1}, Coordinates(398765432, 63456789, -1).Bits()}});
    ASSERT_EQ(h.MessageLines(),
              std::vector<std::string>{"MT03 Stat 77 ZCount 3599.4 X 3987654.320 Y 634567.890 Z -0.010 "});
    // Empty line, TM line ending in the PC clock, then the header line.
    EXPECT_EQ(h.text.rfind("\r\nTM Rtcm2.3 ", 0), 0u) << h.text;
    EXPECT_NE(h.text.find("\r\nMT03 Stat 77 Status 1 Sec 3599.4 Seq 2 Frame 4\r\n"), std::string::npos);
    const auto& slots = h.out.slots;
    EXPECT_EQ((std::vector<std::string>{slots[0], slots[1], slots[2], slots[6], slots[9]}),
              (std::vector<std::string>{"0077", "3599.4", "", "000000001", "        Rtcm2.3"}));
    EXPECT_EQ(h.decoder.StationIdText(), "0077");
    EXPECT_EQ(h.out.frames, 1);
    EXPECT_TRUE(h.decoder.Locked());

    // A GLONASS frame (type 31) puts its time into slot 2, not 1; the 2.1 decoder names itself.
    Rtcm2Harness v21(0);
    v21.FeedFrames({{{31, 4, 500, 0, 0}, Rtcm2Bits().U(0, 1).U(0, 2).U(1, 5).S(0, 16).S(0, 8).U(0, 8).Bits()}});
    ASSERT_EQ(v21.MessageLines().size(), 1u) << v21.text;
    EXPECT_EQ((std::vector<std::string>{v21.out.slots[1], v21.out.slots[2], v21.out.slots[9]}),
              (std::vector<std::string>{"", "300.0", "        Rtcm2.1"}));
    EXPECT_EQ(v21.decoder.GlonassEpoch(), 300.0);
}

TEST(Rtcm2DecoderTest, BytesThatCarryNoDataAreSkippedIn6of8Mode) {
    // CR LF after every frame and stray bytes not marked 01 inside the frames shift nothing.
    Rtcm2Harness h;
    for (int i = 0; i < 6; ++i) {
        std::string frame = ToBytes6(h.builder.Frame({3, 20 + i, 100 + i, i, 0}, Coordinates(i, 2, 3).Bits()));
        frame.insert(7, 1, static_cast<char>(i % 2 ? 0x0A : 0xC3));
        frame.insert(19, 1, static_cast<char>(0x80 + i));
        h.Feed(frame + "\r\n");
    }
    h.decoder.Flush();
    EXPECT_EQ(h.decoder.FrameCount(), 6);
    EXPECT_EQ(h.MessageLines().size(), 6u) << h.text;
    EXPECT_EQ(h.results[7], -1);  // a skipped byte while searching
}

TEST(Rtcm2DecoderTest, TheEndOfInputDecidesAFrameWhoseLastWordIsIn) {
    // Without a byte after it the last frame stays pending; a stream that goes on later loses nothing.
    Rtcm2Harness h;
    h.Feed(ToBytes6(h.builder.Frame({3, 5, 10, 0, 0}, Coordinates(1, 2, 3).Bits())));
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.decoder.Flush(), 1);
    EXPECT_EQ(h.decoder.Flush(), 0);
    h.FeedFrames({{{3, 6, 11, 1, 0}, Coordinates(4, 5, 6).Bits()}});
    EXPECT_EQ(h.HeaderLines(), (std::vector<std::string>{"MT03 Stat 5 Status 0 Sec 6.0 Seq 0 Frame 4",
                                                         "MT03 Stat 6 Status 0 Sec 6.6 Seq 1 Frame 4"}));
}

TEST(Rtcm2DecoderTest, OnlyFramesWithAValidHeaderAndAWriterPrint) {
    // A Z-count past the hour is no header; a type 1 without satellites is a frame;
    // a type without writer prints nothing and costs the next frame nothing.
    Rtcm2Harness h;
    h.FeedFrames({{{3, 1, 6000, 0, 0}, Coordinates(1, 2, 3).Bits()},
                  {{1, 1, 100, 0, 0, 0}, ""},
                  {{8, 1, 100, 0, 0, 0}, ""},
                  {{8, 1, 1, 0, 0}, Rtcm2Bits().U(0x123456, 24).U(0x654321, 24).Bits()},
                  {{3, 1, 2, 0, 0}, Coordinates(1, 2, 3).Bits()}});
    EXPECT_EQ(h.HeaderLines(), (std::vector<std::string>{"MT01 Stat 1 Status 0 Sec 60.0 Seq 0 Frame 0",
                                                         "MT03 Stat 1 Status 0 Sec 1.2 Seq 0 Frame 4"}));
    EXPECT_EQ(h.MessageLines().size(), 1u);
}

TEST(Rtcm2DecoderTest, ParityFailureLosesSyncAndDropsTheFrame) {
    Rtcm2Harness h;
    std::string bits = h.builder.Frame({3, 5, 100, 0, 0}, Coordinates(11, 22, 33).Bits());
    const size_t damaged = bits.size();
    bits += h.builder.Frame({3, 5, 101, 1, 0}, Coordinates(44, 55, 66).Bits());
    bits += h.builder.Frame({3, 5, 102, 2, 0}, Coordinates(77, 88, 99).Bits());
    // Flip a data bit of the second frame's fourth word (its second data word).
    const size_t at = damaged + 3 * 30 + 7;
    bits[at] = bits[at] == '1' ? '0' : '1';
    h.Feed(ToBytes6(bits) + '\x40');
    EXPECT_EQ(h.MessageLines(), (std::vector<std::string>{"MT03 Stat 5 ZCount 60.0 X 0.110 Y 0.220 Z 0.330 ",
                                                          "MT03 Stat 5 ZCount 61.2 X 0.770 Y 0.880 Z 0.990 "}));
    // The byte that completed the bad word reports the loss (-1), not progress.
    EXPECT_EQ(h.results[(damaged + 4 * 30) / 6], -1);
    EXPECT_EQ(h.decoder.FrameCount(), 2);
}

TEST(Rtcm2DecoderTest, WrongWordCountIsReportedAndDropped) {
    Rtcm2Harness h;
    h.FeedFrames({{{3, 1, 1, 0, 0}, Coordinates(1, 2, 3).U(0, 24).Bits()}});  // five data words
    EXPECT_TRUE(h.MessageLines().empty());
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.out.logs, std::vector<std::string>{"Invalide Count of Frame at MT3 !\r\n"});
    EXPECT_NE(std::find(h.results.begin(), h.results.end(), -1), h.results.end());
}

TEST(Rtcm2DecoderTest, ByteModeFlipsOnlyWhenSixOfEightFindsNothing) {
    // Plain 8-bit bytes: 6-of-8 finds nothing in the first 500, then 8-bit bytes lock on a frame.
    Rtcm2Harness h;
    std::string bits;
    std::vector<std::pair<Rtcm2Header, std::string>> frames;
    int inverted = 0;  // preambles sent complemented after a D30* of 1
    for (int i = 0; i < 60; ++i) {
        frames.push_back({{3, 2, i, i % 8, 0}, Coordinates(i, i, i).Bits()});
        inverted += h.builder.D30() == '1';
        bits += h.builder.Frame(frames.back().first, frames.back().second);
    }
    ASSERT_GT(inverted, 5);
    const std::string bytes = ToBytes8(bits);
    h.Feed(bytes.substr(0, 499));
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.decoder.ByteMode(), 6);
    h.Feed(bytes.substr(499));
    EXPECT_EQ(h.decoder.ByteMode(), 8);
    const auto lines = h.MessageLines();
    ASSERT_GT(lines.size(), 30u);
    // From the lock on, every frame decodes, in order (frame i has X = i cm).
    const int first = static_cast<int>(std::lround(std::stod(lines[0].substr(lines[0].find(" X ") + 3)) * 100));
    for (int k = first; k < first + static_cast<int>(lines.size()); ++k)
        EXPECT_EQ(lines[k - first], FormatText("MT03 Stat 2 ZCount %.1lf X %.3lf Y %.3lf Z %.3lf ", k * 0.6,
                                               k * 0.01, k * 0.01, k * 0.01));
    // In 6-of-8 bytes they lock at once and every preamble is found, the complemented ones too.
    Rtcm2Harness six;
    six.FeedFrames(frames);
    EXPECT_EQ(six.decoder.ByteMode(), 6);
    EXPECT_EQ(six.decoder.FrameCount(), 60);
}

TEST(Rtcm2WordCountTest, RowsFollowTheMessageLayouts) {
    struct Row {
        int type;
        std::vector<int> good, bad;
    };
    const Row rows[] = {
        {3, {4}, {3, 5}},     {32, {4}, {2}},        {4, {2, 4}, {1, 3, 5}}, {5, {1, 2, 31}, {}},  {33, {1, 9}, {}},
        {14, {1}, {2}},       {13, {2}, {1, 3}},     {37, {2}, {3}},         {22, {1, 2, 3}, {4}}, {24, {5, 6}, {4, 7}},
        {17, {20}, {19, 21}}, {1, {2, 31}, {1}},     {15, {2}, {1}},         {31, {2}, {1}},       {7, {3, 6}, {2}},
        {59, {3}, {2}},       {21, {3}, {2}},        {16, {1, 31}, {}},      {6, {1}, {}},
    };
    for (const Row& row : rows) {
        for (int n : row.good) EXPECT_TRUE(Rtcm2WordCountValid(row.type, n)) << row.type << " " << n;
        for (int n : row.bad) EXPECT_FALSE(Rtcm2WordCountValid(row.type, n)) << row.type << " " << n;
    }
}

Rtcm2Lines Lines(int type, const Rtcm2Bits& bits, bool v23 = true, int* flag = nullptr) {
    Rtcm2Frame f;
    f.type = type;
    f.station = 7;
    f.zseconds = 600.0;
    f.version23 = v23;
    f.data = bits.Bits();
    while (f.data.size() % 24 != 0) f.data.push_back(f.data.size() % 2 == 0 ? '1' : '0');
    f.word_count = f.Words();
    Rtcm2Lines lines = Rtcm2MessageLines(f, flag);
    for (std::string& line : lines) {
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        line.resize(line.size() - 2);
    }
    return lines;
}

Rtcm2Bits& Correction(Rtcm2Bits& b, int scale, int udre, int sv, int prc, int rrc, int third) {
    return b.U(scale, 1).U(udre, 2).U(sv, 5).S(prc, 16).S(rrc, 8).U(third, 8);
}

TEST(Rtcm2CorrectionsTest, SatellitesAreSortedAndTheFillOfTheLastWordIsDropped) {
    // Four satellites take 160 bits of seven words, two take 80 of four: the fill of the last
    // word looks like one more satellite starting there.
    Rtcm2Bits four, two;
    for (int sv : {9, 4, 30, 17}) Correction(four, 0, 0, sv, sv, 0, 1);
    for (int sv : {2, 1}) Correction(two, 1, 3, sv, 2, 1, 255);
    ASSERT_EQ(four.Words(), 7);
    ASSERT_EQ(two.Words(), 4);
    std::vector<std::string> svs;
    for (const Rtcm2Bits* b : {&four, &two})
        for (const std::string& line : Lines(1, *b)) svs.push_back(line.substr(8, line.find(" ZCount") - 8));
    EXPECT_EQ(svs, (std::vector<std::string>{"4", "9", "17", "30", "1", "2"}));
}

TEST(Rtcm2CorrectionsTest, DeltaAndGlonassFormats) {
    Rtcm2Bits b;
    Correction(b, 0, 0, 0, 100, 10, 42);  // satellite 0 is 32; PRC 100 x 0.02 = 2.000, RRC 10 x 0.002
    EXPECT_EQ(Lines(2, b)[0], "MT02 SV 32 ZCount 600.0 FktDPRC 0.020 FktDRRC 0.0020 DPRC 2.000 DRRC 0.0200 IOD "
                              "42 UDRE 0_OSigDErr_<=_1m");
    // GLONASS slot 5 is SV 45. Type 31: change bit 1, TOD 3 x 30 s = 90.0.
    int flag = 0;
    const Rtcm2Bits glonass = Rtcm2Bits().U(0, 1).U(1, 2).U(5, 5).S(-50, 16).S(-2, 8).U(1, 1).U(3, 7);
    EXPECT_EQ(Lines(31, glonass, true, &flag)[0],
              "MT31 SV 45 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC -1.000 RRC -0.0040 CB 1 TOD 90.0 "
              "UDRE 1_OSigDErr_>_1m_to_<=_4m");
    EXPECT_EQ(flag, 1);
    // Type 34: the first bit of the last byte is not read; TOD 127 x 30 = 3810.0.
    EXPECT_EQ(Lines(34, Rtcm2Bits().U(0, 1).U(0, 2).U(0, 5).S(0, 16).S(0, 8).U(1, 1).U(127, 7))[0],
              "MT34 SV 72 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC 0.000 RRC 0.0000 TOD 3810.0 "
              "UDRE 0_OSigDErr_<=_1m");
    // Type 33 (GLONASS health): slot 3 is SV 43.
    const Rtcm2Bits health =
        Rtcm2Bits().U(0, 1).U(3, 5).U(1, 1).U(5, 3).U(20, 5).U(1, 1).U(0, 1).U(1, 1).U(1, 4).U(0, 2);
    flag = 0;
    EXPECT_EQ(Lines(33, health, true, &flag)[0].substr(0, 11), "MT33 SV 43 ");
    EXPECT_EQ(flag, 1);
}

TEST(Rtcm2StationTest, DatumAndExtendedParameters) {
    // Height 256 x 1/256 cm with no offset added; NH set: no height. The rest comes back in the round trip.
    Rtcm2Bits e;
    e.S(1, 8).S(-128, 8).S(0, 8);
    e.U(0, 2).U(1, 1).U(0, 1).U(1, 1).U(0, 1).U(256, 18);
    e.S(16, 8).S(-1, 8).S(0, 8);
    EXPECT_NE(Lines(22, e)[0].find(" AntHeight 1.00000000cm GS 1_GNSS_GLONASS "), std::string::npos);
    const Rtcm2Bits no_height = Rtcm2Bits().S(0, 8).S(0, 8).S(0, 8).U(0, 5).U(1, 1).U(5, 18);
    EXPECT_NE(Lines(22, no_height)[0].find(" AntHeight -9999.99900000cm "), std::string::npos);
}

TEST(Rtcm2StationTest, ReferencePointBeyondThirtyOneBitsKeepsItsValue) {
    // X 4000000 m = 40000000000 x 0.0001 m needs 36 bits; Y and Z negative.
    Rtcm2Bits b;
    b.S(40000000000LL, 38).U(0, 2).S(-20000001234LL, 38).U(0, 2).S(-137438953472LL, 38);
    b.U(1, 1).U(1, 1).U(15000, 18).U(0, 6);
    EXPECT_EQ(Lines(24, b)[0], "MT24 Stat 7 ZCount 600.0 ArpXCoord 4000000.0000m ArpYCoord -2000000.1234m "
                               "ArpZCoord -13743895.3472m AntHeight 1.5000m GS 1_GNSS_GLONASS AH "
                               "1_Antenna_height_information_provided");
    // Five words: no antenna height word.
    Rtcm2Bits five;
    five.S(1, 38).U(0, 2).S(2, 38).U(0, 2).S(3, 38).U(0, 1).U(0, 1);
    ASSERT_EQ(five.Words(), 5);
    EXPECT_EQ(Lines(24, five)[0], "MT24 Stat 7 ZCount 600.0 ArpXCoord 0.0001m ArpYCoord 0.0002m ArpZCoord 0.0003m "
                                  "AntHeight 0.0000m GS 0_GNSS_GPS AH 0_No_antenna_height_information_provided");
}

TEST(Rtcm2MiscTest, BeaconIdsUpTo1023AreKeptAndSorted) {
    auto beacon = [](Rtcm2Bits& b, int id, int lat, int lon, int freq, int health) {
        b.S(lat, 16).S(lon, 16).U(0, 10).U(freq, 12).U(health, 2).U(id, 10).U(7, 3).U(1, 1).U(0, 1).U(1, 1);
    };
    Rtcm2Bits b;
    beacon(b, 1023, 1000, -1000, 2900, 3);
    beacon(b, 5, 0, 1, 1, 0);
    const auto lines = Lines(7, b);
    ASSERT_EQ(lines.size(), 2u);
    // Lat 1000 x 0.002747 = 2.747, Long -1000 x 0.005493 = -5.493, Freq 2900 x 100 Hz.
    EXPECT_EQ(lines[1], "MT07 Stat 1023 ZCount 600.0 Lat 2.7470000\xB0 Long -5.4930000\xB0 Freq 290000.00Hz Health "
                        "3_Don\xB4t_use_this_Radiobeacon BitRate 300_bit/sec ModulationCode 1_FSK SyncType "
                        "0_Asyncronous BroadcastCode 1_FEC_coding");
    EXPECT_EQ(lines[0].substr(0, 12), "MT07 Stat 5 ");
}

TEST(Rtcm2MiscTest, AntennaTypeAndTextKeepTheirBounds) {
    // Without SF the bytes after the setup id are fill and must not be read as a serial number.
    Rtcm2Bits sf, no_sf;
    sf.U(0, 1).U(1, 1).U(1, 1).U(4, 5).Chars("ABCD").U(9, 8).U(0, 3).U(2, 5).Chars("XY");
    no_sf.U(0, 1).U(1, 1).U(0, 1).U(4, 5).Chars("ABCD").U(9, 8).U(0xAAAAAA, 24);
    EXPECT_EQ(Lines(23, sf)[0], "MT23 Stat 7 ZCount 600.0 AR 1 SF 1 NAD 4 AD \"ABCD\" SetupID 9 NAS 2 AS \"XY\"");
    EXPECT_EQ(Lines(23, no_sf)[0], "MT23 Stat 7 ZCount 600.0 AR 1 SF 0 NAD 4 AD \"ABCD\" SetupID 9 NAS 0 AS \"\"");
    // A received line break must not start a decoded line.
    EXPECT_EQ(Lines(16, Rtcm2Bits().Chars("A\r\nBCD"))[0], "MT16 ZCount 600.0 \"A..BCD\"");
}

TEST(Rtcm2RtkTest, PseudorangeWithGlonassFlagAndDroppedOddWord) {
    Rtcm2Bits b;
    b.U(0, 2).U(1, 2).U(300000, 20);  // GPSSec 300000 us = 0.3 s
    b.U(1, 1).U(1, 1).U(1, 1).U(3, 5).U(3, 4).U(15, 4).U(1000000000u, 32);  // PR x 0.02
    b.U(0, 3).U(9, 5).U(0, 16);       // a satellite starting in the last word
    ASSERT_EQ(b.Words(), 4);
    EXPECT_EQ(Lines(19, b), Rtcm2Lines{"MT19 SV 43 ZCount 600.0 GPSSec 0.3000000 Freq 0_L1:0.1905m SmoothInterv "
                                       "1_1-5_Min 1_P-Code 3_PR-DataQuality_<=_0.066m 15_MultipathError_not_determined "
                                       "FktPR 0.020 PR 20000000.000 MMI 1"});
}

TEST(Rtcm2RtkTest, TheBitsOf18And21MoveBetweenVersions) {
    Rtcm2Bits b;
    b.U(2, 2).U(0, 2).U(0, 20);
    b.U(1, 1).U(0, 1).U(1, 1).U(5, 5).U(7, 3).U(31, 5).S(-256, 32);
    // 2.1: bit 1 is the L2 half-wavelength flag, the GNSS bit unread; 2.3: bit 1 is the MMI, bit 3 GLONASS.
    EXPECT_NE(Lines(18, b, false)[0].find("MT18 SV 5 ZCount 600.0 GPSSec 0.0000000 Freq 2_L2:0.2445m 1_L2_Half "),
              std::string::npos);
    EXPECT_EQ(Lines(18, b, true)[0].substr(0, 11), "MT18 SV 45 ");
    Rtcm2Bits c;
    c.U(1, 2).U(3, 2).U(0, 20);
    // bit 9 = 1, bits 10-12 = 7, bit 13 = 0, bits 14-16 = 2, IOD 5; PRC -100, RRC 10.
    c.U(0, 1).U(0, 1).U(0, 1).U(12, 5).U(1, 1).U(7, 3).U(0, 1).U(2, 3).U(5, 8).S(-100, 16).S(10, 8);
    // 2.3: rate scale bit 9 (0.032), correction scale bit 13 (0.02).
    EXPECT_NE(Lines(21, c, true)[0].find(" FktRRC 0.032 RRC 0.320 FktPRC 0.020 PRC -2.000 "), std::string::npos);
    // 2.1: correction scale bit 9 (0.32, coarse quality), rate scale bit 1 (0.002), multipath bits 13-16.
    EXPECT_NE(Lines(21, c, false)[0].find(" 7_PRC-DataQuality_>_5.409m 2_MultipathError_<=_0.223m FktRRC 0.002 RRC "
                                          "0.020 FktPRC 0.320 PRC -32.000 "),
              std::string::npos);
}

TEST(Rtcm2FkpTest, GlonassSubIdAndForeignInstitutions) {
    // The mask assigns blocks from satellite one up (the round trip shows the GPS values);
    // sub id 6 is GLONASS, other institutions and sub ids give the header only.
    auto fkp = [](const char* inst, int sub_id) {
        Rtcm2Bits b;
        b.Chars(inst).U(sub_id, 5).U(0, 1).U(2, 2).Raw("00000000000000000000000000000101");
        for (int block = 0; block < 2; ++block) b.U(11, 8).U(0, 4).U(0, 1).U(1, 1).S(-5, 10).S(100, 11).S(3, 10).S(-7, 11);
        return b;
    };
    int flag = -1;
    EXPECT_EQ(Lines(59, fkp("AdV", 5), true, &flag).size(), 3u);
    EXPECT_EQ(flag, 0);
    const auto glo = Lines(59, fkp("AdV", 6), true, &flag);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(glo.size(), 3u);
    EXPECT_EQ(glo[1].substr(0, 31), "MT59 Stat 7 ZCount 600.0 Sv 41 ");
    EXPECT_EQ(glo[2].substr(0, 31), "MT59 Stat 7 ZCount 600.0 Sv 43 ");
    EXPECT_EQ(Lines(59, fkp("XYZ", 5)).size(), 1u);
    EXPECT_EQ(Lines(59, fkp("AdV", 4)).size(), 1u);
}

}  // namespace
}  // namespace zerlan
