// Golden lines of the RTK (18-21) and FKP (59) writers, RTCM 2.3 and 2.1.
// Expected values worked out by hand from the raw fields noted beside them.
#include <gtest/gtest.h>

#include "Rtcm2TestSupport.h"
#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

Rtcm2Lines Lines(int type, const Rtcm2Bits& bits, bool v23, int* flag = nullptr) {
    Rtcm2Frame f;
    f.type = type;
    f.station = 7;
    f.zseconds = 600.0;
    f.version23 = v23;
    f.data = bits.Bits();
    while (f.data.size() % 24 != 0) f.data.push_back('0');
    f.word_count = f.Words();
    Rtcm2Lines lines = Rtcm2MessageLines(f, flag);
    for (std::string& line : lines) line.resize(line.size() - 2);
    return lines;
}

TEST(Rtcm2RtkTest, PseudorangeWithGlonassFlagAndDroppedOddWord) {
    Rtcm2Bits b;
    b.U(0, 2).U(1, 2).U(300000, 20);  // GPSSec 300000 us = 0.3 s
    b.U(1, 1).U(1, 1).U(1, 1).U(3, 5).U(3, 4).U(15, 4).U(1000000000u, 32);  // PR x 0.02
    b.U(0, 3).U(9, 5).U(0, 16);       // a satellite starting in the last word
    ASSERT_EQ(b.Words(), 4);
    const auto lines = Lines(19, b, true);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "MT19 SV 43 ZCount 600.0 GPSSec 0.3000000 Freq 0_L1:0.1905m SmoothInterv 1_1-5_Min "
                        "1_P-Code 3_PR-DataQuality_<=_0.066m 15_MultipathError_not_determined FktPR 0.020 PR "
                        "20000000.000 MMI 1");
}

TEST(Rtcm2RtkTest, CarrierPhaseDiffersBetweenVersions) {
    Rtcm2Bits b;
    b.U(2, 2).U(0, 2).U(0, 20);
    b.U(1, 1).U(0, 1).U(1, 1).U(5, 5).U(7, 3).U(31, 5).S(-256, 32);
    // 2.1: bit 1 is the half-wavelength flag on L2, the GNSS bit is not read.
    EXPECT_EQ(Lines(18, b, false)[0], "MT18 SV 5 ZCount 600.0 GPSSec 0.0000000 Freq 2_L2:0.2445m 1_L2_Half "
                                      "7_PhaseError_>_0.12480_cycle FktCP 0.00781250 CP -2.00000000 CLOCI 31 MMI 0");
    // 2.3: bit 1 is the MMI, bit 3 makes slot 5 GLONASS 45.
    EXPECT_EQ(Lines(18, b, true)[0], "MT18 SV 45 ZCount 600.0 GPSSec 0.0000000 Freq 2_L2:0.2445m 0_L2_C/A-Code "
                                     "7_PhaseError_>_0.12480_cycle FktCP 0.00390625 CP -1.00000000 CLOCI 31 MMI 1");
    Rtcm2Bits c;
    c.U(1, 2).U(0, 2).U(0, 20);
    c.U(0, 1).U(1, 1).U(0, 1).U(0, 5).U(0, 3).U(2, 5).U(77, 8).S(256, 24);  // CPC 256 x 2^-8
    EXPECT_EQ(Lines(20, c, true)[0], "MT20 SV 32 ZCount 600.0 GPSSec 0.0000000 Freq 1_Ionospheric_Difference "
                                     "1_L1_P-Code 0_PhaseError_<=_0.00391_cycle FktCPC 0.00390625 CPC 1.00000000 "
                                     "CLOCI 2 IOD 77 MMI 0");
}

