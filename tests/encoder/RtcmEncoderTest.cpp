// The RTCM encoder on decoded text: messages built from chosen fields are
// decoded, encoded again and must come back bit for bit; selection, records
// and framing rules on hand-written text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "EncoderTestSupport.h"
#include "decoder/BitString.h"
#include "decoder/Rtcm3FrameBuilder.h"

namespace zerlan {
namespace {

using testing::Bits;
using testing::DataLines;
using testing::DecodeText;
using testing::Encode;

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
    // Frames in the field layouts the decoder reads, padded with zero bits to
    // whole words, come back byte for byte through text: one header, the 0x40
    // prefix of a first message, sequence 0.
    for (const auto& [type, bits] : cases) {
        std::string data = bits.Bits();
        data.resize((data.size() + 23) / 24 * 24, '0');
        Rtcm2Builder builder;
        const std::string frame = ToBytes6("000000" + builder.Frame({type, 100, 1234, 0, 5, -1}, data));
        const std::string text = DecodeText(frame);
        ASSERT_FALSE(DataLines(text).empty()) << type;
        EXPECT_EQ(Encode(text), frame) << "type " << type << "\n" << text;
    }
}

TEST(RtcmEncoder, Rtcm3TypesComeBackByteForByte) {
    auto start = [](int number, int station) { return CRtcm3FrameBuilder().U(12, number).U(12, station); };
    const CRtcm3FrameBuilder cases[] = {
        start(1002, 2003).U(30, 302400000).U(1, 1).U(5, 2).U(1, 1).U(3, 2)
            .U(6, 3).U(1, 0).U(24, 1000000).S(20, -3000).U(7, 127).U(8, 70).U(8, 176)
            .U(6, 32).U(1, 1).U(24, 16777215).S(20, 524287).U(7, 0).U(8, 0).U(8, 1),
        start(1010, 7).U(27, 53982000).U(1, 0).U(5, 1).U(1, 0).U(3, 7)
            .U(6, 24).U(1, 1).U(5, 13).U(25, 33554431).S(20, -5).U(7, 100).U(7, 127).U(8, 255),
        start(1007, 4095).U(8, 5).Text("ABC D").U(8, 9),
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
        ASSERT_FALSE(DataLines(text).empty()) << text;
        EXPECT_EQ(Bits(Encode(text)), Bits(frame)) << text;
    }
}

// A 1019 record of eight lines; `skip` names a line left out.
std::string Gps1019(int week, const std::string& skip = "") {
    const char* const lines[8] = {
        "MT1019 SV 12 GpsWeek %i GpsSvAccuracy 2 GpsCodeOnL2 1_P_Code_On ",
        "MT1019      Toc  3.024000000000E+05_sec           Af0 -9.536743164062E-05_sec                Af1 "
        "-5.684341886081E-13_sec/sec           Af2  0.000000000000E+00_sec/(sec*sec) ",
        "MT1019      Toe  3.024000000000E+05_sec         sqrtA  5.153625000000E+03_m^1/2           deltaN  "
        "1.023181539495E-09_semi-circles/sec   m0 -5.122274160385E-01_semi-circles ",
        "MT1019  Eccentr  1.000000000931E-02             Omega  6.984919309616E-01_semi-circles       Cus "
        "-3.911554813385E-06_radians           Cuc  5.774199962616E-07_radians ",
        "MT1019      Crc -9.375000000000E+01_m             Crs  3.750000000000E+01_m                  Cic  "
        "2.235174179077E-08_radians           Cis -7.450580596924E-08_radians ",
        "MT1019       i0  2.980232238770E-01_semi-circles IDOT -2.842170943040E-11_semi-circles/sec omega "
        "-4.190951585770E-01_semi-circles OmegaDot -2.273736754432E-09_semi-circles/sec ",
        "MT1019      Tgd  2.793967723846E-09_sec          IODC 0041                                   IODE 41 ",
        "MT1019  SvHealth 0 GpsL2PDataFlag 0 GpsFitInterval 0 ",
    };
    std::string text = "\r\nMT1019 Stat 0 Status 1 Sec -1 Seq 1000 Frame 536\r\n";
    for (const char* line : lines) {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, line, week);
        if (!skip.empty() && std::string(buffer).find(" " + skip + " ") != std::string::npos) continue;
        text += std::string(buffer) + "\r\n";
    }
    return text;
}

