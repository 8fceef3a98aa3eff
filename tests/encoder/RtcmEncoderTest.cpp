// Decoded text back to RTCM: built fields, framing rules, and round trips over the example streams,
// the captures beside the project and gpsd's reading of the re-encoded RTCM 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "decoder/BitString.h"
#include "decoder/DecoderOutput.h"
#include "decoder/DecoderSelector.h"
#include "decoder/Rtcm3FrameBuilder.h"
#include "encoder/RtcmEncoder.h"
#include "support/ReferenceFramer.h"
#include "support/SharedCaptures.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

namespace fs = std::filesystem;

std::string Encode(const std::string& text, const RtcmEncoderOptions& options = {}) {
    std::string out;
    RtcmEncoder encoder(options, [&out](const char* bytes, int n) { out.append(bytes, static_cast<size_t>(n)); });
    for (char c : text) encoder.PutByte(c);
    encoder.Flush();
    return out;
}

// `version` 2 RTCM 3, 1 RTCM 2.3, 0 by the first byte (an encoder's output).
std::string DecodeText(const std::string& bytes, int version = 0) {
    std::string text;
    SinkOutput out([&text](const char* t, int n) { text.append(t, static_cast<size_t>(n)); });
    if (version == 0) version = !bytes.empty() && bytes[0] == '\xD3' ? 2 : 1;
    DecoderSelector decoders(version, out);
    for (unsigned char b : bytes) decoders.AddByte(b);
    decoders.Finish();
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// Without TM lines, RTCM 3 time estimates, RTCM 2 sequences and the station 1019/1020 headers repeat.
std::string Comparable(const std::string& text) {
    static const std::regex kVolatile(R"( Sec \S+(?= Seq 1000 )| Seq \d+(?= Frame ))");
    static const std::regex kBorrowedStation(R"(^(MT10(19|20)) Stat \d+)");
    std::string out;
    for (std::string line : Lines(text)) {
        if (line.rfind("TM ", 0) == 0) continue;
        if (line.find(" Status ") != std::string::npos)
            line = std::regex_replace(std::regex_replace(line, kVolatile, ""), kBorrowedStation, "$1");
        out += line + "\n";
    }
    return out;
}

size_t DataLines(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("MT", 0) == 0 && line.find(" Status ") == std::string::npos;
    });
}

std::string Bits(const std::string& bytes) {
    std::string bits;
    for (unsigned char b : bytes)
        for (int i = 7; i >= 0; --i) bits.push_back(((b >> i) & 1) != 0 ? '1' : '0');
    return bits;
}


TEST(RtcmEncoderFields, RoundingAndSaturationFollowTheFieldWidth) {
    const std::tuple<int, double, std::string> cases[] = {
        {4, 1.5, "0001"},  {4, -1.5, "1110"}, {4, 2.5000001, "0011"}, {4, 15.2, "1111"},
        {4, 99.0, "1111"}, {4, -8.0, "1000"}, {4, -99.0, "1000"},     {38, -1.0, std::string(38, '1')},
        {0, 1.0, ""},      {63, 1.0, ""},
    };
    for (const auto& [width, value, expected] : cases) {
        std::string bits;
        PutField(bits, width, value);
        EXPECT_EQ(bits, expected) << width << " " << value;
    }
    std::string sm;
    for (double v : {-0.0, -3.0, 40.0}) PutSignMagnitude(sm, 5, v);
    EXPECT_EQ(sm, "10000" "10011" "01111");
}

