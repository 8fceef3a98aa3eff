// RINEX from the RTCM 2 decoder's text; the clock stands at 5 December 2011 (day 339) 10:20:00.
#include "encoder/RinexEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/GlobalSeconds.h"
#include "decoder/TextFormat.h"
#include "support/RinexObservations.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

const int32_t kNow = GlobalSeconds().SecondsOf("05.12.2011", "10:20:00");

// Carrier phase on L1 (C/A) or L2 (P), and the C/A (L1) or P (L2) pseudorange.
std::string Phase(int sv, double z, bool l2, double cycles) {
    return FormatText("MT18 SV %i ZCount %.1lf GPSSec 0.0000000 Freq %s %s 2_PhaseError_<=_0.01239_cycle FktCP "
                      "0.00390625 CP %.8lf CLOCI 0 MMI 1\r\n",
                      sv, z, l2 ? "2_L2:0.2445m" : "0_L1:0.1905m", l2 ? "1_L2_P-Code" : "0_L1_C/A-Code", cycles);
}
std::string Range(int sv, double z, bool l2, double metres) {
    return FormatText("MT19 SV %i ZCount %.1lf GPSSec 0.0000000 Freq %s SmoothInterv 0_0-1_Min %s "
                      "7_PR-DataQuality_<=_0.329m 15_MultipathError_not_determined FktPR 0.020 PR %.3lf MMI 0\r\n",
                      sv, z, l2 ? "2_L2:0.2445m" : "0_L1:0.1905m", l2 ? "1_P-Code" : "0_C/A-Code", metres);
}

struct Harness {
    explicit Harness(RinexConfig c = Config()) : encoder(c, Env()) {}
    static RinexConfig Config() {
        RinexConfig c;
        c.to_files = false;
        c.to_pool = true;
        return c;
    }
    RinexEnvironment Env() {
        RinexEnvironment env;
        env.now_seconds = [] { return kNow; };
        env.to_pool = [this](const std::string& text) { out += text; };
        return env;
    }
    void Feed(const std::string& text) {
        for (char ch : text) encoder.PutByte(ch);
    }
    void Epoch(double z, int sv = 3) { Feed(Range(sv, z, false, 20000000.0 + z)); }
    std::string Epochs() const {
        std::string seen;
        for (const auto& e : testing::ReadRinexObservations(out)) seen += e.minute_second + " ";
        return seen;
    }
    std::string out;
    RinexEncoder encoder;
};

TEST(RinexEncoder, ZCountsRoundToWholeSecondsAndX8ThenNextX4GoesUp) {
    struct Case {
        std::vector<double> t;
        std::vector<int> seconds;
    } cases[] = {
        {{10.8, 11.4}, {11, 12}},
        {{12.0, 12.6, 13.2, 13.8, 14.4}, {12, 13, 13, 14, 15}},
        {{3599.8, 0.4}, {0, 1}},   // across the hour
        {{20.0, 21.4}, {20, 21}},  // a step of 1.4 s is no 0.6 s step
    };
    for (const Case& c : cases) {
        Harness h;
        for (size_t i = 0; i < c.t.size(); ++i) EXPECT_EQ(h.encoder.StartEpoch(c.t[i], false) % 60, c.seconds[i]) << c.t[i];
    }
}

TEST(RinexEncoder, GlonassIsShiftedIntoGpsTimeAndListedAfterGps) {
    for (bool glonass : {true, false}) {
        RinexConfig config = Harness::Config();
        config.glonass = glonass;
        Harness h(config);
        h.Feed(Phase(45, 729.6, false, -1234.5) + Range(45, 729.6, false, 21000000.0) + Range(3, 747.6, false, 2e7));
        h.encoder.Finish();
        EXPECT_NE(h.out.find(glonass ? " 11 12  5 10 12 28.0000000  0 02G 3R 5\n"
                                     : " 11 12  5 10 12 28.0000000  0 01G 3\n"),
                  std::string::npos);
        EXPECT_EQ(h.out.find("LEAP SECONDS") != std::string::npos, glonass);
    }
    // A type 37 offset replaces the configured one.
    Harness h;
    h.Feed("MT37 Stat 5 ZCount 1.2 Sys1 0_GPS Sys2 1_GLONASS IntSec 14 DecSec 0.50000000000000000 \r\n");
    EXPECT_EQ(h.encoder.StartEpoch(729.6, true) % 60, 24);  // 744.1
}

TEST(RinexEncoder, ThirteenSatellitesContinueOnASecondLine) {
    Harness h;
    for (int sv = 1; sv <= 13; ++sv) h.Epoch(5.0, sv);
    h.encoder.Finish();
    EXPECT_NE(h.out.find("  0 13G 1G 2G 3G 4G 5G 6G 7G 8G 9G10G11G12\n" + std::string(32, ' ') + "G13\n"),
              std::string::npos);
}

TEST(RinexEncoder, RecordsWaitForTheFifthEpochAndTheStopWritesTheRing) {
    Harness h;
    for (int s = 1; s <= 4; ++s) h.Epoch(1200.0 + s);
    EXPECT_EQ(h.out, "");
    h.Epoch(1205.0);
    EXPECT_EQ(h.Epochs(), "20:1 ");
    h.encoder.Finish();
    EXPECT_EQ(h.Epochs(), "20:1 20:2 20:3 20:4 20:5 ");
}

