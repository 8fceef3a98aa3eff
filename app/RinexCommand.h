// `zerlan --rinex FILE|-`: the RINEX observation files of an RTCM 2 recording,
// written at full speed into the current directory with the configured
// naming, by the same decoder and encoder as a job.
#pragma once

#include <cstdio>
#include <string>

#include "config/Settings.h"

namespace zerlan {

struct RinexCommand {
    std::string file;     // "-" = standard input
    std::string date;     // "YYYY-MM-DDTHH" the recording began; empty: the clock
    int version = -1;     // decoder version (-1 automatic)
    bool quiet = false;   // no summary line
};

// Global seconds of HH:30 on that day, so that the first epoch of the
// recording, whatever its minute, falls into hour HH; -1 for a malformed text.
int32_t RinexStartReference(const std::string& date);

// 0 done; 1 when the input cannot be read or a file cannot be written;
// 2 for a malformed date. The summary goes to `err`.
int RunRinexCommand(const Settings& settings, const RinexCommand& command, std::FILE* err);

}  // namespace zerlan
