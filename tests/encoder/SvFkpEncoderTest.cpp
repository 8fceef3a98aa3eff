// Per frame the satellite and FKP lists and the message type reach the store at the next header.
#include "encoder/SvFkpEncoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "supervision/SatFkpStore.h"

namespace zerlan {
namespace {

using Numbers = std::vector<int32_t>;

std::string Header(const std::string& type) {
    return "\r\nTM Rtcm3.1 -1.0 Mon Feb  3 10:00:00.000 2025\r\n" + type +
           " Stat 5 Status 1 Sec -1 Seq 1000 Frame 100\r\n";
}
std::string Sv(const std::string& type, int sat) { return type + " SV " + std::to_string(sat) + " x y z\r\n"; }

class SvFkpPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.Set(LocalTime{2025, 2, 3, 10, 0, 0, 0, 1});
        Clock::Install(&clock_);
        pool_ = std::make_unique<SvFkpPool>(store_, "1004,1012", [this] { return "t" + std::to_string(++frames_); });
    }
    void TearDown() override { Clock::Install(nullptr); }

    void Feed(const std::string& text) {
        for (char c : text) pool_->PutByte(c);
    }
    Numbers Sats(int system) {
        store_.CountSatellites(system);
        return store_.Satellites(system);
    }
    Numbers Fkp(int system) {
        store_.CountFkp(system);
        return store_.Fkp(system);
    }
    std::string Records(int system) {
        std::vector<SatFkpStore::MessageRecord> r;
        store_.MessageRecords(system, r);
        std::string text;
        for (const auto& m : r)
            text += std::to_string(m.type) + " " + m.time_text + " " + std::to_string(m.interval) + ";";
        return text;
    }

    FakeClock clock_;
    SatFkpStore store_;
    int frames_ = 0;
    std::unique_ptr<SvFkpPool> pool_;
};

TEST_F(SvFkpPoolTest, AFrameIsReportedAtTheNextHeaderWithItsInterval) {
    EXPECT_EQ(store_.MessageTypes(), (std::vector<int32_t>{1004, 1012}));  // the pool reset the store
    clock_.Advance(4000);
    Feed(Header("MT1004") + "MT1004 ToW 1.0 SyncGnssMF 1\r\n" + Sv("MT1004", 12) + Sv("MT1004", 3) + Sv("MT1004", 7));
    EXPECT_TRUE(Sats(0).empty());  // not yet: the frame is open
    clock_.Advance(1000);
    Feed(Header("MT1012") + Sv("MT1012", 45) + Sv("MT1012", 42));
    EXPECT_EQ(Sats(0), (Numbers{3, 7, 12}));
    EXPECT_EQ(Records(0), "1004 t1 4;");  // the first interval counts from the start

    // Once 1004 had SV lines its epoch line no longer counts; the lines of one second count once.
    clock_.Advance(2000);
    Feed(Header("MT1004") + "MT1004 ToW 2.0 SyncGnssMF 1\r\n" + Sv("MT1004", 5) + Sv("MT1004", 3));
    EXPECT_EQ(Sats(1), (Numbers{42, 45}));
    EXPECT_EQ(Records(1), "1012 t2 5;");
    clock_.Advance(3000);
    Feed(Header("MT1005"));
    EXPECT_EQ(Records(0), "1004 t3 3;");
}

TEST_F(SvFkpPoolTest, FkpFillBothListsEncryptionHeadersKeepThemAndAFrameKeepsAHundred) {
    Feed(Header("MT59") + "MT59 Stat 5 ZCount 1.0 Sv 45 Sl0 0.01_ppm\r\n" +
         "MT59 Stat 5 ZCount 1.0 Sv 7 Sl0 0.01_ppm\r\n" + Header("MT1034") + "MT1034 ToW 1.0 NrGpsSvSiProc 2\r\n" +
         Sv("MT1034", 9) + Sv("MT1034", 4) + Header("MT1004"));
    EXPECT_EQ(Fkp(1), (Numbers{45}));
    EXPECT_EQ(Sats(1), (Numbers{45}));
    EXPECT_EQ(Fkp(0), (Numbers{7, 9, 4}));  // FKP keep the order they came in
    EXPECT_EQ(Sats(0), (Numbers{4, 7, 9}));

    Feed(Sv("MT1004", 3) + Header("MT1047"));
    EXPECT_EQ(Sats(0), (Numbers{4, 7, 9}));  // 1047 and 1048 leave the lists alone
    Feed(Header("MT1048") + Header("MT1012"));
    EXPECT_EQ(Sats(0), (Numbers{3, 4, 7, 9}));
    for (int sat = 41; sat <= 160; ++sat) Feed(Sv("MT1010", sat));
    Feed(Header("MT1004"));
    const Numbers sats = Sats(1);
    ASSERT_EQ(sats.size(), 100u);
    EXPECT_EQ(sats.back(), 140);
}

}  // namespace
}  // namespace zerlan