TEST(RtcmEncoder, Rtcm2TypesComeBackAsPrinted) {
    const Rtcm2Bits corrections = Rtcm2Bits()  // four satellites in the decoder's order, the last numbered 32
                                      .U(0, 1).U(0, 2).U(3, 5).S(-620, 16).S(4, 8).U(68, 8)
                                      .U(0, 1).U(2, 2).U(17, 5).S(5, 16).S(0, 8).U(1, 8)
                                      .U(0, 1).U(3, 2).U(31, 5).S(-32768, 16).S(127, 8).U(255, 8)
                                      .U(1, 1).U(1, 2).U(0, 5).S(100, 16).S(-3, 8).U(200, 8);
    const std::pair<int, Rtcm2Bits> cases[] = {
        {1, corrections},
        {9, corrections},
        {4, Rtcm2Bits().U(1, 3).U(1, 1).U(0, 4).Chars("W84").Chars("AB").S(-12, 16).S(5, 16).S(300, 16)},
        {3, Rtcm2Bits().S(398000012, 32).S(70000034, 32).S(-495000056, 32)},
        {14, Rtcm2Bits().U(314, 10).U(100, 8).U(18, 6)},
        {16, Rtcm2Bits().Chars("ZERLAN TEST")},
        {17, Rtcm2Bits()  // ephemeris: every field non-zero, signs mixed
                 .U(314, 10).S(-1000, 14).U(41, 8).U(18900, 16).S(-12, 16).S(3, 8).S(1200, 16).S(-4000, 16)
                 .S(300, 16).U(85899345, 32).S(-900, 16).U(2702000000u, 32).U(18900, 16).S(-1500000000, 32)
                 .S(20, 16).U(640000000, 32).S(-40, 16).S(-900000000, 32).S(-3000, 16).S(-5000, 24)
                 .S(-1100000000, 32).U(41, 10).S(-200000, 22).U(12, 5).U(0, 3).S(6, 8).U(1, 2).U(2, 4).U(0, 6)
                 .U(1, 1).U(0, 3)},
        {18, Rtcm2Bits()  // GPS 5, GPS 32, GLONASS 45
                 .U(0, 2).U(0, 2).U(123456, 20)
                 .U(1, 1).U(0, 1).U(0, 1).U(5, 5).U(2, 3).U(7, 5).S(-123456789, 32)
                 .U(1, 1).U(0, 1).U(0, 1).U(0, 5).U(7, 3).U(1, 5).S(5, 32)
                 .U(0, 1).U(1, 1).U(1, 1).U(5, 5).U(0, 3).U(31, 5).S(2000000000, 32)},
        {19, Rtcm2Bits()  // smoothing interval 2 stays in the time word
                 .U(2, 2).U(2, 2).U(999999, 20)
                 .U(1, 1).U(1, 1).U(0, 1).U(9, 5).U(14, 4).U(15, 4).U(1194133704u, 32)
                 .U(0, 1).U(0, 1).U(1, 1).U(3, 5).U(3, 4).U(0, 4).U(21000000, 32)},
        {20, Rtcm2Bits().U(0, 2).U(0, 2).U(500000, 20)
                 .U(1, 1).U(0, 1).U(0, 1).U(9, 5).U(5, 3).U(30, 5).U(77, 8).S(-5000000, 24)},
        {21, Rtcm2Bits()
                 .U(2, 2).U(1, 2).U(1000, 20)
                 .U(1, 1).U(1, 1).U(0, 1).U(9, 5).U(1, 1).U(6, 3).U(0, 1).U(2, 3).U(88, 8).S(-3000, 16).S(-7, 8)
                 .U(0, 1).U(0, 1).U(1, 1).U(7, 5).U(0, 1).U(7, 3).U(1, 1).U(5, 3).U(12, 8).S(400, 16).S(100, 8)},
        {22, Rtcm2Bits().S(3, 8).S(-2, 8).S(1, 8).U(0, 2).U(1, 1).U(1, 1).U(0, 1).U(0, 1).U(25600, 18)
                 .S(4, 8).S(-4, 8).S(2, 8)},
        {23, Rtcm2Bits().U(0, 1).U(1, 1).U(0, 1).U(14, 5).Chars("GPPNULLANTENNA").U(0, 8)},
        {23, Rtcm2Bits().U(0, 1).U(1, 1).U(1, 1).U(5, 5).Chars("ABCDE").U(3, 8).U(0, 3).U(4, 5).Chars("1234")},
        {24, Rtcm2Bits().S(40755801234LL, 38).U(0, 2).S(9318535678LL, 38).U(0, 2).S(-48015682468LL, 38)
                 .U(1, 1).U(1, 1).U(15000, 18).U(0, 6)},
        {31, Rtcm2Bits()  // GLONASS slots 1 and 24
                 .U(1, 1).U(0, 2).U(1, 5).S(-50, 16).S(-2, 8).U(1, 1).U(100, 7)
                 .U(0, 1).U(3, 2).U(24, 5).S(777, 16).S(9, 8).U(0, 1).U(3, 7)},
        {37, Rtcm2Bits().U(0, 3).U(1, 3).U(0, 3).S(-13, 7).S(-123456, 32)},
        {59, Rtcm2Bits()  // FKP of satellites 1 and 5
                 .Chars("AdV").U(5, 5).U(0, 1).U(1, 2).Raw("10001000000000000000000000000000")
                 .U(17, 8).U(0, 4).U(1, 1).U(0, 1).S(-300, 10).S(500, 11).S(12, 10).S(-1000, 11)
                 .U(200, 8).U(0, 4).U(0, 1).U(1, 1).S(7, 10).S(-3, 11).S(-511, 10).S(1023, 11)},
    };
    // Padded with zero bits to whole words; a first message has the 0x40 prefix and sequence 0.
    for (const auto& [type, bits] : cases) {
        std::string data = bits.Bits();
        data.resize((data.size() + 23) / 24 * 24, '0');
        const std::string frame = ToBytes6("000000" + Rtcm2Builder().Frame({type, 100, 1234, 0, 5, -1}, data));
        const std::string text = DecodeText(frame);
        EXPECT_EQ(Encode(text), frame) << "type " << type << "\n" << text;
    }
}

