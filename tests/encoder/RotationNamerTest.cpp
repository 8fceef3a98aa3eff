// File names and directories of rotating outputs and RINEX files.
#include "encoder/RotationNamer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/GlobalSeconds.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

int32_t At(const std::string& date, const std::string& time) { return GlobalSeconds().SecondsOf(date, time); }

TEST(RotationNamerTest, NamesFollowPeriodHourAndLayout) {
    struct Case {
        int layout, period;
        const char *prefix, *ext, *date, *time, *name;
    } cases[] = {
        {0, 15, "0000", "o", "05.12.2011", "10:20:00", "b\\0000339k.41o"},
        {0, 60, "0000", "xo", "05.12.2011", "10:20:00", "b\\0000339k.rxo"},
        {0, 0, "0000", "xo", "05.12.2011", "10:20:00", "b\\0000339.rxo"},  // daily
        {0, 7, "0000", "o", "05.12.2011", "10:20:00", "b\\0000339k."},     // no slots: no code, no extension
        {0, -4, "0000", "o", "05.12.2011", "10:20:00", "b\\0000339k."},
        {1, 60, "abcd", "o", "05.01.2025", "00:30:00", "b\\2025\\01\\005\\abcd005a.ro"},
        {1, 60, "abcd", "o", "31.12.2024", "23:00:00", "b\\2024\\12\\366\\abcd366x.ro"},
        {2, 5, "0000", "o", "25.12.2011", "10:20:00", "b\\2011\\359\\0000359k.c4o"},
        {3, 15, "0000", "o", "25.12.2011", "10:20:00", "b\\12\\359\\0000359k.41o"},
        {4, 15, "0000", "o", "25.12.2011", "10:20:00", "b\\1668\\359\\0000359k.41o"},  // GPS week
        {5, 15, "0000", "o", "25.12.2011", "10:20:00", "b\\359\\0000359k.41o"},
        {6, 15, "0000", "o", "25.12.2011", "10:20:00", "b\\0000359k.41o"},
        {-1, 15, "0000", "o", "25.12.2011", "10:20:00", "b\\0000359k.41o"},
    };
    RotationNamer n;
    for (const Case& c : cases)
        EXPECT_EQ(n.NameForTime(c.layout, c.period, c.prefix, c.ext, "b", At(c.date, c.time)), c.name) << c.name;

    // Slot codes at both edges of the hour, and a new slot exactly at its boundary.
    const std::tuple<int, const char*, const char*> slots[] = {{4, "f0", "fe"},  {5, "c0", "cb"},  {6, "a0", "a9"},
                                                              {10, "60", "65"}, {12, "50", "54"}, {15, "40", "43"},
                                                              {20, "30", "32"}, {30, "20", "21"}};
    for (const auto& [period, first, last] : slots) {
        n.NameForTime(0, period, "p", "", "b", At("05.12.2011", "10:00:00"));
        EXPECT_EQ(n.slot_code(), first) << period;
        n.NameForTime(0, period, "p", "", "b", At("05.12.2011", "10:59:59"));
        EXPECT_EQ(n.slot_code(), last) << period;
    }
    n.NameForTime(0, 15, "p", "", "b", At("05.12.2011", "10:14:59"));
    EXPECT_EQ(n.slot_code(), "40");
    n.NameForTime(0, 15, "p", "", "b", At("05.12.2011", "10:15:00"));
    EXPECT_EQ(n.slot_code(), "41");
}

TEST(RotationNamerTest, DirectoriesAreMadeLevelByLevelAndFailuresIgnored) {
    testing::TempDir dir;
    RotationNamer n;
    const int32_t t = At("05.12.2011", "10:20:00");
    for (int again = 0; again < 2; ++again) n.CreateDirectories(1, ".\\out", t);  // existing ones are no fault
    EXPECT_TRUE(std::filesystem::is_directory("out/2011/12/339"));
    n.CreateDirectories(3, "out\xBB" "m", t);
    EXPECT_TRUE(std::filesystem::is_directory("out/m/12/339"));
    n.CreateDirectories(4, "out", t);
    EXPECT_TRUE(std::filesystem::is_directory("out/1665/339"));
    // A file where a directory should be: nothing made, nothing thrown.
    testing::WriteFile("blocker", "");
    n.CreateDirectories(5, "blocker", t);
    EXPECT_FALSE(std::filesystem::is_directory("blocker"));
    EXPECT_FALSE(std::filesystem::exists("blocker/339"));
}

}  // namespace
}  // namespace zerlan