TEST(Rtcm2RtkTest, CorrectionScaleBitsMoveBetweenVersions) {
    Rtcm2Bits b;
    b.U(1, 2).U(3, 2).U(0, 20);
    // bit 9 = 1, bits 10-12 = 7, bit 13 = 0, bits 14-16 = 2, IOD 5; PRC -100, RRC 10.
    b.U(0, 1).U(0, 1).U(0, 1).U(12, 5).U(1, 1).U(7, 3).U(0, 1).U(2, 3).U(5, 8).S(-100, 16).S(10, 8);
    // 2.3: rate scale bit 9 (0.032), correction scale bit 13 (0.02).
    EXPECT_EQ(Lines(21, b, true)[0], "MT21 SV 12 ZCount 600.0 GPSSec 0.0000000 Freq 1_Ionospheric_free SmoothInterv "
                                     "3_Indefinite 0_C/A-Code_L1_Full 7_PRC-DataQuality_>_5.00m "
                                     "2_MultipathError_<=_0.50m FktRRC 0.032 RRC 0.320 FktPRC 0.020 PRC -2.000 IOD 5 "
                                     "MMI 0");
    // 2.1: correction scale bit 9 (0.32, coarse quality set), rate scale bit 1
    // (0.002), multipath bits 13-16 = 0010 on the 4-bit scale.
    EXPECT_EQ(Lines(21, b, false)[0], "MT21 SV 12 ZCount 600.0 GPSSec 0.0000000 Freq 1_Ionospheric_free "
                                      "SmoothInterv 3_Indefinite 0_C/A-Code_L1_Full 7_PRC-DataQuality_>_5.409m "
                                      "2_MultipathError_<=_0.223m FktRRC 0.002 RRC 0.020 FktPRC 0.320 PRC -32.000 "
                                      "IOD 5 MMI 0");
}

Rtcm2Bits Fkp(const char* inst, int sub_id) {
    Rtcm2Bits b;
    b.Chars(inst).U(sub_id, 5).U(0, 1).U(2, 2).Raw("00000000000000000000000000000101");
    // Block for satellite 1: IOD 11, Sl0 0.01, Sl1 0.04, N0 -5, N1 100, E0 3, E1 -7.
    b.U(11, 8).U(0, 4).U(0, 1).U(1, 1).S(-5, 10).S(100, 11).S(3, 10).S(-7, 11);
    // Satellite 3: IOD 12, Sl0 0.04, Sl1 0.01, N0 1, N1 -1, E0 0, E1 2.
    b.U(12, 8).U(0, 4).U(1, 1).U(0, 1).S(1, 10).S(-1, 11).S(0, 10).S(2, 11);
    return b;
}

TEST(Rtcm2FkpTest, MaskAssignsBlocksFromSatelliteOneUp) {
    int flag = -1;
    const auto lines = Lines(59, Fkp("AdV", 5), true, &flag);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "MT59 Stat 7 ZCount 600.0 InstID AdV SubID 5 DataSet 2 SatID "
                        "00000000000000000000000000000101");
    // N0 -5 x 0.01, N1 100 x 0.04, E0 3 x 0.01; E1 -7 x Sl0 (the encoder divides by Sl0).
    EXPECT_EQ(lines[1], "MT59 Stat 7 ZCount 600.0 Sv 1 Sl0 0.01_ppm Sl1 0.04_ppm N0 -0.05_ppm N1 4.00_ppm E0 "
                        "0.03_ppm E1 -0.07_ppm IOD 11 ");
    EXPECT_EQ(lines[2], "MT59 Stat 7 ZCount 600.0 Sv 3 Sl0 0.04_ppm Sl1 0.01_ppm N0 0.04_ppm N1 -0.01_ppm E0 "
                        "0.00_ppm E1 0.08_ppm IOD 12 ");
}

TEST(Rtcm2FkpTest, GlonassSubIdAndForeignInstitution) {
    int flag = 0;
    const auto glo = Lines(59, Fkp("AdV", 6), true, &flag);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(glo.size(), 3u);
    EXPECT_EQ(glo[1].substr(0, 31), "MT59 Stat 7 ZCount 600.0 Sv 41 ");
    EXPECT_EQ(glo[2].substr(0, 31), "MT59 Stat 7 ZCount 600.0 Sv 43 ");
    EXPECT_EQ(Lines(59, Fkp("XYZ", 5), true).size(), 1u);
    EXPECT_EQ(Lines(59, Fkp("AdV", 4), true).size(), 1u);
}

TEST(Rtcm2FkpTest, GlonassFramesFillTheGlonassSlot) {
    // Through the decoder: a type 31 frame puts its time into slot 2, not 1.
    Rtcm2Bits b;
    b.U(0, 1).U(0, 2).U(1, 5).S(0, 16).S(0, 8).U(0, 8);
    Rtcm2Builder builder;
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{31, 4, 500, 0, 0}, b.Bits()}}));
    ASSERT_EQ(h.MessageLines().size(), 1u) << h.text;
    const std::string slot1 = h.out.slots[1], slot2 = h.out.slots[2];
    EXPECT_EQ(slot1, "");
    EXPECT_EQ(slot2, "300.0");
    EXPECT_EQ(h.decoder.GlonassEpoch(), 300.0);
}

}  // namespace
}  // namespace zerlan
