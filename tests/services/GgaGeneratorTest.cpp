#include "services/GgaGenerator.h"

#include <gtest/gtest.h>

#include "core/SharedState.h"
#include "platform/Clock.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

class GgaGeneratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.Set(LocalTime{2025, 2, 3, 12, 34, 56, 0, 1});
        Clock::Install(&clock_);
    }
    void TearDown() override { Clock::Install(nullptr); }
    Settings With(const std::string& nmea) {
        Settings s;
        s.SetRaw(Key::kNmea, nmea);
        return s;
    }

    testing::TempDir dir_;
    FakeClock clock_;
    SharedState state_;
    GgaGenerator gga_{state_};
};

TEST_F(GgaGeneratorTest, FixedCoordinatesGiveTheKnownSentence) {
    EXPECT_EQ(gga_.Build(With("TRUE;FALSE;52;29;21.524334;13;18;43.791411;x;0;0")), 0);
    EXPECT_EQ(gga_.Sentence(),
              "$GPGGA,123456,5229.3587389,N,01318.7298569,E,1,5,3.00,64.052,M,0.000,M,,0000*44\r\n");
}

TEST_F(GgaGeneratorTest, NegativeDegreesAreSouthAndWest) {
    gga_.Build(With("TRUE;FALSE;-33;52;0;-70;30;0;x;0;0"));
    EXPECT_NE(gga_.Sentence().find(",3352.0000000,S,07030.0000000,W,"), std::string::npos);
    // The checksum printed is the one of the text before '*'.
    const std::string& s = gga_.Sentence();
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", GgaGenerator::Checksum(s));
    EXPECT_EQ(s.substr(s.find('*') + 1), std::string(hex) + "\r\n");
}

TEST_F(GgaGeneratorTest, MinutesThatRoundUpCarryIntoTheDegrees) {
    gga_.Build(With("TRUE;FALSE;10;59;59.9999999999;20;0;0;x;0;0"));
    EXPECT_NE(gga_.Sentence().find(",1100.0000000,N,"), std::string::npos) << gga_.Sentence();
}

TEST_F(GgaGeneratorTest, OutOfRangeCoordinatesAreRejectedWithEmptyFields) {
    EXPECT_EQ(gga_.Build(With("TRUE;FALSE;95;0;0;13;0;0;x;0;0")), 1);
    EXPECT_EQ(gga_.Sentence().rfind("$GPGGA,123456,,N,,E,1,5,3.00,64.052,M,0.000,M,,0000*", 0), 0u);
    EXPECT_EQ(state_.DisplayText(), "failure Coordinates !!");
    GgaGenerator other(state_);
    EXPECT_EQ(other.Build(With("TRUE;FALSE;-10;0;0;-180;0;0;x;0;0")), 1);
    EXPECT_EQ(other.Build(With("TRUE;FALSE;abc;0;0;1;0;0;x;0;0")), 1);
}

TEST_F(GgaGeneratorTest, SettingsAreTakenOnceAndTheTimeEachBuild) {
    gga_.Build(With("TRUE;FALSE;52;0;0;13;0;0;x;0;0"));
    clock_.Set(LocalTime{2025, 2, 3, 1, 2, 3, 0, 1});
    gga_.Build(With("TRUE;FALSE;10;0;0;10;0;0;x;0;0"));
    EXPECT_EQ(gga_.Sentence().rfind("$GPGGA,010203,5200.0000000,N,01300.0000000,E,", 0), 0u);
}

TEST_F(GgaGeneratorTest, FileModeTakesTheLastSentenceWhenItsChecksumAgrees) {
    const std::string good = "$GPGGA,1,2,3*";
    char sum[8];
    std::snprintf(sum, sizeof sum, "%02X", GgaGenerator::Checksum(good));
    testing::WriteFile("pool.dat", "noise\r\nold $GPGGA,x*00\r\n2025 " + good + sum + " tail\r\n\r\nno dollar\r\n");
    gga_.Build(With("TRUE;TRUE;0;0;0;0;0;0;.\\pool.dat;0;0"));
    EXPECT_EQ(gga_.Sentence(), good + sum + "\r\n");
}

TEST_F(GgaGeneratorTest, FileModeFailuresGiveTheFixedEmptySentences) {
    testing::WriteFile("bad.dat", "$GPGGA,1,2,3*00\r\n");
    testing::WriteFile("none.dat", "no sentence here\r\n");
    testing::WriteFile("nostar.dat", "$GPGGA,1,2,3\r\n");
    for (const char* file : {"bad.dat", "none.dat", "nostar.dat"}) {
        GgaGenerator g(state_);
        g.Build(With(std::string("TRUE;TRUE;0;0;0;0;0;0;") + file + ";0;0"));
        EXPECT_EQ(g.Sentence(), "$GPGGA,,,N,,E,,,,,,,,,*\r\n") << file;
    }
    gga_.Build(With("TRUE;TRUE;0;0;0;0;0;0;missing.dat;0;0"));
    EXPECT_EQ(gga_.Sentence(), "$GPGGA,,,,,,,,,,M,,M,,*\r\n");
}

TEST_F(GgaGeneratorTest, ClientModeTakesTheSelectedClientsSentence) {
    state_.sat_fkp_store.SetGgaText("$GPGGA,slot2\r\n", 2);
    state_.sat_fkp_store.SetGgaText("$GPGGA,slot1\r\n", 1);
    gga_.Build(With("TRUE;DEVICE;0;0;0;0;0;0;x;0;1"));
    EXPECT_EQ(gga_.Sentence(), "$GPGGA,slot2\r\n");
    std::string board;
    state_.status_board.GetText(board, 10);
    EXPECT_EQ(board, "$GPGGA,slot2\r\n");
    GgaGenerator second(state_), other(state_);
    second.Build(With("TRUE;DEVICE;0;0;0;0;0;0;x;0;2"));
    EXPECT_EQ(second.Sentence(), "$GPGGA,slot1\r\n");
    other.Build(With("TRUE;DEVICE;0;0;0;0;0;0;x;0;7"));
    EXPECT_EQ(other.Sentence(), "");
}

TEST(GgaChecksum, CoversTheTextBetweenDollarAndStar) {
    EXPECT_EQ(GgaGenerator::Checksum("$AB*FF"), 'A' ^ 'B');
    EXPECT_EQ(GgaGenerator::Checksum("$AB"), 'A' ^ 'B');
    EXPECT_EQ(GgaGenerator::Checksum("AB*"), 0);
    EXPECT_EQ(GgaGenerator::Checksum(""), 0);
}

}  // namespace
}  // namespace zerlan
