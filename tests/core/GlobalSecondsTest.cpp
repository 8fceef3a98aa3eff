#include "core/GlobalSeconds.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Console.h"

namespace zerlan {
namespace {

class GlobalSecondsTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::Install(&clock_); }
    void TearDown() override {
        Clock::Install(nullptr);
        SetMessageBoxSink(nullptr);
    }
    void SetNow(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
        clock_.Set(LocalTime{year, month, day, hour, minute, second, ms, 0});
    }
    int32_t At(const std::string& date, const std::string& time) { return gs_.SecondsOf(date, time); }

    FakeClock clock_;
    GlobalSeconds gs_;
};

TEST_F(GlobalSecondsTest, EpochIsWednesdayOfWeek1199) {
    EXPECT_EQ(At("01.01.2003", "00:00:00"), 0);
    ASSERT_EQ(gs_.FromSeconds(0), 0);
    EXPECT_EQ(gs_.gps_week, 1199);
    EXPECT_EQ(gs_.day_of_week, 3);
    EXPECT_EQ(gs_.day_of_year, 1);
    EXPECT_EQ(gs_.hour_of_week, 72);
    EXPECT_EQ(gs_.seconds_of_week, 259200.0);
    EXPECT_EQ(gs_.month, 0);
    EXPECT_EQ(gs_.date_text, "01.01.2003");
    EXPECT_EQ(gs_.time_text, "00:00:00");
}

TEST_F(GlobalSecondsTest, LeapYearsHaveNoCenturyRule) {
    EXPECT_EQ(At("01.03.2004", "00:00:00") - At("29.02.2004", "00:00:00"), 86400);
    EXPECT_EQ(At("01.03.2003", "00:00:00") - At("28.02.2003", "00:00:00"), 86400);
    EXPECT_EQ(At("29.02.2004", "00:00:00"), (365 + 31 + 28) * 86400);
    EXPECT_EQ(GlobalSeconds::DaysInMonth(2100, 2), 29);
    EXPECT_EQ(GlobalSeconds::DaysInMonth(2003, 2), 28);
    // The last leap day that fits the 32-bit count.
    const int32_t s = At("29.02.2068", "12:00:00");
    ASSERT_GT(s, 0);
    gs_.FromSeconds(s);
    EXPECT_EQ(gs_.date_text, "29.02.2068");
    EXPECT_EQ(gs_.day_of_year, 60);
    gs_.FromSeconds(At("31.12.2004", "23:59:59"));
    EXPECT_EQ(gs_.day_of_year, 366);
}

TEST_F(GlobalSecondsTest, InvalidDatesAndRangeGiveMinusOne) {
    EXPECT_EQ(At("01.00.2010", "00:00:00"), -1);
    EXPECT_EQ(At("01.13.2010", "00:00:00"), -1);
    EXPECT_EQ(At("00.05.2010", "00:00:00"), -1);
    EXPECT_EQ(At("32.05.2010", "00:00:00"), -1);
    EXPECT_EQ(At("", ""), -1);
    EXPECT_EQ(At("01.01.2100", "00:00:00"), -1);  // beyond the 32-bit count
    EXPECT_EQ(At("01.01.99999999999999", "00:00:00"), -1);
    // Before 2003 only the day within its year and the time count.
    EXPECT_EQ(At("02.01.1999", "01:00:00"), 86400 + 3600);
    // Missing time parts read as zero.
    EXPECT_EQ(At("01.01.2003", "10"), 36000);
}

TEST_F(GlobalSecondsTest, NegativeSecondsClearTheResult) {
    gs_.FromSeconds(1000000);
    EXPECT_EQ(gs_.FromSeconds(-5), -1);
    EXPECT_EQ(gs_.gps_week, -1);
    EXPECT_EQ(gs_.year, 0);
    EXPECT_EQ(gs_.day, 0);
    EXPECT_TRUE(gs_.date_text.empty());
    EXPECT_TRUE(gs_.time_text.empty());
}