TEST(RtcmEncoder, Rtcm3TypesComeBackByteForByte) {
    auto start = [](int number, int station) { return CRtcm3FrameBuilder().U(12, number).U(12, station); };
    const CRtcm3FrameBuilder cases[] = {
        // Types the example stream does not hold.
        start(1013, 5).U(16, 58128).U(17, 86399).U(5, 2).U(8, 18).U(12, 1004).U(1, 1).U(16, 10).U(12, 1019)
            .U(1, 0).U(16, 65535),
        CRtcm3FrameBuilder().U(12, 1016).U(8, 255).U(4, 15).U(23, 3023999).U(1, 1).U(12, 100).U(12, 4095).U(4, 2)
            .U(6, 1).U(2, 3).U(3, 7).S(17, -65536).U(8, 12).U(6, 31).U(2, 0).U(3, 0).S(17, 65535).U(8, 255),
        CRtcm3FrameBuilder().U(12, 1039).U(8, 3).U(4, 1).U(20, 864000).U(1, 0).U(12, 1).U(12, 2).U(4, 1)
            .U(6, 24).U(2, 1).U(3, 2).S(17, -4).U(8, 9).S(17, 1234),
        start(1029, 13).U(16, 58128).U(17, 64152).U(7, 5).U(8, 6).Text("Hi \"x\""),
        // Residuals: the epoch comes before the station.
        CRtcm3FrameBuilder().U(12, 1030).U(20, 604799).U(12, 2003).U(7, 4).U(5, 2)
            .U(6, 1).S(8, -128).S(9, 255).S(6, -32).S(10, 511).S(10, -512)
            .U(6, 32).S(8, 1).S(9, -1).S(6, 0).S(10, 3).S(10, 4),
        CRtcm3FrameBuilder().U(12, 1031).U(17, 86399).U(12, 9).U(7, 1).U(5, 1).U(6, 24).S(8, 5).S(9, 6).S(6, 7)
            .S(10, 8).S(10, 9),
        start(1032, 1).U(12, 2).U(6, 13).S(38, 40755801234LL).S(38, -1).S(38, 137438953471LL),
        start(1034, 6).U(20, 518400).U(5, 1).U(6, 12).U(8, 70).S(12, -2048).S(12, 2047).S(14, -1).S(14, 8191),
        // GLONASS ephemeris with M ln5 set before the seven reserved bits.
        CRtcm3FrameBuilder().U(12, 1020).U(6, 17).U(5, 11).U(1, 1).U(1, 1).U(2, 1).U(5, 11).U(6, 42).U(1, 1)
            .U(1, 0).U(1, 1).U(7, 47)
            .M(24, -1500000).M(27, 30000000).M(5, -3).M(24, -1499999).M(27, 29999999).M(5, -2)
            .M(24, -1499998).M(27, 29999998).M(5, -1)
            .U(1, 1).M(11, -3).U(2, 2).U(1, 1).M(22, -120000).M(5, -2).U(5, 1)
            .U(1, 1).U(4, 2).U(11, 400).U(2, 1).U(1, 1).U(11, 400).M(32, 250).U(5, 7).M(22, -150).U(1, 1).U(7, 0),
    };
    for (const CRtcm3FrameBuilder& b : cases) {
        const std::vector<uint8_t> built = b.Frame();
        const std::string frame(built.begin(), built.end());
        const std::string text = DecodeText(frame);
        EXPECT_EQ(Bits(Encode(text)), Bits(frame)) << text;
    }
}

