#include "core/GlobalSeconds.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/Clock.h"
#include "platform/Console.h"

namespace zerlan {

namespace {

constexpr int kFirstYear = 2003;
constexpr int kLastYear = 2199;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kSecondsPerWeek = 604800;
// 1 January 2003 is the fourth day (Wednesday) of GPS week 1199.
constexpr int64_t kWeekStartShift = 259200;
constexpr int kFirstWeek = 1199;

// atoi without its undefined overflow: values beyond int are clamped.
int ReadInt(const char* text) {
    long long v = std::strtoll(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// The three numbers of "a<sep>b<sep>c"; missing parts read as 0.
void SplitThree(const std::string& text, char sep, int out[3]) {
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (pos == std::string::npos || pos > text.size()) {
            out[i] = 0;
            continue;
        }
        out[i] = ReadInt(text.c_str() + pos);
        size_t next = text.find(sep, pos);
        pos = next == std::string::npos ? next : next + 1;
    }
}

// Days from 1 January 2003 to 1 January of `year`; 0 before 2003.
int64_t DaysBeforeYear(int64_t year) {
    if (year <= kFirstYear) return 0;
    const int64_t years = year - kFirstYear;
    // Multiples of 4 in [2003, year-1].
    const int64_t leaps = (year - 1) / 4 - (kFirstYear - 1) / 4;
    return years * 365 + leaps;
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02i", v);
    return buf;
}

std::string DateText(int day, int month, int year) {
    return TwoDigits(day) + "." + TwoDigits(month) + "." + std::to_string(year);
}

std::string TimeText(int hour, int minute, int second) {
    return TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

int GlobalSeconds::DaysInMonth(int year, int month) {
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return kLengths[month - 1];
}

int32_t GlobalSeconds::SecondsOf(const std::string& date, const std::string& time) {
    int d[3];
    int t[3];
    SplitThree(date, '.', d);
    SplitThree(time, ':', t);
    const int day_of_month = d[0];
    const int month_number = d[1];
    const int year_number = d[2];
    if (month_number < 1 || month_number > 12 || day_of_month < 1 || day_of_month > 31) return -1;

    int64_t days = DaysBeforeYear(year_number);
    for (int m = 1; m < month_number; ++m) days += DaysInMonth(year_number, m);
    days += day_of_month - 1;
    const int64_t total = days * kSecondsPerDay + static_cast<int64_t>(t[0]) * 3600 +
                          static_cast<int64_t>(t[1]) * 60 + t[2];
    if (total > INT32_MAX || total < INT32_MIN) return -1;
    return static_cast<int32_t>(total);
}

int GlobalSeconds::FromSeconds(int32_t seconds) {
    if (seconds < 0) {
        year = month = day = hour = minute = second = 0;
        gps_week = -1;
        day_of_week = day_of_year = hour_of_week = 0;
        seconds_of_week = 0.0;
        date_text.clear();
        time_text.clear();
        return -1;
    }
    const int64_t s = seconds;
    const int64_t days = s / kSecondsPerDay;
    const int64_t rest = s % kSecondsPerDay;

    int y = kFirstYear;
    while (y < kLastYear && DaysBeforeYear(y + 1) <= days) ++y;
    int64_t in_year = days - DaysBeforeYear(y);
    int m = 1;
    while (m < 12 && in_year >= DaysInMonth(y, m)) {
        in_year -= DaysInMonth(y, m);
        ++m;
    }
    year = y;
    month = m - 1;
    day = static_cast<int>(in_year) + 1;
    hour = static_cast<int>(rest / 3600);
    minute = static_cast<int>(rest % 3600 / 60);
    second = static_cast<int>(rest % 60);

    // Integer week arithmetic: the quotient in floating point loses the day
    // of week near the end of the 32-bit range.
    const int64_t since_week_start = s + kWeekStartShift;
    gps_week = static_cast<int>(since_week_start / kSecondsPerWeek) + kFirstWeek;
    const int64_t in_week = since_week_start % kSecondsPerWeek;
    day_of_week = static_cast<int>(in_week / kSecondsPerDay);
    hour_of_week = day_of_week * 24 + hour;
    seconds_of_week = static_cast<double>(hour_of_week * 3600 + minute * 60 + second);
    day_of_year = static_cast<int>(days - DaysBeforeYear(y)) + 1;

    date_text = DateText(day, m, year);
    time_text = TimeText(hour, minute, second);
    return 0;
}

void GlobalSeconds::Now() {
    const LocalTime t = Clock::Get().Now();
    now_year = t.year;
    now_month = t.month;
    now_day = t.day;
    now_hour = t.hour;
    now_minute = t.minute;
    now_second = t.second;
    now_date_text = DateText(t.day, t.month, t.year);
    now_time_text = TimeText(t.hour, t.minute, t.second);
}

int32_t GlobalSeconds::NowSeconds() {
    Now();
    return SecondsOf(now_date_text, now_time_text);
}

int GlobalSeconds::SpecKind(const std::string& text) {
    if (Contains(text, "heute")) return kToday;
    if (Contains(text, "nvWo") || Contains(text, "nvwo")) return kNextWeek;
    if (Contains(text, "nvTag") || Contains(text, "nvtag")) return kNextDay;
    if (Contains(text, "sofort")) return kImmediate;
    if (Contains(text, "nvStd") || Contains(text, "nvstd")) return kNextHour;
    if (Contains(text, "nv4Min") || Contains(text, "nv4min")) return kNext4Min;
    if (Contains(text, "nvMin") || Contains(text, "nvmin")) return kNextMinute;
    return kPlain;
}

void GlobalSeconds::ParseOffset(const std::string& text, int32_t period) {
    offset = 0;
    size_t plus = 0;
    size_t minus = 0;
    for (char c : text) {
        if (c == '+') ++plus;
        if (c == '-') ++minus;
    }
    if (plus + minus == 1) {
        const size_t at = text.find(plus ? '+' : '-');
        int n = ReadInt(text.c_str() + at + 1);
        if (n < 0) n = 0;
        if (n > period) n = period;
        offset = plus ? n : -n;
    }
    if (SpecKind(text) != kImmediate) offset += period;
}

int64_t GlobalSeconds::ConvertNow() {
    const int32_t now = NowSeconds();
    const int64_t shifted = static_cast<int64_t>(now) + shift_;
    if (now < 0 || shifted < 0 || shifted > INT32_MAX) {
        FromSeconds(-1);
        return -1;
    }
    FromSeconds(static_cast<int32_t>(shifted));
    return shifted;
}

int32_t GlobalSeconds::NextMoment(const std::string& date_spec, const std::string& time_spec, int explicit_flag,
                                  int debug_flag) {
    offset = 0;
    if (Contains(time_spec, "halt")) return kNever;
    const int date_kind = SpecKind(date_spec);
    const int time_kind = SpecKind(time_spec);

    // An empty text means "today" / "now", never a written date or time.
    if (explicit_flag > 0 && date_kind == kPlain && time_kind == kPlain && !date_spec.empty() &&
        !time_spec.empty()) {
        const int32_t written = SecondsOf(date_spec, time_spec);
        if (written == -1) return -1;
        const int64_t s = static_cast<int64_t>(written) + shift_;
        if (s > INT32_MAX || s < INT32_MIN) return -1;
        FromSeconds(static_cast<int32_t>(s));
        if (debug_flag == 1) {
            char text[400];
            const double quotient = static_cast<double>(s + kWeekStartShift) / kSecondsPerWeek;
            std::snprintf(text, sizeof text, "glS %ld\nD %s\nT %s\nW %i\nDiv %.16lf GPS-W %i", static_cast<long>(s),
                          date_text.c_str(), time_text.c_str(), day_of_week, quotient, gps_week);
            MessageBox(text, "Test");
        }
        return static_cast<int32_t>(s);
    }

    int64_t moment = 0;
    if (date_kind == kNextWeek || date_kind == kNextDay) {
        ParseOffset(date_spec, date_kind == kNextWeek ? 604800 : 86400);
        const int64_t now = ConvertNow();
        if (now < 0) return -1;
        moment = now - (hour * 3600 + minute * 60 + second);
        if (date_kind == kNextWeek) moment -= static_cast<int64_t>(day_of_week) * kSecondsPerDay;
    } else {
        const bool today = date_kind == kToday || date_spec.empty();
        if (time_kind == kImmediate || time_spec.empty()) {
            ParseOffset(time_spec, 3600);
            // The period never applies to an immediate start, not even for an empty text.
            if (time_kind != kImmediate) offset = 0;
        } else if (time_kind == kNextHour) {
            ParseOffset(time_spec, 3600);
        } else if (time_kind == kNext4Min) {
            ParseOffset(time_spec, 240);
        } else if (time_kind == kNextMinute) {
            ParseOffset(time_spec, 60);
        }
        if (ConvertNow() < 0) return -1;
        const std::string date = today ? date_text : date_spec;
        std::string time;
        if (time_kind == kImmediate || (time_spec.empty() && today)) {
            time = time_text;
        } else if (time_kind == kNextHour) {
            time = TimeText(hour, 0, 0);
        } else if (time_kind == kNext4Min) {
            time = TimeText(hour, minute / 4 * 4, 0);
        } else if (time_kind == kNextMinute) {
            time = TimeText(hour, minute, 0);
        } else {
            time = time_spec;
        }
        const int32_t base = SecondsOf(date, time);
        if (base == -1) return -1;
        moment = base;
    }
    moment += offset;
    if (moment > INT32_MAX || moment < INT32_MIN) return -1;
    return static_cast<int32_t>(moment);
}

std::string GlobalSeconds::TimeStamp() {
    static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const LocalTime t = Clock::Get().Now();
    const char* wday = t.weekday >= 0 && t.weekday < 7 ? kDays[t.weekday] : "???";
    const char* mon = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : "???";
    char buf[100];
    std::snprintf(buf, sizeof buf, "%.3s %.3s%3d %.2d:%.2d:%02i.%03i %d\r\n", wday, mon, t.day, t.hour, t.minute,
                  t.second, t.millisecond, t.year);
    return buf;
}

}  // namespace zerlan
