#include "supervision/AvailabilityWatch.h"

#include <memory>
#include <sstream>

#include "support/StateFixture.h"
#include "core/Messages.h"

namespace zerlan {
namespace {

using Numbers = std::vector<int32_t>;

class AvailabilityWatchTest : public testing::StateFixture {
protected:
    void SetUp() override {
        testing::StateFixture::SetUp();
        Settings& s = shared_.settings;
        s.protocol_file = ".\\Protokol.dat";
        s.kfkp = PresenceParams{"0", "NoGpsFkp", "", "0", "NoGloFkp", ""};
        s.ksat = PresenceParams{"10", "NoGpsSat", "", "10", "NoGloSat", ""};
        s.wfkp = PresenceParams{"0", "LowFkp", "4", "0", "LowGloFkp", "3"};
        s.wsat = PresenceParams{"10", "LowGpsSat", "4", "0", "LowGloSat", "3"};
        s.ai = FkpSaveParams{"0", "Save.dat"};
        shared_.sat_fkp_store.Reset();  // last-seen times from the fake clock
    }
    void Start() { watch_ = std::make_unique<AvailabilityWatch>(shared_); }

    // The watch thread's passes second by second up to `until` (from 09:05:00), GPS list `gps(second)`.
    void RunUntil(int until, const std::function<Numbers(int)>& gps) {
        while (second_ < until) {
            ++second_;
            clock_.Advance(1000);
            const Numbers list = gps(second_);
            if (!list.empty()) shared_.sat_fkp_store.SetSatelliteList(list, 0);
            const size_t before = Records().size();
            watch_->Pass();
            for (size_t i = before; i < Records().size(); ++i) at_.push_back(second_);
        }
    }
    std::vector<std::string> Records() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile("Protokol.dat"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::unique_ptr<AvailabilityWatch> watch_;
    int second_ = 0;
    std::vector<int> at_;  // the second of each record
};

Numbers None(int) { return {}; }

TEST_F(AvailabilityWatchTest, MissingSatellitesAreReportedAtTTwoTThreeTUntilDataReturns) {
    Start();
    // Checks every 3 s, T = 10 s: records at the checks after 10, 20 and 30 s, each with its own start.
    RunUntil(32, None);
    EXPECT_EQ(at_, (std::vector<int>{12, 12, 21, 21, 30, 30}));
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[1], "SW NoGloSat : no Glonass-Satellites, start_of_failure 03.02.2025  09:05:12");
    EXPECT_EQ(records[2], "SW NoGpsSat : no Gps-Satellites, start_of_failure 03.02.2025  09:05:15");
    EXPECT_EQ(records[4], "SW NoGpsSat : no Gps-Satellites, start_of_failure 03.02.2025  09:05:24");
    EXPECT_TRUE(Exists("NoGpsSat") && Exists("NoGloSat"));
    const std::vector<std::string> texts = Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0] + texts[1],
              "\r\nwritten in ProtocolFile\r\nno Gps-Satellites, start_of_failure 03.02.2025  09:05:12\r\n");

    // GPS data returns and GPS stays quiet while GLONASS goes on at 4T; when
    // GPS stops again (last seen at 44), its count starts afresh at T.
    at_.clear();
    RunUntil(44, [](int) { return Numbers{3, 7, 12, 19, 28}; });
    EXPECT_EQ(at_, (std::vector<int>{42}));
    at_.clear();
    RunUntil(56, None);
    EXPECT_EQ(at_, (std::vector<int>{51, 54}));
    EXPECT_EQ(Records().back(), "SW NoGpsSat : no Gps-Satellites, start_of_failure 03.02.2025  09:05:54");
}

TEST_F(AvailabilityWatchTest, StaleSatelliteListsAreClearedAndShown) {
    shared_.sat_fkp_store.SetSatelliteList(Numbers{3, 7, 12, 19, 28}, 0);
    Start();
    RunUntil(12, None);
    EXPECT_EQ(watch_->count(AvailabilityWatch::kGpsSat), 5);
    RunUntil(15, None);
    // The whole ring went at once: the count is 0 right after the clearing.
    shared_.sat_fkp_store.CountSatellites(0);
    EXPECT_EQ(shared_.sat_fkp_store.SatelliteCount(0), 0);
    view_.PumpPending();
    const std::vector<uint32_t> ids = Ids();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), msg::kGpsSatList), 5);  // after each of the five checks
    EXPECT_EQ(std::count(ids.begin(), ids.end(), msg::kGloFkpCount), 5);
}

TEST_F(AvailabilityWatchTest, ShortageIsReportedOnceItLastedItsIntervalThenOncePerInterval) {
    // Two satellites from the start: the shortage counts from the watch's start.
    shared_.settings.ksat = PresenceParams{"0", "NoGpsSat", "", "0", "NoGloSat", ""};
    Start();
    auto two_then_five = [](int s) { return s > 25 && s < 31 ? Numbers{3, 7, 12, 19, 28} : Numbers{3, 7}; };
    RunUntil(25, two_then_five);
    EXPECT_EQ(at_, (std::vector<int>{12, 24}));
    ASSERT_EQ(Records().size(), 2u);
    EXPECT_EQ(Records()[0], "SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure 03.02.2025  09:05:00");
    EXPECT_EQ(Records()[1], Records()[0]);
    EXPECT_TRUE(Exists("LowGpsSat"));

    // Five satellites break the shortage (the ring of seven frames keeps them until the check of 36);
    // the new shortage seen at 39 is reported after its own interval, not at once.
    at_.clear();
    RunUntil(48, two_then_five);
    EXPECT_TRUE(at_.empty());
    RunUntil(60, two_then_five);
    EXPECT_EQ(at_, (std::vector<int>{51}));
    EXPECT_EQ(Records().back(), "SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure 03.02.2025  09:05:39");
}

TEST_F(AvailabilityWatchTest, FkpLogIsOffForIntervalsOfZeroOrLessElseWritesTwoLines) {
    shared_.sat_fkp_store.SetFkpList(Numbers{9, 7}, 0);
    shared_.sat_fkp_store.SetSatelliteList(Numbers{7, 12}, 0);
    for (const char* off : {"0", "-5"}) {
        shared_.settings.ai = FkpSaveParams{off, "Save.dat"};
        Start();
        RunUntil(second_ + 5, None);
        EXPECT_EQ(watch_->WriteFkpLog(), 2);
        EXPECT_FALSE(Exists("Save.dat")) << off;
    }
    shared_.settings.ai = FkpSaveParams{"2", "Save.dat"};
    shared_.SetStationId("0815");
    Start();
    RunUntil(second_ + 2, None);  // 09:05:12
    // Data last seen at 09:05:00; Monday 3 Feb 2025 09:05:12 is second 119112 of GPS week 2352.
    EXPECT_EQ(ReadFile("Save.dat"),
              "RS 0815 D 2025.02.03 09:05:00  W 2352 GpsSek 119112 Gps: 2,2 -> 9 -; 7 #; \n"
              "RS 0815 D 2025.02.03 09:05:12  W 2352 GpsSek 119112 Glo: 0,0 -> \n");

    shared_.settings.ai = FkpSaveParams{"2", "no-such-dir/Save.dat"};
    Start();
    EXPECT_EQ(watch_->WriteFkpLog(), 1);
    view_.PumpPending();
    EXPECT_EQ(Texts().back(), "Datei no-such-dir/Save.dat kann nicht ge\xF6" "ffnet werden !\r\n");
}

}  // namespace
}  // namespace zerlan
