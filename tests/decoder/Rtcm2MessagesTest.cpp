// Golden lines of the RTCM 2 message writers. Frames are built from chosen
// field values; each expected value is worked out by hand from the raw value
// and the scale (noted beside it). Z-count 1000 gives ZCount 600.0 throughout.
#include <gtest/gtest.h>

#include "Rtcm2TestSupport.h"
#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

Rtcm2Frame Frame(int type, const Rtcm2Bits& bits, bool v23 = true) {
    Rtcm2Frame f;
    f.type = type;
    f.station = 7;
    f.zseconds = 600.0;
    f.version23 = v23;
    f.data = bits.Bits();
    while (f.data.size() % 24 != 0) f.data.push_back(f.data.size() % 2 == 0 ? '1' : '0');
    f.word_count = f.Words();
    return f;
}

Rtcm2Lines Lines(int type, const Rtcm2Bits& bits, bool v23 = true, int* flag = nullptr) {
    Rtcm2Lines lines = Rtcm2MessageLines(Frame(type, bits, v23), flag);
    for (std::string& line : lines) {
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        line.resize(line.size() - 2);
    }
    return lines;
}

Rtcm2Bits& Correction(Rtcm2Bits& b, int scale, int udre, int sv, int prc, int rrc, int third) {
    return b.U(scale, 1).U(udre, 2).U(sv, 5).S(prc, 16).S(rrc, 8).U(third, 8);
}

TEST(Rtcm2CorrectionsTest, FillSatelliteOfTheLastWordIsDropped) {
    // Four satellites take 160 bits, seven words; the 8 fill bits in word 7
    // look like a fifth satellite that starts in the last word.
    Rtcm2Bits b;
    for (int sv : {9, 4, 30, 17}) Correction(b, 0, 0, sv, sv, 0, 1);
    ASSERT_EQ(b.Words(), 7);
    const auto lines = Lines(1, b);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 10), "MT01 SV 4 ");
    EXPECT_EQ(lines[3], "MT01 SV 30 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC 0.600 RRC 0.0000 IOD 1 UDRE "
                        "0_OSigDErr_<=_1m");
    // Two satellites in four words: the second starts in word 2, is whole,
    // and the fill in word 4 is dropped.
    Rtcm2Bits two;
    Correction(two, 0, 2, 1, -1, -1, 0);
    Correction(two, 1, 3, 2, 2, 1, 255);
    ASSERT_EQ(two.Words(), 4);
    const auto l2 = Lines(9, two);
    ASSERT_EQ(l2.size(), 2u);
    // PRC -1 x 0.02, RRC -1 x 0.002; then 2 x 0.32 and 1 x 0.032.
    EXPECT_EQ(l2[0], "MT09 SV 1 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC -0.020 RRC -0.0020 IOD 0 UDRE "
                     "2_OSigDErr_>_4m_to_<=_8m");
    EXPECT_EQ(l2[1], "MT09 SV 2 ZCount 600.0 FktPRC 0.320 FktRRC 0.0320 PRC 0.640 RRC 0.0320 IOD 255 UDRE "
                     "3_OSigDErr_>_8m");
}

