#include "platform/Clock.h"

#include <ctime>

namespace zerlan {

namespace {
// Never destroyed: threads may still ask the time while the process exits.
SystemClock* const g_system_clock = new SystemClock;
std::atomic<Clock*> g_clock{g_system_clock};

// Days since 1970-01-01 of a proleptic Gregorian date (civil calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

LocalTime FromEpoch(int64_t secs, int ms) {
    int64_t days = secs / 86400;
    int64_t rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    // civil_from_days
    int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    LocalTime t;
    t.year = static_cast<int>(y + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem % 3600 / 60);
    t.second = static_cast<int>(rem % 60);
    t.millisecond = ms;
    int64_t wd = (days + 4) % 7;  // 1970-01-01 was a Thursday
    t.weekday = static_cast<int>(wd < 0 ? wd + 7 : wd);
    return t;
}
}  // namespace

Clock& Clock::Get() { return *g_clock.load(std::memory_order_acquire); }

void Clock::Install(Clock* clock) {
    g_clock.store(clock ? clock : g_system_clock, std::memory_order_release);
}

LocalTime SystemClock::Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    time_t secs = ts.tv_sec;
    localtime_r(&secs, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    t.weekday = tm.tm_wday;
    return t;
}

int64_t SystemClock::EpochSeconds() { return static_cast<int64_t>(time(nullptr)); }

int64_t SystemClock::MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

LocalTime FakeClock::Now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

int64_t FakeClock::EpochSeconds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return DaysFromCivil(now_.year, static_cast<unsigned>(now_.month), static_cast<unsigned>(now_.day)) * 86400 +
           now_.hour * 3600 + now_.minute * 60 + now_.second;
}

int64_t FakeClock::MonotonicMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return monotonic_;
}

void FakeClock::Set(const LocalTime& t) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Normalise through the epoch so that the weekday is always consistent.
    int64_t secs = DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
                   t.hour * 3600 + t.minute * 60 + t.second;
    now_ = FromEpoch(secs, t.millisecond);
}

void FakeClock::SetMonotonic(int64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    monotonic_ = ms;
}

void FakeClock::Advance(int64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    monotonic_ += ms;
    int64_t secs = DaysFromCivil(now_.year, static_cast<unsigned>(now_.month), static_cast<unsigned>(now_.day)) * 86400 +
                   now_.hour * 3600 + now_.minute * 60 + now_.second;
    int64_t total_ms = secs * 1000 + now_.millisecond + ms;
    int64_t s = total_ms / 1000;
    int64_t rem = total_ms % 1000;
    if (rem < 0) {
        rem += 1000;
        --s;
    }
    now_ = FromEpoch(s, static_cast<int>(rem));
}

}  // namespace zerlan
