// The program's own calendar: local dates and times as seconds since
// 1 January 2003 00:00:00 ("global seconds"), GPS week, day of week, day of
// year, and the start moments of timed actions from symbolic specifications
// ("nvStd+120", "nvWo", "sofort+30", "halt", ...). No time zone and no leap
// seconds are applied; every year divisible by 4 is a leap year.
//
// Thread-safety: an instance is used by one thread at a time; each user owns
// its own instance. "Now" is read through the clock seam.
#pragma once

#include <cstdint>
#include <string>

namespace zerlan {

class GlobalSeconds {
public:
    static constexpr int32_t kNever = 1410065407;  // "halt": the moment that never comes

    // date "dd.mm.yyyy", time "hh:mm:ss"; each part read with atoi.
    int32_t SecondsOf(const std::string& date, const std::string& time);
    // Fills the result fields; -1 for a negative argument.
    int FromSeconds(int32_t seconds);
    void Now();
    int32_t NowSeconds();
    void SetShift(int32_t seconds) { shift_ = seconds; }
    int32_t NextMoment(const std::string& date_spec, const std::string& time_spec, int explicit_flag,
                       int debug_flag);
    static int SpecKind(const std::string& text);
    // "Wed Jan 01 10:00:00.123 2025\r\n"-style stamp of the current time.
    static std::string TimeStamp();

    // Results of the last FromSeconds.
    int year = 0;
    int month = 0;  // 0-based
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int gps_week = -1;
    int day_of_week = 0;  // 0 = Sunday
    int day_of_year = 0;  // 1-based
    int hour_of_week = 0;
    double seconds_of_week = 0.0;
    std::string date_text;  // "dd.mm.yyyy"
    std::string time_text;  // "hh:mm:ss"
    // The last Now().
    std::string now_date_text;
    std::string now_time_text;
    int32_t offset = 0;

private:
    int32_t shift_ = 0;
};

}  // namespace zerlan