std::string Example(const char* name) { return std::string(ZERLAN_SOURCE_DIR) + "/examples/" + name; }

// The 1019 record of the example; `skip` names a line left out.
std::string Example1019(const std::string& skip = "") {
    std::string text = "\r\n";
    bool in = false;
    for (const std::string& line : Lines(DecodeText(testing::ReadFile(Example("example.rtcm3"))))) {
        in = line.rfind("MT1019", 0) == 0 && (in || line.find(" Status ") != std::string::npos);
        if (in && (skip.empty() || line.find(" " + skip + " ") == std::string::npos)) text += line + "\r\n";
    }
    return text;
}

TEST(RtcmEncoder, GpsWeekIsWrittenModulo1024) {
    // 1019 and type 17 print the full week (their round trips show it); type 14 prints the field as sent.
    const std::string tow = Encode(
        "\r\nMT14 Stat 1 Status 0 Sec 10.2 Seq 0 Frame 1\r\nMT14 ZCount 10.2 GPSWeek 2362 GPSHour 100 SwitchSec = 18\r\n");
    EXPECT_NE(DecodeText(tow).find("MT14 ZCount 10.2 GPSWeek  314 GPSHour 100 SwitchSec = 18"), std::string::npos);
}

TEST(RtcmEncoder, EphemerisRecordsAreBuiltOnlyWhenComplete) {
    const std::string whole = Encode(Example1019() + "\r\n");
    ASSERT_EQ(whole.size(), 67u);
    EXPECT_EQ(Encode(Example1019("Crc") + "\r\n"), "");
    // A record that misses a line leaves nothing behind for the next one.
    EXPECT_EQ(Encode(Example1019("Toe") + Example1019() + "\r\n"), whole);
    EXPECT_EQ(Encode("\r\nMT17 Stat 1 Status 0 Sec 3.0 Seq 0 Frame 20\r\n"
                     "MT17 SV 12 ZCount 3.0 GpsWeek 2362 IODE 41 \r\n\r\n"),
              "");
}

