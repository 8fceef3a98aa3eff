// The satellite and FKP availability watch: every few seconds it asks the
// SatFkpStore whether the decoded stream still carries GPS and GLONASS
// satellites and FKP (area correction parameters), and enough of them.
//
// - No data ("no Gps-FKP", "no Glonass-FKP", "no Gps-Satellites", "no
//   Glonass-Satellites", settings kfkp/ksat): reported T, 2T, 3T, ... seconds
//   after the kind was last seen.
// - Too few (settings wfkp/wsat, with a minimum count): reported once the
//   shortage has lasted its interval without a break, then at most once per
//   interval while it lasts; a count of 0 is left to the no-data events. A
//   shortage found at the first check counts from the start of the watch.
// Each report is an "SW" protocol record, a marker file named after the
// event's title and a display line. Lists not seen for 15 s (satellites) or
// 45 s (FKP) are cleared so that the view shows no old values. The FKP log
// (setting ai) appends two lines per interval; an interval of 0 or less
// switches it off.
//
// Thread-safety: a watch belongs to one thread (the FKP watch thread); the
// store and the SharedState guard themselves.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/SharedState.h"

namespace zerlan {

class AvailabilityWatch {
public:
    static constexpr int kCheckPeriodMs = 3000;
    static constexpr int64_t kSatelliteStaleSeconds = 15;
    static constexpr int64_t kFkpStaleSeconds = 45;

    // Order of the kinds in counts and settings: GPS FKP, GLONASS FKP, GPS
    // satellites, GLONASS satellites.
    enum Kind { kGpsFkp = 0, kGloFkp, kGpsSat, kGloSat, kKinds };

    // Reads kfkp, ksat, wfkp, wsat and ai from the shared settings; every
    // interval counts from now.
    explicit AvailabilityWatch(SharedState& shared);
    AvailabilityWatch(const AvailabilityWatch&) = delete;
    AvailabilityWatch& operator=(const AvailabilityWatch&) = delete;

    // One pass of the watch thread: the check when 3 s have passed since the
    // last, the FKP log when its interval has passed.
    void Pass();
    void CheckAvailability();
    // 0 written, 1 the file could not be opened (shown in the view), 2 off.
    int WriteFkpLog();
    // Posts the four satellite-state messages (WM_USER+141..+144).
    void ShowStates();

    int32_t count(Kind kind) const { return counts_[kind]; }

private:
    struct Event {
        int32_t time = 0;  // no-data time or shortage interval, seconds; 0 = off
        std::string title;
        int32_t minimum = 0;  // shortage events only
        bool started = false;
        int32_t repeat = 1;
        std::string text;
        int64_t since = 0;        // shortage: start of the running shortage
        int64_t last_report = 0;  // shortage: 0 before the first report of a run
    };
    struct Clearing {
        bool cleared = false;
        int64_t time = 0;
    };

    void CheckNoData(Event& event, int64_t last_seen, int64_t now, const char* format);
    void CheckShortage(Event& event, int32_t count, int64_t now, const char* format);
    void Report(const Event& event);
    void ClearStale(Kind kind, int64_t now);
    std::string FkpLogList(const char* label, const std::vector<int32_t>& fkp, const std::vector<int32_t>& sats);

    SharedState& shared_;
    std::string protocol_file_;
    std::array<Event, kKinds> no_data_;
    std::array<Event, kKinds> shortage_;
    std::array<int32_t, kKinds> counts_{};
    std::array<int64_t, kKinds> last_seen_{};
    std::array<Clearing, kKinds> clearings_{};
    int64_t start_ = 0;
    NowStrings start_moment_;
    bool first_check_ = true;
    int32_t log_interval_ = 0;
    std::string log_file_;
    int64_t last_check_ms_ = 0;
    int64_t last_log_ms_ = 0;
};

}  // namespace zerlan