TEST_F(GlobalSecondsTest, WeekBoundaryAtSundayMidnight) {
    const int32_t sunday = At("05.01.2003", "00:00:00");
    gs_.FromSeconds(sunday - 1);
    EXPECT_EQ(gs_.gps_week, 1199);
    EXPECT_EQ(gs_.day_of_week, 6);
    EXPECT_EQ(gs_.seconds_of_week, 604799.0);
    gs_.FromSeconds(sunday);
    EXPECT_EQ(gs_.gps_week, 1200);
    EXPECT_EQ(gs_.day_of_week, 0);
    EXPECT_EQ(gs_.hour_of_week, 0);
    EXPECT_EQ(gs_.seconds_of_week, 0.0);
    gs_.FromSeconds(sunday + 3661);
    EXPECT_EQ(gs_.seconds_of_week, 3661.0);
    EXPECT_EQ(gs_.hour_of_week, 1);
}

TEST_F(GlobalSecondsTest, ConversionRoundTripsAndKnownWeeks) {
    // GPS week 1665 began on Sunday 4 December 2011 (day 338).
    gs_.FromSeconds(At("05.12.2011", "10:20:30"));
    EXPECT_EQ(gs_.gps_week, 1665);
    EXPECT_EQ(gs_.day_of_week, 1);
    EXPECT_EQ(gs_.day_of_year, 339);
    EXPECT_EQ(gs_.month, 11);
    EXPECT_EQ(gs_.hour, 10);
    EXPECT_EQ(gs_.minute, 20);
    EXPECT_EQ(gs_.second, 30);

    std::vector<int32_t> samples = {1, 59, 86399, 31535999, 31536000, 1234567890, INT32_MAX};
    for (int32_t s = 0; s < INT32_MAX - 9876543; s += 9876543) samples.push_back(s);
    for (int32_t s : samples) {
        ASSERT_EQ(gs_.FromSeconds(s), 0) << s;
        EXPECT_EQ(At(gs_.date_text, gs_.time_text), s) << gs_.date_text << " " << gs_.time_text;
        EXPECT_EQ(gs_.day_of_week, (s / 86400 + 3) % 7) << s;
    }
    gs_.FromSeconds(INT32_MAX);
    EXPECT_EQ(gs_.year, 2071);
}

TEST_F(GlobalSecondsTest, NowReadsTheClock) {
    SetNow(2025, 3, 7, 9, 5, 4);
    EXPECT_EQ(gs_.NowSeconds(), At("07.03.2025", "09:05:04"));
    EXPECT_EQ(gs_.now_date_text, "07.03.2025");
    EXPECT_EQ(gs_.now_time_text, "09:05:04");
    EXPECT_EQ(gs_.now_month, 3);
}

TEST_F(GlobalSecondsTest, SpecKindMatchesContainedKeywords) {
    EXPECT_EQ(GlobalSeconds::SpecKind("heute"), 1);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvWo"), 2);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvwo+10"), 2);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvTag"), 3);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvtag"), 3);
    EXPECT_EQ(GlobalSeconds::SpecKind("sofort+30"), 4);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvStd"), 5);
    EXPECT_EQ(GlobalSeconds::SpecKind("xnvstdx"), 5);
    EXPECT_EQ(GlobalSeconds::SpecKind("nv4Min-3"), 6);
    EXPECT_EQ(GlobalSeconds::SpecKind("nv4min"), 6);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvMin"), 7);
    EXPECT_EQ(GlobalSeconds::SpecKind("nvmin"), 7);
    EXPECT_EQ(GlobalSeconds::SpecKind(""), 0);
    EXPECT_EQ(GlobalSeconds::SpecKind("12:00:00"), 0);
    EXPECT_EQ(GlobalSeconds::SpecKind("NVSTD"), 0);
}