TEST(RtcmEncoder, ObservationCountIsTheNumberOfSatelliteLinesWritten) {
    // The epoch line announces five satellites; three lines follow.
    std::string text = "\r\nMT1004 Stat 2003 Status 1 Sec -1 Seq 1000 Frame 744\r\n"
                       "MT1004 ToW 302400.0000 SyncGnssMF 1 NGpsSvSiProc 5 GpsDivFrSmInd 0 GpsSmInt 0_No_smoothing\r\n";
    for (int sv : {3, 7, 12})
        text += "MT1004 SV " + std::to_string(sv) +
                " CI-L1 0_C/A-Code PR-L1 20000.000m PhR-PR-L1-L1 -1.50000m LTI-L1 127_lock_time_>=_937 PRModAmbiL1 "
                "20985472.060m CNRL1 44.00db-Hz CI-L2 0_C/A-Code_or_L2C-Code PR-L2-L1 -2.400m PhR-PR-L2-L1 2.60000m "
                "LTI-L2 127_lock_time_>=_937 CNRL2 37.50db-Hz\r\n";
    const std::string frame = Encode(text);
    ASSERT_EQ(frame.size(), 3u + 55 + 3);
    EXPECT_EQ(BitsToUInt(Bits(frame).substr(24 + 55, 5)), 3u);
    EXPECT_EQ(DataLines(DecodeText(frame)), 4u);

    // Two epochs without the lines between their frames make two frames.
    EXPECT_EQ(Encode(text + text.substr(text.find("MT1004 ToW"))), frame + frame);
}