TEST(Rtcm2CorrectionsTest, DeltaAndGlonassFormats) {
    Rtcm2Bits b;
    Correction(b, 0, 0, 0, 100, 10, 42);  // satellite 0 is 32; PRC 100 x 0.02 = 2.000, RRC 10 x 0.002
    EXPECT_EQ(Lines(2, b)[0], "MT02 SV 32 ZCount 600.0 FktDPRC 0.020 FktDRRC 0.0020 DPRC 2.000 DRRC 0.0200 IOD "
                              "42 UDRE 0_OSigDErr_<=_1m");
    // GLONASS slot 5 is SV 45. Type 31: change bit 1, TOD 3 x 30 s = 90.0.
    Rtcm2Bits g;
    g.U(0, 1).U(1, 2).U(5, 5).S(-50, 16).S(-2, 8).U(1, 1).U(3, 7);
    int flag = 0;
    const auto l31 = Lines(31, g, true, &flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(l31[0], "MT31 SV 45 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC -1.000 RRC -0.0040 CB 1 TOD 90.0 "
                      "UDRE 1_OSigDErr_>_1m_to_<=_4m");
    // Type 34: the first bit of the last byte is not read; TOD 127 x 30 = 3810.0.
    Rtcm2Bits t;
    t.U(0, 1).U(0, 2).U(0, 5).S(0, 16).S(0, 8).U(1, 1).U(127, 7);
    EXPECT_EQ(Lines(34, t)[0], "MT34 SV 72 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC 0.000 RRC 0.0000 TOD "
                               "3810.0 UDRE 0_OSigDErr_<=_1m");
}

TEST(Rtcm2StationTest, DatumAndExtendedParameters) {
    // Datum: GLONASS (1), local datum (1), "W84" and "AB"; DX 123 x 0.1,
    // DY -5 x 0.1, DZ 0.
    Rtcm2Bits d;
    d.U(1, 3).U(1, 1).U(0, 4).Chars("W84").Chars("AB").S(123, 16).S(-5, 16).S(0, 16);
    EXPECT_EQ(Lines(4, d)[0], "MT04 Stat 7 ZCount 600.0 DGNSS 1_GLONASS DAT 1_Local_Datum DatAlpha W84 DatSubDiv AB "
                              "DX 12.3 DY -0.5 DZ 0.0 ");
    // Type 22: L1 DX 1 x 0.00390625, DY -128 x 0.00390625 = -0.5, DZ 0;
    // height 256 x 0.00390625 = 1 (no offset); L2 DX 16 x 0.0625 = 1.
    Rtcm2Bits e;
    e.S(1, 8).S(-128, 8).S(0, 8);
    e.U(0, 2).U(1, 1).U(0, 1).U(1, 1).U(0, 1).U(256, 18);
    e.S(16, 8).S(-1, 8).S(0, 8);
    EXPECT_EQ(Lines(22, e)[0],
              "MT22 Stat 7 ZCount 600.0  DXCorrL1 0.00390625cm DYCorrL1 -0.50000000cm DZCorrL1 0.00000000cm "
              "DXCorrL2 1.0000cm DYCorrL2 -0.0625cm DZCorrL2 0.0000cm AntHeight 1.00000000cm GS 1_GNSS_GLONASS AT "
              "0_No_antenna_type_definition_record_follows_(see_MT23) AP "
              "1_Antenna_reference_point_record_follows_(see_MT24) NH 0_Antenna_height_information_provided ");
    // NH set: no height.
    Rtcm2Bits n;
    n.S(0, 8).S(0, 8).S(0, 8).U(0, 5).U(1, 1).U(5, 18);
    EXPECT_NE(Lines(22, n)[0].find("AntHeight -9999.99900000cm"), std::string::npos);
}

TEST(Rtcm2StationTest, ReferencePointBeyondThirtyOneBitsKeepsItsValue) {
    // X 4000000 m = 40000000000 x 0.0001 m needs 36 bits; Y and Z negative.
    Rtcm2Bits b;
    b.S(40000000000LL, 38).U(0, 2).S(-20000001234LL, 38).U(0, 2).S(-137438953472LL, 38);
    b.U(1, 1).U(1, 1).U(15000, 18).U(0, 6);
    ASSERT_EQ(b.Words(), 6);
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

TEST(Rtcm2HealthTest, LabelsAtTheirLimits) {
    auto word = [](Rtcm2Bits& b, int sv, int cn0, int unhealthy) {
        b.U(0, 1).U(sv, 5).U(1, 1).U(5, 3).U(cn0, 5).U(1, 1).U(0, 1).U(1, 1).U(unhealthy, 4).U(0, 2);
    };
    Rtcm2Bits b;
    word(b, 0, 0, 15);  // SV 32, not tracked, 75 minutes
    word(b, 3, 20, 0);  // 20 + 24 = 44 dB-Hz, about to go unhealthy
    word(b, 4, 1, 14);  // 25 dB-Hz, 70 minutes
    const auto lines = Lines(5, b);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "MT05 SV 3 ZCount 600.0 IODLink 1 DataHealth 5 SignalNoise 44_db-Hz HealthEnable 1 "
                        "NewNavData 0 LossSatWarning 1 TimeToUnHealth Satellite_is_about_to_go_unhealthy_! ");
    EXPECT_NE(lines[1].find("SignalNoise 25_db-Hz "), std::string::npos);
    EXPECT_NE(lines[1].find("TimeToUnHealth 70_min "), std::string::npos);
    EXPECT_EQ(lines[2], "MT05 SV 32 ZCount 600.0 IODLink 1 DataHealth 5 SignalNoise "
                        "Satellite_is_not_being_tracked_by_the_reference_station_! HealthEnable 1 NewNavData 0 "
                        "LossSatWarning 1 TimeToUnHealth "
                        "75_min_(The_Satellite_will_go_unhealthy_in_about_75_minutes_!) ");
    // GLONASS health: slot 3 is SV 43.
    Rtcm2Bits g;
    word(g, 3, 20, 1);
    int flag = 0;
    EXPECT_EQ(Lines(33, g, true, &flag)[0].substr(0, 11), "MT33 SV 43 ");
    EXPECT_EQ(flag, 1);
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

TEST(Rtcm2MiscTest, TransmitterTimeIonosphereText) {
    Rtcm2Bits t;  // latitude -1000 x 0.002747 = -2.747 (S), longitude 2000 x 0.005493 = 10.986 (E), 25 x 4 km
    t.U(1, 1).U(0, 1).U(0, 6).S(-1000, 16).S(2000, 16).S(25, 8);
    EXPECT_EQ(Lines(13, t)[0], "MT13 Stat 7 ZCount 600.0 StatMsg 1 RngFl 0 XmtrLatitude 2.75\xB0_S XmtrLongitude "
                               "10.99\xB0_E XmtrRange 100km ");
    Rtcm2Bits w;
    w.U(1000, 10).U(23, 8).U(18, 6);
    EXPECT_EQ(Lines(14, w)[0], "MT14 ZCount 600.0 GPSWeek 1000 GPSHour  23 SwitchSec = 18");
    // Ionosphere: GPS 0 (= 32) with rate -20 x 0.05; GLONASS 6 with the stop pattern.
    Rtcm2Bits i;
    i.U(0, 2).U(0, 1).U(0, 5).U(1234, 14).S(-20, 14);
    i.U(0, 2).U(1, 1).U(6, 5).U(16383, 14).U(0x2000, 14);
    const auto iono = Lines(15, i);
    ASSERT_EQ(iono.size(), 2u);
    EXPECT_EQ(iono[0], "MT15 SV 32 ZCount 600.0 IonosphericDelay 1234 IonosphericRate -1.00_cm/min");
    EXPECT_EQ(iono[1], "MT15 SV 46 ZCount 600.0 IonosphericDelay 16383 IonosphericRate "
                       "User_should_stop_using_iono_correction_!");
    Rtcm2Bits s;
    s.Chars("HELLO ");
    EXPECT_EQ(Lines(16, s)[0], "MT16 ZCount 600.0 \"HELLO \"");
    // A received line break must not start a decoded line.
    Rtcm2Bits crlf;
    crlf.Chars("A\r\nBCD");
    EXPECT_EQ(Lines(16, crlf)[0], "MT16 ZCount 600.0 \"A..BCD\"");
}

TEST(Rtcm2MiscTest, AntennaTypeAndTimeOffset) {
    // AR 1, NAD 4 "ABCD", setup 9, NAS 2 "XY"; without SF the serial bytes
    // are fill (0xAA here) and must not be read as a serial number.
    for (int sf : {0, 1}) {
        Rtcm2Bits a;
        a.U(0, 1).U(1, 1).U(sf, 1).U(4, 5).Chars("ABCD").U(9, 8);
        if (sf == 1) a.U(0, 3).U(2, 5).Chars("XY");
        else a.U(0xAA, 8).U(0xAA, 8).U(0xAA, 8);
        EXPECT_EQ(Lines(23, a)[0], sf == 1 ? "MT23 Stat 7 ZCount 600.0 AR 1 SF 1 NAD 4 AD \"ABCD\" SetupID 9 NAS 2 AS \"XY\""
                                           : "MT23 Stat 7 ZCount 600.0 AR 1 SF 0 NAD 4 AD \"ABCD\" SetupID 9 NAS 0 AS \"\"");
    }
    // Offset GPS-GLONASS: 13 s and 2^31 x 2^-32 = 0.5 s... as a signed field
    // 0x40000000 is 0.25 s.
    Rtcm2Bits o;
    o.U(0, 3).U(1, 3).U(0, 3).S(13, 7).U(0x40000000, 32);
    EXPECT_EQ(Lines(37, o)[0], "MT37 Stat 7 ZCount 600.0 Sys1 0_GPS Sys2 1_GLONASS IntSec 13 DecSec "
                               "0.25000000000000000 ");
}

TEST(Rtcm2EphemerisTest, TwentyWordsGiveEightLines) {
    Rtcm2Bits b;
    b.U(100, 10).S(-1, 14);            // W1: week 100 (+1024), IDOT -2^-43
    b.U(33, 8).U(100, 16);             // W2: IODE 33, toc 100 x 16 = 1600
    b.S(0, 16).S(0, 8);                // W3
    b.S(32, 16).U(0, 8);               // W4: Crs 32 x 2^-5 = 1
    b.U(0, 8).S(0, 16);                // W5
    b.U(0x80000000u, 32).S(0, 16);     // W6-W7: e = 2^31 x 2^-33 = 0.25
    b.U(2701918208u, 32).U(10, 16);    // W8-W9: sqrtA 5153.5, toe 160
    b.S(0, 32).S(0, 16);               // W10-11
    b.S(0, 32).S(0, 16);               // W12-13
    b.S(0, 32).S(0, 16);               // W14-15
    b.S(0, 24);                        // W16
    b.S(0, 32).U(513, 10).S(-1, 22);   // W17-19: IODC 513, af0 -2^-31
    b.U(0, 5).U(0, 3);                 // W19: satellite 0 = 32
    b.S(0, 8).U(2, 2).U(4, 4).U(0, 6).U(1, 1).U(0, 3);  // W20
    ASSERT_EQ(b.Words(), 20);
    const auto lines = Lines(17, b);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "MT17 SV 32 ZCount 600.0 GpsWeek 1124 IODE 33 ");
    EXPECT_EQ(lines[1].substr(0, 80), "MT17 ZCount 600.0     Toc  1.600000000000E+03_sec           Af0 -4.656612873077E");
    EXPECT_NE(lines[2].find("sqrtA  5.153500000000E+03_m^1/2"), std::string::npos);
    EXPECT_NE(lines[3].find("Eccentr  2.500000000000E-01 "), std::string::npos);
    EXPECT_NE(lines[4].find("Crs  1.000000000000E+00_m "), std::string::npos);
    EXPECT_NE(lines[5].find("IDOT -1.136868377216E-13_semi-circles/sec"), std::string::npos);
    EXPECT_EQ(lines[6], "MT17 ZCount 600.0     Tgd  0.000000000000E+00_sec          IODC 513 ");
    EXPECT_EQ(lines[7], "MT17 ZCount 600.0 CodeOnL2 2 SvAccuracy 4 SvHealth 0 L2PCode 1 ");
}

}  // namespace
}  // namespace zerlan