TEST(RinexEncoder, ALateLineFindsItsEpochOnlyWhileThatIsInTheRing) {
    Harness h;
    for (int s = 1; s <= 6; ++s) h.Epoch(1200.0 + s);
    h.Epoch(1204.0, 9);   // epoch 4 is still in the ring
    h.Epoch(1201.0, 10);  // epoch 1 has been written: dropped
    h.encoder.Finish();
    EXPECT_NE(h.out.find("20  4.0000000  0 02G 3G 9\n"), std::string::npos);
    EXPECT_NE(h.out.find("20  6.0000000  0 01G 3\n"), std::string::npos);
    EXPECT_EQ(h.out.find("G10"), std::string::npos);
}

TEST(RinexEncoder, TheIntervalFilterLooksAtTheEpochBeingWritten) {
    RinexConfig config = Harness::Config();
    config.interval_s = 3;
    Harness h(config);
    for (int s = 10; s <= 20; ++s) h.Epoch(1200.0 + s);
    h.encoder.Finish();
    EXPECT_EQ(h.Epochs(), "20:12 20:15 20:18 ");
}

TEST(RinexEncoder, PhaseIsRebuiltNearestThePseudorangeAtBothEdgesOfTheModulus) {
    const double m = RinexEncoder::kPhaseModulus;
    struct Case {
        double full;      // true phase, cycles
        double offset;    // pseudorange / wavelength - true phase
        double wrapped;   // the phase as sent: -full modulo 2^23, either sign
    } cases[] = {
        {3 * m + 100, -120, -100}, {3 * m + 100, -120, m - 100},  // range just below a multiple of 2^23
        {3 * m - 100, 120, 100},   {3 * m - 100, 120, 100 - m},   // range just above
        {3 * m + m / 2, 50, -m / 2}, {3 * m + m / 2, 50, m / 2},
    };
    for (double wavelength : {RinexEncoder::kL1Wavelength, RinexEncoder::kL2Wavelength}) {
        for (const Case& c : cases) {
            const double range = (c.full + c.offset) * wavelength;
            EXPECT_NEAR(RinexEncoder::ContinuousPhase(range, c.wrapped, wavelength), c.full, 1e-6) << c.wrapped;
        }
    }
    Harness h;  // L1 with C1, L2 with P2
    h.Feed(Phase(3, 5.0, false, -100) + Phase(3, 5.0, true, -200) + Range(3, 5.0, false, (3 * m + 90) * 0.190293672798) +
           Range(3, 5.0, true, (2 * m + 210) * 0.244210213425));
    h.encoder.Finish();
    EXPECT_NE(h.out.find("  25165924.000  "), std::string::npos) << h.out;  // 3 * 2^23 + 100
    EXPECT_NE(h.out.find("  16777416.000  \n"), std::string::npos) << h.out;  // 2 * 2^23 + 200
}

TEST(RinexEncoder, EveryHeaderLineIsEightyColumnsEvenWithALongAntennaDescriptor) {
    Harness h;
    h.Feed("MT23 Stat 205 Status 0 Sec 1.2 Seq 1 Frame 6\r\n");
    h.Feed("MT23 Stat 205 ZCount 1.2 AR 0 SF 1 NAD 31 AD \"TRM59800.00     SCIS  12345678X\" SetupID 0 NAS 4 "
           "AS \"SN12\"\r\n");
    h.Feed("MT24 Stat 205 ZCount 1.2 ArpXCoord -3869297.5100m ArpYCoord 3436571.3300m ArpZCoord 3717369.3800m "
           "AntHeight 1.2345m GS 0_GNSS_GPS AH 1_Antenna_height_information_provided\r\n");
    h.Epoch(5.0);
    h.encoder.Finish();
    const std::string header = h.out.substr(0, h.out.find("END OF HEADER") + 21);
    ASSERT_EQ(header.size(), 15u * 81);
    EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 15);
    for (size_t end = 80; end < header.size(); end += 81)
        EXPECT_EQ(header[end], '\n') << header.substr(end - 80, 80);
    for (const char* expected :
         {"0205                                                        MARKER NAME         \n",
          "SN12                TRM59800.00     SCIS                    ANT # / TYPE        \n",
          " -3869297.5100  3436571.3300  3717369.3800                  APPROX POSITION XYZ \n",
          "        1.2345        0.0000        0.0000                  ANTENNA: DELTA H/E/N\n",
          "MorvikV1.08         Holmvard Nordby     05-DEC-11 10:00     PGM / RUN BY / DATE \n",
          "  2011    12     5    10     0    5.0000000     GPS         TIME OF FIRST OBS   \n"}) {
        EXPECT_NE(header.find(expected), std::string::npos) << expected;
    }
}

TEST(RinexEncoder, FilesAreNamedAfterTheEpochAndBegunOnlyOnce) {
    testing::TempDir dir;
    struct Case {
        int period, layout;
        const char* prefix;
        const char* file;
    } cases[] = {{15, 0, "0000", "0000339k.41o"}, {60, 0, "0000", "0000339k.rxo"},
                 {0, 2, "Auto", "2011/339/0205339.rxo"}};
    for (const Case& c : cases) {
        RinexConfig config = Harness::Config();
        config.to_files = true;
        config.period_min = c.period;
        config.layout = c.layout;
        config.prefix = c.prefix;
        config.base_dir = ".";
        // A second job appends its records to the file without a second header.
        for (int job = 0; job < 2; ++job) {
            Harness h(config);
            h.Feed("MT18 Stat 205 Status 0 Sec 1.2 Seq 1 Frame 17\r\n");
            h.Epoch(1205.0 + job);
            h.encoder.Finish();
        }
        const std::string text = testing::ReadFile(c.file);
        EXPECT_EQ(text.find("END OF HEADER"), text.rfind("END OF HEADER")) << c.file;
        EXPECT_NE(text.find(" 11 12  5 10 20  6.0000000"), std::string::npos) << c.file;
    }
}

}  // namespace
}  // namespace zerlan
