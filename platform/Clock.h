// The one way the program reads time. Production code asks `Clock::Get()`;
// tests install a `FakeClock` with `Clock::Install` to drive dates, hours and
// millisecond stamps without waiting for the wall clock.
//
// Thread-safety: `Get()` may be called from any thread. `Install` is meant for
// test set-up, before threads that read the clock start.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zerlan {

// Broken-down local time. Months and days are 1-based, as people write them.
struct LocalTime {
    int year = 1970;
    int month = 1;        // 1..12
    int day = 1;          // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekday = 4;      // 0 = Sunday
};

class Clock {
public:
    virtual ~Clock() = default;
    // Local calendar time (localtime_r underneath).
    virtual LocalTime Now() = 0;
    // Seconds since the epoch of the calendar time above (time_t semantics).
    virtual int64_t EpochSeconds() = 0;
    // Monotonic milliseconds, for measuring intervals only.
    virtual int64_t MonotonicMs() = 0;

    static Clock& Get();
    // Installs `clock` as the process clock; nullptr restores the system clock.
    static void Install(Clock* clock);
};

// Wall clock of the machine.
class SystemClock : public Clock {
public:
    LocalTime Now() override;
    int64_t EpochSeconds() override;
    int64_t MonotonicMs() override;
};

// A settable clock for tests. Every field is protected by a mutex so that
// threads under test may read it while the test moves it on.
class FakeClock : public Clock {
public:
    LocalTime Now() override;
    int64_t EpochSeconds() override;
    int64_t MonotonicMs() override;

    void Set(const LocalTime& t);
    void SetMonotonic(int64_t ms);
    // Moves calendar time and the monotonic clock on by `ms` milliseconds.
    void Advance(int64_t ms);

private:
    std::mutex mutex_;
    LocalTime now_{2025, 1, 1, 0, 0, 0, 0, 3};
    int64_t monotonic_ = 0;
};

}  // namespace zerlan
