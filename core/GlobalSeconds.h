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

    // Kinds of symbolic specification returned by SpecKind.
    enum Kind {
        kPlain = 0,
        kToday = 1,       // "heute"
        kNextWeek = 2,    // "nvWo"
        kNextDay = 3,     // "nvTag"
        kImmediate = 4,   // "sofort"
        kNextHour = 5,    // "nvStd"
        kNext4Min = 6,    // "nv4Min"
        kNextMinute = 7,  // "nvMin"
    };

    // date "dd.mm.yyyy", time "hh:mm:ss"; each part read as a decimal number.
    // Years before 2003 count only their own days. Returns -1 for a month
    // outside 1..12, a day outside 1..31, or a moment beyond the 32-bit range.
    int32_t SecondsOf(const std::string& date, const std::string& time);
    // Fills the result fields and texts; 0 on success, -1 (fields cleared,
    // week -1) for a negative argument.
    int FromSeconds(int32_t seconds);
    // Captures the local date and time from the clock into the now_* fields.
    void Now();
    // SecondsOf(Now()); the shift is not applied.
    int32_t NowSeconds();
    // Added to "now" by NextMoment (and to explicit moments) before conversion.
    void SetShift(int32_t seconds) { shift_ = seconds; }
    int32_t shift() const { return shift_; }
    // Global seconds of the moment that the date and time specifications
    // describe. With explicit_flag > 0 and two plain texts the moment is taken
    // as written (plus the shift); debug_flag 1 then shows a "Test" box.
    int32_t NextMoment(const std::string& date_spec, const std::string& time_spec, int explicit_flag,
                       int debug_flag);
    // One of Kind; a text matches when it contains the keyword.
    static int SpecKind(const std::string& text);
    // "Wed Jan  1 10:00:00.123 2025\r\n": ctime-like text of the clock's
    // current time with milliseconds.
    static std::string TimeStamp();

    static bool IsLeapYear(int year) { return year % 4 == 0; }
    // month 1..12; 0 for a month outside that range.
    static int DaysInMonth(int year, int month);

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
    std::string date_text;  // "dd.mm.yyyy", month 1-based
    std::string time_text;  // "hh:mm:ss"
    // The last Now(); month 1-based as written.
    std::string now_date_text;
    std::string now_time_text;
    int now_year = 0;
    int now_month = 0;
    int now_day = 0;
    int now_hour = 0;
    int now_minute = 0;
    int now_second = 0;
    // Offset of the last symbolic specification (seconds).
    int32_t offset = 0;

private:
    // Reads "+n" / "-n" of `text`, cut to the period, and adds the period
    // unless the text asks for an immediate start.
    void ParseOffset(const std::string& text, int32_t period);
    // Now plus shift, converted; -1 when that moment cannot be converted.
    int64_t ConvertNow();

    int32_t shift_ = 0;
};

}  // namespace zerlan