TEST(RtcmEncoder, UnselectedAndUnbuildableTypesProduceNothing) {
    RtcmEncoderOptions only1006;
    only1006.all_types = false;
    only1006.types.set(1006);
    const std::string station =
        "\r\nMT1005 Stat 1 Status 1 Sec -1 Seq 1000 Frame 200\r\nMT1005 ITRFRealYear 0 GpsInd 1 GloInd 1 GalInd 0 "
        "ARP_X 1.0 ARP_Y 2.0 ARP_Z 3.0\r\n";
    struct Case {
        const char* what;
        std::string text;
        RtcmEncoderOptions options;
    } cases[] = {
        {"not selected", station + "\r\n", only1006},
        {"MSM header only", "\r\nMT1077 Stat 1 Status 1 Sec -1 Seq 1000 Frame 500\r\n\r\n", {}},
        {"1045 header only", "\r\nMT1045 Stat 1 Status 1 Sec -1 Seq 1000 Frame 500\r\n\r\n", {}},
        {"empty frame", "\r\nMT9999 Stat 0 Status 1 Sec -1 Seq 1000 Frame 48\r\n\r\n", {}},
        {"RTCM 2 health", "\r\nMT05 Stat 1 Status 0 Sec 1.2 Seq 0 Frame 1\r\nMT05 SV 3 ZCount 1.2 IODLink 0\r\n\r\n", {}},
        {"RTCM 2 null frame", "\r\nMT06 Stat 1 Status 0 Sec 1.2 Seq 0 Frame 1\r\n\r\n", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Encode(c.text, c.options), "") << c.what;
    EXPECT_EQ(Encode(station + "\r\n").size(), 25u);
}

TEST(RtcmEncoder, TheOpenMessageIsWrittenAtTheEndOfTheInput) {
    const std::string text = "\r\nMT03 Stat 5 Status 0 Sec 12.0 Seq 0 Frame 4\r\nMT03 Stat 5 ZCount 12.0 X 1.00 Y 2.00 Z 3.00";
    const std::string bytes = Encode(text);
    EXPECT_EQ(bytes.size(), 1u + 6 * 5);
    EXPECT_NE(DecodeText(bytes).find("X 1.000 Y 2.000 Z 3.000"), std::string::npos);
    // Nor is a message lost when the next header follows without a blank line.
    EXPECT_EQ(Encode(text.substr(2) + "\r\n" + text.substr(2)).size(), 1u + 2 * 6 * 5);
}

TEST(RtcmEncoder, Rtcm2SatellitesBeyondOneMessageGoOnInTheNext) {
    std::string text = "\r\nMT01 Stat 5 Status 0 Sec 12.0 Seq 0 Frame 31\r\n";
    for (int sv = 1; sv <= 20; ++sv)
        text += "MT01 SV " + std::to_string(sv) +
                " ZCount 12.0 FktPRC 0.020 FktRRC 0.0020 PRC 1.000 RRC 0.0020 IOD 7 UDRE 0_OSigDErr_<=_1m\r\n";
    const std::string decoded = DecodeText(Encode(text + "\r\n"));
    // 18 satellites fill 30 words, the frame length field holds 31 at most.
    EXPECT_NE(decoded.find("MT01 Stat 5 Status 0 Sec 12.0 Seq 0 Frame 30"), std::string::npos);
    EXPECT_NE(decoded.find("MT01 Stat 5 Status 0 Sec 12.0 Seq 1 Frame 4"), std::string::npos);
    EXPECT_EQ(DataLines(decoded), 20u);
}

TEST(RtcmEncoder, Rtcm2PrefixSequenceAndCarriageReturns) {
    const std::string mt3 = "\r\nMT03 Stat 5 Status 0 Sec 12.0 Seq 0 Frame 4\r\nMT03 Stat 5 ZCount 12.0 X -1.01 Y 2.00 Z 3.00\r\n";
    const std::string mt1006 =
        "\r\nMT1006 Stat 5 Status 1 Sec -1 Seq 1000 Frame 216\r\nMT1006 ITRFRealYear 0 GpsInd 1 GloInd 1 GalInd 0 "
        "RefStatInd 0 SingRecOscInd 0 ARP_X 1.0 ARP_Y 2.0 ARP_Z 3.0 AntH 1.5\r\n";
    std::string text;
    for (int i = 0; i < 9; ++i) text += mt3;
    text += mt1006 + mt3;
    for (bool cr : {false, true}) {
        SCOPED_TRACE(cr);
        RtcmEncoderOptions o;
        o.cr_after_message = cr;
        const std::string bytes = Encode(text + "\r\n", o);
        std::string seqs;
        for (const std::string& line : Lines(DecodeText(bytes)))
            if (line.rfind("MT03 Stat 5 Status", 0) == 0) seqs += line.substr(line.find(" Seq ") + 5, 1);
        EXPECT_EQ(seqs, "0123456701");
        EXPECT_EQ(bytes[0], '\x40');
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), cr ? 11 : 0);

        // Behind the RTCM 3 frame the prefix comes again and the parity chain starts from 00.
        const size_t d3 = bytes.find('\xD3');
        ASSERT_NE(d3, std::string::npos);
        EXPECT_EQ(bytes.substr(d3, 27), Encode(mt1006));
        const size_t after = d3 + 27 + (cr ? 1 : 0);
        ASSERT_LT(after + 5, bytes.size());
        EXPECT_EQ(bytes[after], '\x40');
        uint32_t word = 0;
        for (size_t i = after + 1; i < after + 6; ++i)
            for (int k = 0; k < 6; ++k) word = (word << 1) | ((bytes[i] >> k) & 1);
        EXPECT_TRUE(reference::GpsWordParity(word, 0, 0, nullptr));
    }
}

bool Built(int type) {
    static const std::set<int> kRtcm2 = {1, 2, 3, 4, 9, 14, 16, 17, 18, 19, 20, 21, 22, 23, 24, 31, 32, 37, 59};
    return kRtcm2.count(type) != 0 || (type >= 1001 && type <= 1020 && type != 1018) ||
           (type >= 1029 && type <= 1039 && type != 1036);
}

struct Frame {
    int type = 0;
    std::vector<std::string> lines;  // header first
    // Epoch lines that count satellites the decoder does not print (SBAS, numbers outside 1..32).
    bool MissesSatellites() const {
        for (const char* label : {" NGpsSvSiProc ", " NGloSvSiProc "}) {
            const size_t at = lines.size() < 2 ? std::string::npos : lines[1].find(label);
            if (at != std::string::npos)
                return std::atoi(lines[1].c_str() + at + 14) != static_cast<int>(lines.size()) - 2;
        }
        return false;
    }
};

