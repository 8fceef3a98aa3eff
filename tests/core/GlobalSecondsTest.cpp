#include "core/GlobalSeconds.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "support/StateFixture.h"

namespace zerlan {
namespace {

class GlobalSecondsTest : public testing::StateFixture {
protected:
    int32_t At(const std::string& date, const std::string& time) { return gs_.SecondsOf(date, time); }

    GlobalSeconds gs_;
};

TEST_F(GlobalSecondsTest, WeeksDaysAndRoundTripsOverTheWholeRangeAndMinusOneOutsideIt) {
    ASSERT_EQ(gs_.FromSeconds(0), 0);  // Wednesday 1 January 2003, week 1199
    EXPECT_EQ(gs_.gps_week * 1000 + gs_.day_of_week * 100 + gs_.hour_of_week, 1199372);
    gs_.FromSeconds(At("05.01.2003", "01:01:01"));  // the week turns at Sunday midnight
    EXPECT_EQ(gs_.gps_week, 1200);
    EXPECT_EQ(gs_.seconds_of_week, 3661.0);
    // GPS week 1665 began on Sunday 4 December 2011; every fourth year leaps.
    gs_.FromSeconds(At("05.12.2011", "10:20:30"));
    EXPECT_EQ(gs_.gps_week, 1665);
    EXPECT_EQ(gs_.day_of_year, 339);
    EXPECT_EQ(At("01.03.2004", "00:00:00") - At("28.02.2004", "00:00:00"), 2 * 86400);

    std::vector<int32_t> samples = {1, 86399, 31536000, At("29.02.2068", "12:00:00"), INT32_MAX};
    for (int32_t s = 0; s < INT32_MAX - 9876543; s += 9876543) samples.push_back(s);
    for (int32_t s : samples) {
        ASSERT_EQ(gs_.FromSeconds(s), 0) << s;
        EXPECT_EQ(At(gs_.date_text, gs_.time_text), s) << gs_.date_text << " " << gs_.time_text;
        EXPECT_EQ(gs_.day_of_week, (s / 86400 + 3) % 7) << s;
        EXPECT_EQ(gs_.gps_week, 1199 + (s / 86400 + 3) / 7) << s;
    }
    gs_.FromSeconds(INT32_MAX);
    EXPECT_EQ(gs_.year, 2071);

    for (const char* date : {"01.00.2010", "01.13.2010", "00.05.2010", "32.05.2010", "", "01.01.2100",
                             "01.01.99999999999999"})
        EXPECT_EQ(At(date, "00:00:00"), -1) << date;
    EXPECT_EQ(At("02.01.1999", "01:00:00"), 86400 + 3600);  // before 2003 only day and time count
    EXPECT_EQ(At("01.01.2003", "10"), 36000);
    gs_.FromSeconds(1000000);
    EXPECT_EQ(gs_.FromSeconds(-5), -1);
    EXPECT_EQ(gs_.gps_week, -1);
    EXPECT_TRUE(gs_.date_text.empty());
}

TEST_F(GlobalSecondsTest, NextMoment) {
    struct Case {
        const char *name, *date, *time, *want_date, *want_time;  // want nullptr: -1
    };
    // Now is Wednesday 1 January 2025 10:07:30.
    const Case cases[] = {
        {"four minutes", "heute", "nv4min", "01.01.2025", "10:08:00"},
        {"next day", "nvtag+3600", "", "02.01.2025", "01:00:00"},
        {"hour plus offset", "", "nvstd+120", "01.01.2025", "11:02:00"},
        {"offset cut to the period", "heute", "nvMin-500", "01.01.2025", "10:07:00"},
        {"huge offset", "heute", "nvStd+99999999999", "01.01.2025", "12:00:00"},
        {"empty is now", "", "", "01.01.2025", "10:07:30"},
        {"at once, back", "heute", "sofort-5000", "01.01.2025", "09:07:30"},
        {"next week, back", "nvwo-86400", "", "04.01.2025", "00:00:00"},
        {"written date, symbolic time", "24.12.2025", "nvStd", "24.12.2025", "11:00:00"},
        {"impossible written date", "01.14.2025", "nvStd", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock_.Set(LocalTime{2025, 1, 1, 10, 7, 30, 0, 0});
        EXPECT_EQ(gs_.NextMoment(c.date, c.time, 0, 0), c.want_date ? At(c.want_date, c.want_time) : -1);
    }
    EXPECT_EQ(gs_.NextMoment("heute", "halt", 0, 0), GlobalSeconds::kNever);
    // On a period's start the next one is a full period away, also across midnight.
    clock_.Set(LocalTime{2025, 1, 5, 0, 0, 0, 0, 0});
    EXPECT_EQ(gs_.NextMoment("nvWo", "", 0, 0), At("12.01.2025", "00:00:00"));
    clock_.Set(LocalTime{2025, 1, 1, 23, 59, 10, 0, 0});
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd", 0, 0), At("02.01.2025", "00:00:00"));
}

TEST_F(GlobalSecondsTest, TimeStampUsesTheClockWithMilliseconds) {
    clock_.Set(LocalTime{2024, 12, 22, 23, 59, 59, 42, 0});
    EXPECT_EQ(GlobalSeconds::TimeStamp(), "Sun Dec 22 23:59:59.042 2024\r\n");
}

}  // namespace
}  // namespace zerlan