TEST(RtcmEncoder, GpsWeekIsWrittenModulo1024) {
    const std::string eph = Encode(Gps1019(2362) + "\r\n");
    ASSERT_EQ(eph.size(), 67u);
    EXPECT_EQ(BitsToUInt(Bits(eph).substr(24 + 18, 10)), 314u);

    const std::string tow = Encode(
        "\r\nMT14 Stat 1 Status 0 Sec 10.2 Seq 0 Frame 1\r\nMT14 ZCount 10.2 GPSWeek 2362 GPSHour 100 SwitchSec = 18\r\n");
    EXPECT_NE(DecodeText(tow).find("MT14 ZCount 10.2 GPSWeek  314 GPSHour 100 SwitchSec = 18"), std::string::npos);

    // Type 17, whose lines carry the 1019 values after the Z-count; read back
    // the week field gains 1024.
    std::string text17 = "\r\nMT17 Stat 1 Status 0 Sec 3.0 Seq 0 Frame 20\r\n";
    text17 += "MT17 SV 12 ZCount 3.0 GpsWeek 2362 IODE 41 \r\n";
    const std::vector<std::string> lines = DataLines(Gps1019(2362));
    for (size_t i = 1; i + 1 < lines.size(); ++i) text17 += "MT17 ZCount 3.0 " + lines[i].substr(7) + "\r\n";
    text17 += "MT17 ZCount 3.0 CodeOnL2 1 SvAccuracy 2 SvHealth 0 L2PCode 0 \r\n";
    EXPECT_NE(DecodeText(Encode(text17)).find("MT17 SV 12 ZCount 3.0 GpsWeek 1338 "), std::string::npos);
}

TEST(RtcmEncoder, EphemerisRecordsAreBuiltOnlyWhenComplete) {
    EXPECT_EQ(Encode(Gps1019(2000, "Crc") + "\r\n"), "");
    // A record that misses a line leaves nothing behind for the next one.
    const std::string both = Encode(Gps1019(2000, "Toe") + Gps1019(2001) + "\r\n");
    ASSERT_EQ(both.size(), 67u);
    EXPECT_EQ(BitsToUInt(Bits(both).substr(24 + 18, 10)), 2001u % 1024);
    // The same for type 17: without its last line nothing is sent.
    EXPECT_EQ(Encode("\r\nMT17 Stat 1 Status 0 Sec 3.0 Seq 0 Frame 20\r\nMT17 SV 12 ZCount 3.0 GpsWeek 2362 IODE 41 \r\n"
                     "\r\n"),
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
    EXPECT_EQ(frame.substr(0, 3), std::string("\xD3\x00\x37", 3));
    EXPECT_EQ(BitsToUInt(Bits(frame).substr(24 + 55, 5)), 3u);
    EXPECT_EQ(DataLines(DecodeText(frame)).size(), 4u);

    // Two epochs without the lines between their frames make two frames.
    const size_t second = text.find("MT1004 ToW");
    const std::string two = Encode(text + text.substr(second));
    EXPECT_EQ(two, frame + frame);
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
    EXPECT_EQ(DataLines(decoded).size(), 20u);
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
        RtcmEncoderOptions o;
        o.cr_after_message = cr;
        const std::string bytes = Encode(text + "\r\n", o);
        const std::string decoded = DecodeText(bytes);
        std::vector<std::string> seqs;
        for (const std::string& line : testing::Lines(decoded))
            if (line.rfind("MT03 Stat 5 Status", 0) == 0) seqs.push_back(line.substr(line.find(" Seq ") + 5, 1));
        EXPECT_EQ(seqs, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "0", "1"})) << cr;
        EXPECT_EQ(bytes[0], '\x40');

        // After the RTCM 3 frame the prefix byte comes again and the words
        // after it carry the parity of a chain that starts from 00.
        const size_t d3 = bytes.find('\xD3');
        ASSERT_NE(d3, std::string::npos);
        EXPECT_EQ(bytes.substr(d3, 27), Encode(mt1006));
        const size_t after = d3 + 3 + 21 + 3 + (cr ? 1 : 0);
        ASSERT_LT(after, bytes.size());
        EXPECT_EQ(bytes[after], '\x40');
        std::string stream = "00";
        for (size_t i = after + 1; i < after + 6; ++i)
            for (int k = 0; k < 6; ++k) stream.push_back(((bytes[i] >> k) & 1) != 0 ? '1' : '0');
        std::string word;
        EXPECT_EQ(CheckWordParity(stream, &word), 1);
        if (cr) {
            EXPECT_GE(std::count(bytes.begin(), bytes.end(), '\r'), 11);
        }
    }
}

}  // namespace
}  // namespace zerlan