std::vector<Frame> Frames(const std::string& comparable) {
    std::vector<Frame> out;
    for (const std::string& line : Lines(comparable)) {
        if (line.rfind("MT", 0) != 0) continue;
        if (line.find(" Status ") != std::string::npos)
            out.push_back({std::atoi(line.c_str() + 2), {line}});
        else if (!out.empty())
            out.back().lines.push_back(line);
    }
    return out;
}

// The text of the built types must come back; returns the frames compared.
int ExpectSameText(const std::string& name, const std::string& first, const std::string& second) {
    std::vector<Frame> expected;
    for (Frame& f : Frames(Comparable(first)))
        if (Built(f.type) && f.lines.size() > 1) expected.push_back(std::move(f));
    std::vector<Frame> got = Frames(Comparable(second));
    EXPECT_EQ(got.size(), expected.size()) << name;
    int compared = 0;
    for (size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
        if (got[i].type != expected[i].type) {
            ADD_FAILURE() << name << " frame " << i << ": " << got[i].lines[0] << " for " << expected[i].lines[0];
            break;
        }
        if (expected[i].MissesSatellites()) continue;
        EXPECT_EQ(got[i].lines, expected[i].lines) << name << " frame " << i;
        ++compared;
    }
    return compared;
}

std::vector<std::string> Rtcm3Messages(const std::string& bytes) {
    std::vector<std::string> out;
    for (const std::string& frame : reference::Rtcm3Frames(bytes))
        if (frame.size() >= 8) out.push_back(Bits(frame.substr(3, frame.size() - 6)));  // a type to read
    return out;
}

int Type(const std::string& message) { return static_cast<int>(BitsToUInt(message.substr(0, 12))); }

// A message as far as its text carries it: the printed satellites and their count, 1005 without its
// station and oscillator flags, 1005 and 1006 without the quarter-cycle bits.
std::string Carried(std::string bits) {
    const int type = Type(bits);
    if (type == 1004 || type == 1012) {
        const bool glo = type == 1012;
        const size_t header = glo ? 61 : 64, width = glo ? 130 : 125, count_at = glo ? 52 : 55;
        const size_t count = BitsToUInt(bits.substr(count_at, 5));
        std::string kept = bits.substr(0, header);
        size_t n = 0;
        for (size_t k = 0; k < count && header + (k + 1) * width <= bits.size(); ++k) {
            const unsigned id = BitsToUInt(bits.substr(header + k * width, 6));
            if (id < 1 || id > 32) continue;
            kept += bits.substr(header + k * width, width);
            ++n;
        }
        for (int b = 4; b >= 0; --b) kept[count_at + 4 - b] = ((n >> b) & 1) != 0 ? '1' : '0';
        kept.resize((kept.size() + 7) / 8 * 8, '0');
        return kept;
    }
    if (type == 1005) bits[33] = bits[72] = '0';
    if ((type == 1005 || type == 1006) && bits.size() > 114) bits[112] = bits[113] = '0';
    return bits;
}

// In order, as far as the text carries them; the decoder may have missed originals.
void ExpectSameFrames(const std::string& name, const std::string& original, const std::string& encoded) {
    const std::set<int> types = {1004, 1012, 1005, 1006, 1033, 1019, 1020, 1008, 1014, 1015};
    const std::vector<std::string> in = Rtcm3Messages(original);
    size_t at = 0;
    for (const std::string& f : Rtcm3Messages(encoded)) {
        if (types.count(Type(f)) == 0) continue;
        size_t k = at;
        while (k < in.size() && Carried(in[k]) != Carried(f)) ++k;
        if (k == in.size())
            ADD_FAILURE() << name << ": no original frame for a re-encoded " << Type(f);
        else
            at = k + 1;
    }
}