TEST_F(GlobalSecondsTest, HaltNeverComes) {
    EXPECT_EQ(gs_.NextMoment("heute", "halt", 0, 0), GlobalSeconds::kNever);
    EXPECT_EQ(gs_.NextMoment("24.12.2025", "halt", 1, 1), GlobalSeconds::kNever);
    EXPECT_EQ(gs_.NextMoment("nvWo", "halt", 0, 0), 1410065407);
}

TEST_F(GlobalSecondsTest, MinuteHourAndFourMinutePeriods) {
    SetNow(2025, 1, 1, 10, 7, 30);
    EXPECT_EQ(gs_.NextMoment("heute", "nv4Min", 0, 0), At("01.01.2025", "10:08:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nvMin", 0, 0), At("01.01.2025", "10:08:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd", 0, 0), At("01.01.2025", "11:00:00"));
    EXPECT_EQ(gs_.NextMoment("", "nvStd+120", 0, 0), At("01.01.2025", "11:02:00"));
    EXPECT_EQ(gs_.offset, 3720);
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd-600", 0, 0), At("01.01.2025", "10:50:00"));
    // Offsets are cut to the period.
    EXPECT_EQ(gs_.NextMoment("heute", "nvMin+500", 0, 0), At("01.01.2025", "10:09:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nvMin-500", 0, 0), At("01.01.2025", "10:07:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd+99999999999", 0, 0), At("01.01.2025", "12:00:00"));
    // More than one sign: no offset, only the period.
    EXPECT_EQ(gs_.NextMoment("heute", "nvMin+5+5", 0, 0), At("01.01.2025", "10:08:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nvMin+5-5", 0, 0), At("01.01.2025", "10:08:00"));

    SetNow(2025, 1, 1, 10, 8, 0);
    EXPECT_EQ(gs_.NextMoment("heute", "nv4Min", 0, 0), At("01.01.2025", "10:12:00"));
    // Across midnight.
    SetNow(2025, 1, 1, 23, 59, 10);
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd", 0, 0), At("02.01.2025", "00:00:00"));
}

