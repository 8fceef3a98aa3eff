#include "supervision/AvailabilityWatch.h"

#include <atomic>
#include <memory>
#include <numeric>
#include <sstream>
#include <thread>
#include <vector>

#include "core/Messages.h"
#include "core/ThreadRegistry.h"
#include "supervision/SatFkpStore.h"
#include "support/StateFixture.h"

namespace zerlan {
namespace {

using Numbers = std::vector<int32_t>;

Numbers Range(int32_t from, int32_t count) {
    Numbers n(static_cast<size_t>(count));
    std::iota(n.begin(), n.end(), from);
    return n;
}

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
        store_.Reset();  // last-seen times from the fake clock
    }
    Numbers CountedSats(int system) {
        EXPECT_EQ(store_.CountSatellites(system), 0);
        return store_.Satellites(system);
    }
    Numbers CountedFkp(int system) {
        EXPECT_EQ(store_.CountFkp(system), 0);
        return store_.Fkp(system);
    }
    void Start() { watch_ = std::make_unique<AvailabilityWatch>(shared_); }

    // Passes of each second up to `until` (0 = 09:05:00), GPS list gps(second); returns each record's second.
    std::vector<int> RunUntil(int until, const std::function<Numbers(int)>& gps) {
        std::vector<int> at;
        while (second_ < until) {
            ++second_;
            clock_.Advance(1000);
            const Numbers list = gps(second_);
            if (!list.empty()) store_.SetSatelliteList(list, 0);
            const size_t before = Records().size();
            watch_->Pass();
            for (size_t i = before; i < Records().size(); ++i) at.push_back(second_);
        }
        return at;
    }
    std::vector<std::string> Records() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile("Protokol.dat"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    SatFkpStore& store_ = shared_.sat_fkp_store;
    std::unique_ptr<AvailabilityWatch> watch_;
    int second_ = 0;
};

using SatFkpStoreTest = AvailabilityWatchTest;

TEST_F(SatFkpStoreTest, RingsOfSevenFramesMergeIntoBoundedLists) {
    struct Case {
        const char* name;
        std::vector<Numbers> frames;
        Numbers satellites, fkp;
    } cases[] = {
        // Types 18/19 may list satellites out of order; an ephemeris frame may carry just one.
        {"unsorted and single-satellite frames lose no satellite", {{5, 9}, {7, 9}, {11}, {30}, {22, 3, 1, 2}},
         {1, 2, 3, 5, 7, 9, 11, 22, 30}, {5, 9, 7, 11, 30, 22, 3, 1, 2}},
        {"FKP keep their first appearance order", {{12, 3}, {3, 7, 12, 1}}, {1, 3, 7, 12}, {12, 3, 7, 1}},
        {"zeros are skipped in satellites but end FKP lists", {{4, 0, 5, 7}}, {4, 5, 7}, {4}},
        {"only the first hundred numbers of a frame count", {Range(1, 150)}, Range(1, 100), Range(1, 100)},
        {"only the last seven frames count",
         {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}}, {2, 3, 4, 5, 6, 7, 8}, {8, 2, 3, 4, 5, 6, 7}},
        // At 200 entries the newest 100 stay: 101..200, then 201..300, ... 601..700.
        {"a full merged list keeps the newest hundred",
         {Range(1, 100), Range(101, 100), Range(201, 100), Range(301, 100), Range(401, 100), Range(501, 100),
          Range(601, 100)},
         Range(601, 100), Range(601, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store_.Reset();
        for (const Numbers& frame : c.frames) {
            store_.SetSatelliteList(frame, 0);
            store_.SetFkpList(frame, 0);
        }
        EXPECT_EQ(CountedSats(0), c.satellites);
        EXPECT_EQ(CountedFkp(0), c.fkp);
        EXPECT_TRUE(CountedSats(1).empty());  // GLONASS is a ring of its own
    }
}

TEST_F(SatFkpStoreTest, OneClearingEmptiesTheWholeRingButKeepsLastSeen) {
    for (int32_t i = 1; i <= 3; ++i) {
        store_.SetSatelliteList(Numbers{i, 10 + i}, 0);
        store_.SetFkpList(Numbers{i}, 0);
    }
    store_.SetSatelliteList(Numbers{5}, 1);
    const int64_t seen = clock_.EpochSeconds();
    clock_.Advance(60000);
    EXPECT_EQ(store_.ClearSatelliteList(0, 1), 0);
    EXPECT_TRUE(CountedSats(0).empty());
    EXPECT_EQ(store_.SatelliteLastSeen(0), seen);
    EXPECT_EQ(store_.ClearFkpList(0, 12), 0);
    EXPECT_TRUE(CountedFkp(0).empty());
    EXPECT_EQ(store_.FkpLastSeen(0), seen);
    // GLONASS keeps its ring; a new list after the clearing counts alone.
    EXPECT_EQ(CountedSats(1), (Numbers{5}));
    store_.SetSatelliteList(Numbers{7}, 0);
    EXPECT_EQ(CountedSats(0), (Numbers{7}));
    store_.SetFkpList(Numbers{5}, 1);
    EXPECT_EQ(store_.FkpLastSeen(1), seen + 60);
}

TEST_F(SatFkpStoreTest, MessageRecordsUpdateInPlaceAndHalveAtTwoHundredAndAResetClearsThem) {
    std::vector<SatFkpStore::MessageRecord> records;
    store_.AddMessageRecord(1004, 0, "10:00:00", 1);
    store_.AddMessageRecord(1005, 0, "10:00:00", 10);
    store_.AddMessageRecord(1004, 0, "10:00:01", 2);
    ASSERT_EQ(store_.MessageRecords(0, records), 0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].type * 100 + records[0].interval, 100402);
    EXPECT_EQ(records[0].time_text, "10:00:01");
    for (int32_t t = 0; t < 199; ++t) store_.AddMessageRecord(t, 1, "x", t);
    store_.AddMessageRecord(199, 1, std::string(150, 'y'), 199);
    store_.MessageRecords(1, records);
    ASSERT_EQ(records.size(), 100u);
    EXPECT_EQ(records.front().type, 100);
    EXPECT_EQ(records.back().time_text, std::string(99, 'y'));

    std::string gga;
    EXPECT_EQ(store_.SetGgaText(std::string(1500, 'g'), 3), 0);
    EXPECT_EQ(store_.GetGgaText(gga, 3), 0);
    EXPECT_EQ(gga, std::string(999, 'g'));
    store_.SetFkpList(Numbers{1}, 1);
    clock_.Advance(5000);
    EXPECT_EQ(store_.Reset("01,02,1077,,31"), 0);
    EXPECT_TRUE(CountedFkp(1).empty());
    store_.MessageRecords(1, records);
    store_.GetGgaText(gga, 3);
    EXPECT_TRUE(records.empty() && gga.empty());
    EXPECT_EQ(store_.SatelliteLastSeen(0), clock_.EpochSeconds());
    EXPECT_EQ(store_.MessageTypes(), (Numbers{1, 2, 1077, 31}));
    std::string long_list;
    for (int i = 1; i <= 60; ++i) long_list += std::to_string(i) + ",";
    store_.Reset(long_list);
    EXPECT_EQ(store_.MessageTypes(), Range(1, 50));  // at most fifty
}

TEST(SatFkpStoreThreads, WritersAndReadersKeepListsConsistent) {
    ThreadRegistry registry;  // idle: a new job's reset is not refused
    SatFkpStore store(&registry);
    store.SetSatelliteList(Numbers{6}, 0);
    store.Reset();
    store.CountSatellites(0);
    EXPECT_TRUE(store.Satellites(0).empty());
    registry.SetState(1, 0);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int32_t i = 0; i < 3000; ++i) {
            store.SetSatelliteList(Numbers{1, 2 + i % 5, 10}, i % 2);
            store.SetFkpList(Numbers{3, 4}, 0);
            store.AddMessageRecord(1000 + i % 300, 0, "t", i);
        }
        writing = false;
    });
    std::thread clearer([&] {
        while (writing.load()) store.ClearSatelliteList(0, 1);
    });
    int bad = 0;
    std::vector<SatFkpStore::MessageRecord> records;
    for (Numbers shown; writing.load();) {
        store.CountSatellites(0);
        const Numbers counted = store.Satellites(0);
        store.DisplayFkp(0, shown);
        store.MessageRecords(0, records);
        bad += !std::is_sorted(counted.begin(), counted.end()) || (!shown.empty() && shown != Numbers{3, 4}) ||
               records.size() >= 200;
    }
    writer.join();
    clearer.join();
    EXPECT_EQ(bad, 0);
    store.MessageRecords(0, records);
    EXPECT_EQ(records.size(), 100u);  // runs of 100 new types: halved at each 200th
}

