// Paths of output files that are cut into periods (one per day, per hour or
// per part of an hour): base directory, an optional tree of date directories,
// prefix, day of year, hour letter and slot code, e.g. ".\2011\359\0000359k.41o".
// Paths come out in the settings' form (backslashes); map them with MapPath
// before opening. CreateDirectories does that itself.
//
// Thread-safety: short-lived; one object per question and thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/GlobalSeconds.h"

namespace zerlan {

class RotationNamer {
public:
    // Period values (minutes per file) with a slot code; anything else has
    // none. 0 means one file per day.
    static constexpr int kDaily = 0;

    // Path for the current moment of the clock.
    std::string NameForNow(int layout, int period, const std::string& prefix, const std::string& extension,
                           const std::string& base);
    // Path for `seconds` global seconds (the RINEX epoch key).
    std::string NameForTime(int layout, int period, const std::string& prefix, const std::string& extension,
                            const std::string& base, int32_t seconds);
    // Makes the base directory and each date directory of the layout below it
    // for the moment, one level after the other; existing ones stay, failures
    // are ignored (the writer's open reports them).
    void CreateDirectories(int layout, const std::string& base, int32_t moment);

    // Parts of the last name, for writers and tests.
    const std::string& year_text() const { return year_; }
    const std::string& month_text() const { return month_; }
    const std::string& week_text() const { return week_; }
    const std::string& day_text() const { return day_; }
    char hour_letter() const { return hour_letter_; }
    const std::string& slot_code() const { return slot_code_; }
    const std::string& directory() const { return directory_; }
    const std::string& file_name() const { return file_name_; }
    const std::string& path() const { return path_; }
    // 1 when the last file name was the daily one, 0 otherwise.
    int daily() const { return daily_; }
    const GlobalSeconds& time() const { return time_; }
    // Global seconds of the last name's moment (for CreateDirectories).
    int32_t moment() const { return moment_; }

private:
    void SetMoment(int32_t seconds);
    void BuildDirectory(int layout);
    int BuildFileName(int period, const std::string& prefix, const std::string& extension);
    std::string BuildPath(int layout, int period, const std::string& prefix, const std::string& extension,
                          const std::string& base);

    GlobalSeconds time_;
    std::string year_;
    std::string month_;
    std::string week_;
    std::string day_;
    char hour_letter_ = 'a';
    std::string slot_code_;
    std::string directory_;
    std::string file_name_;
    std::string path_;
    int daily_ = 0;
    int32_t moment_ = 0;
};

}  // namespace zerlan