TEST_F(GlobalSecondsTest, ImmediateStartHasNoPeriod) {
    SetNow(2025, 1, 1, 10, 7, 30);
    EXPECT_EQ(gs_.NextMoment("heute", "sofort+30", 0, 0), At("01.01.2025", "10:08:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "sofort", 0, 0), At("01.01.2025", "10:07:30"));
    EXPECT_EQ(gs_.NextMoment("", "", 0, 0), At("01.01.2025", "10:07:30"));
    EXPECT_EQ(gs_.NextMoment("heute", "sofort-5000", 0, 0), At("01.01.2025", "09:07:30"));
}

TEST_F(GlobalSecondsTest, DayAndWeekStarts) {
    SetNow(2025, 1, 1, 10, 7, 30);  // a Wednesday
    EXPECT_EQ(gs_.NextMoment("nvTag", "", 0, 0), At("02.01.2025", "00:00:00"));
    EXPECT_EQ(gs_.NextMoment("nvTag+3600", "", 0, 0), At("02.01.2025", "01:00:00"));
    const int32_t week = gs_.NextMoment("nvWo", "", 0, 0);
    EXPECT_EQ(week, At("05.01.2025", "00:00:00"));
    gs_.FromSeconds(week);
    EXPECT_EQ(gs_.day_of_week, 0);
    EXPECT_EQ(gs_.seconds_of_week, 0.0);
    EXPECT_EQ(gs_.NextMoment("nvWo-86400", "", 0, 0), At("04.01.2025", "00:00:00"));

    // On Sunday midnight itself the next week is a full week away.
    SetNow(2025, 1, 5, 0, 0, 0);
    EXPECT_EQ(gs_.NextMoment("nvWo", "", 0, 0), At("12.01.2025", "00:00:00"));
}

TEST_F(GlobalSecondsTest, LowerCaseKeywordsWork) {
    SetNow(2025, 1, 1, 10, 7, 30);
    EXPECT_EQ(gs_.NextMoment("nvwo", "", 0, 0), gs_.NextMoment("nvWo", "", 0, 0));
    EXPECT_EQ(gs_.NextMoment("nvtag", "", 0, 0), gs_.NextMoment("nvTag", "", 0, 0));
    EXPECT_EQ(gs_.NextMoment("heute", "nvstd+120", 0, 0), At("01.01.2025", "11:02:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nv4min", 0, 0), At("01.01.2025", "10:08:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "nvmin", 0, 0), At("01.01.2025", "10:08:00"));
}

TEST_F(GlobalSecondsTest, ShiftMovesNowAndExplicitMoments) {
    SetNow(2025, 1, 1, 10, 7, 30);
    gs_.SetShift(3600);
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd", 0, 0), At("01.01.2025", "12:00:00"));
    EXPECT_EQ(gs_.NextMoment("24.12.2025", "18:00:00", 1, 0), At("24.12.2025", "18:00:00") + 3600);
    // Without the explicit flag a written time stands as it is.
    EXPECT_EQ(gs_.NextMoment("24.12.2025", "18:00:00", 0, 0), At("24.12.2025", "18:00:00"));
    gs_.SetShift(-86400);
    EXPECT_EQ(gs_.NextMoment("nvTag", "", 0, 0), At("01.01.2025", "00:00:00"));
}

TEST_F(GlobalSecondsTest, WrittenDateWithSymbolicTime) {
    SetNow(2025, 1, 1, 10, 7, 30);
    EXPECT_EQ(gs_.NextMoment("24.12.2025", "nvStd", 0, 0), At("24.12.2025", "11:00:00"));
    EXPECT_EQ(gs_.NextMoment("heute", "14:30:00", 0, 0), At("01.01.2025", "14:30:00"));
    // An impossible written date is refused, not read past the month table.
    EXPECT_EQ(gs_.NextMoment("01.14.2025", "nvStd", 0, 0), -1);
    EXPECT_EQ(gs_.NextMoment("01.14.2025", "10:00:00", 1, 0), -1);
    // A shifted "now" before 2003 cannot be converted.
    SetNow(2003, 1, 2, 0, 0, 0);
    gs_.SetShift(-2 * 86400);
    EXPECT_EQ(gs_.NextMoment("nvWo", "", 0, 0), -1);
    EXPECT_EQ(gs_.NextMoment("heute", "nvStd", 0, 0), -1);
}

TEST_F(GlobalSecondsTest, DebugBoxOnlyForExplicitMoments) {
    std::vector<std::string> titles;
    std::string text;
    SetMessageBoxSink([&](const std::string& t, const std::string& title) {
        titles.push_back(title);
        text = t;
    });
    const int32_t s = gs_.NextMoment("05.01.2003", "00:00:10", 1, 1);
    EXPECT_EQ(s, 345610);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0], "Test");
    EXPECT_EQ(text.rfind("glS 345610\nD 05.01.2003\nT 00:00:10\nW 0\nDiv 1.", 0), 0u) << text;
    EXPECT_NE(text.find(" GPS-W 1200"), std::string::npos) << text;
    gs_.NextMoment("05.01.2003", "00:00:10", 1, 0);
    gs_.NextMoment("heute", "nvStd", 1, 1);
    EXPECT_EQ(titles.size(), 1u);
}

TEST_F(GlobalSecondsTest, TimeStampUsesTheClockWithMilliseconds) {
    SetNow(2025, 1, 1, 10, 7, 5, 42);
    EXPECT_EQ(GlobalSeconds::TimeStamp(), "Wed Jan  1 10:07:05.042 2025\r\n");
    SetNow(2024, 12, 22, 23, 59, 59, 999);
    EXPECT_EQ(GlobalSeconds::TimeStamp(), "Sun Dec 22 23:59:59.999 2024\r\n");
}

}  // namespace
}  // namespace zerlan