Numbers None(int) { return {}; }

TEST_F(AvailabilityWatchTest, MissingSatellitesAreReportedAtTTwoTThreeTUntilDataReturns) {
    Start();
    // Checks every 3 s, T = 10 s: records at the checks after 10, 20 and 30 s, each with its own start.
    EXPECT_EQ(RunUntil(32, None), (std::vector<int>{12, 12, 21, 21, 30, 30}));
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

    // GPS returns, GLONASS goes on at 4T; when GPS stops again (last seen at 44) its count restarts at T.
    EXPECT_EQ(RunUntil(44, [](int) { return Numbers{3, 7, 12, 19, 28}; }), (std::vector<int>{42}));
    EXPECT_EQ(RunUntil(56, None), (std::vector<int>{51, 54}));
    EXPECT_EQ(Records().back(), "SW NoGpsSat : no Gps-Satellites, start_of_failure 03.02.2025  09:05:54");
}

TEST_F(AvailabilityWatchTest, StaleSatelliteListsAreClearedAndShown) {
    store_.SetSatelliteList(Numbers{3, 7, 12, 19, 28}, 0);
    Start();
    RunUntil(12, None);
    EXPECT_EQ(watch_->count(AvailabilityWatch::kGpsSat), 5);
    RunUntil(15, None);
    // The whole ring went at once: the count is 0 right after the clearing.
    store_.CountSatellites(0);
    EXPECT_EQ(store_.SatelliteCount(0), 0);
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
    EXPECT_EQ(RunUntil(25, two_then_five), (std::vector<int>{12, 24}));
    const std::string low = "SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure 03.02.2025  09:05:00";
    EXPECT_EQ(Records(), (std::vector<std::string>{low, low}));
    EXPECT_TRUE(Exists("LowGpsSat"));

    // Five satellites break the shortage (the ring of seven frames keeps them until the check of 36);
    // the new shortage seen at 39 is reported after its own interval, not at once.
    EXPECT_TRUE(RunUntil(48, two_then_five).empty());
    EXPECT_EQ(RunUntil(60, two_then_five), (std::vector<int>{51}));
    EXPECT_EQ(Records().back(), "SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure 03.02.2025  09:05:39");
}

TEST_F(AvailabilityWatchTest, FkpLogIsOffForIntervalsOfZeroOrLessElseWritesTwoLines) {
    store_.SetFkpList(Numbers{9, 7}, 0);
    store_.SetSatelliteList(Numbers{7, 12}, 0);
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