TEST(RtcmRoundTrip, ExampleStreamsComeBackAsTextAndFrames) {
    const std::string rtcm3 = testing::ReadFile(Example("example.rtcm3"));
    const std::string text3 = DecodeText(rtcm3);
    const std::string encoded3 = Encode(text3);
    EXPECT_EQ(ExpectSameText("example.rtcm3", text3, DecodeText(encoded3)), 37);
    EXPECT_EQ(encoded3, rtcm3);
    const std::string text2 = DecodeText(testing::ReadFile(Example("example.rtcm2")));
    EXPECT_GT(ExpectSameText("example.rtcm2", text2, DecodeText(Encode(text2))), 50);
}

// The first 24000 bytes of each capture keep the sanitizer runs within their time.
class RtcmRoundTripCapture : public ::testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RtcmRoundTripCapture);

TEST_P(RtcmRoundTripCapture, ComesBackAsTextAndFrames) {
    const std::string original = testing::ReadFile(GetParam()).substr(0, 24000);
    const bool rtcm3 = GetParam().find("/rtcm3/") != std::string::npos;
    const std::string first = DecodeText(original, rtcm3 ? 2 : 1);
    const std::string encoded = Encode(first);
    ExpectSameText(GetParam(), first, DecodeText(encoded));
    if (rtcm3) ExpectSameFrames(GetParam(), original, encoded);
}

INSTANTIATE_TEST_SUITE_P(Shared, RtcmRoundTripCapture, ::testing::ValuesIn(testing::SharedCaptures({"rtcm3", "rtcm2"})),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = fs::path(info.param).filename().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return std::to_string(info.index) + "_" + name;
                         });

// gpsd's JSON lines without the sequence (the encoder numbers anew) and with satellites sorted.
std::multiset<std::string> Gpsdecode(const std::string& path) {
    static const std::regex kSeq(R"("seqnum":\d+,)"), kItem(R"(\{[^{}]*\})");
    std::multiset<std::string> out;
    for (std::string line : Lines(testing::Capture("gpsdecode < '" + path + "' 2>/dev/null").out)) {
        line = std::regex_replace(line, kSeq, "");
        const size_t from = line.find("\"satellites\":[");
        if (from != std::string::npos) {
            const size_t end = line.find(']', from);
            const std::sregex_token_iterator first(line.begin() + from, line.begin() + end, kItem), last;
            const std::multiset<std::string> items(first, last);
            std::string sorted;
            for (const std::string& item : items) sorted += item + ",";
            line.replace(from, end - from, sorted);
        }
        out.insert(line);
    }
    return out;
}

TEST(RtcmRoundTrip, GpsdReadsTheReencodedRtcm2WithTheOriginalValues) {
    if (testing::Capture("command -v gpsdecode").status != 0) GTEST_SKIP() << "gpsdecode is not installed";
    testing::TempDir dir;
    std::vector<std::string> streams = {Example("example.rtcm2")};
    for (const std::string& path : testing::SharedCaptures({"rtcm2"}))
        if (path.find("gpsd-") != std::string::npos) streams.push_back(path);
    for (const std::string& path : streams) {
        const std::string encoded = Encode(DecodeText(testing::ReadFile(path), 1));
        testing::WriteFile("encoded.rtcm2", encoded);
        const std::multiset<std::string> want = Gpsdecode(path), got = Gpsdecode("encoded.rtcm2");
        const int messages = static_cast<int>(Frames(Comparable(DecodeText(encoded))).size());
        // gpsd syncs only after two messages behind the prefix byte and skips some of the original too.
        EXPECT_GE(static_cast<int>(got.size()), std::min(messages, static_cast<int>(want.size())) - 2) << path;
        for (const std::string& line : got) {
            // Types gpsd does not interpret come as raw words, parity included.
            if (line.find("\"data\":[") != std::string::npos) continue;
            EXPECT_GE(want.count(line), 1u) << path << "\n" << line;
        }
    }
}

}  // namespace
}  // namespace zerlan
