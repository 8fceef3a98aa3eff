// GgaGenerator: the NMEA GGA sentence that input threads send upstream to
// casters that want the user's position. Three sources, chosen by the nmea
// settings: fixed coordinates (mode 1), the last sentence of a pool file
// (mode 2), or the sentence an output client reported (mode 3, from the
// SatFkpStore). The first Build takes its settings; later builds reuse them,
// so a change takes effect with the next job.
//
// Thread-safety: one generator per sending thread. Build touches only the
// SharedState's own thread-safe parts (display, time strings, store, board).
#pragma once

#include <string>
#include <string_view>

#include "config/Settings.h"

namespace zerlan {

class SharedState;

class GgaGenerator {
public:
    static constexpr size_t kSentenceSize = 1000;

    explicit GgaGenerator(SharedState& state);

    // Builds the sentence into Sentence(). 0, or 1 when fixed coordinates
    // were rejected (the sentence then carries empty coordinates).
    int Build(const Settings& settings);
    // XOR of the characters after the leading '$' up to '*'; 0 when the text
    // does not start with '$'.
    static int Checksum(std::string_view sentence);

    // With CR LF; to be sent without a terminator.
    const std::string& Sentence() const { return sentence_; }
    int mode() const { return mode_; }

private:
    int BuildFixed();
    void BuildFromFile();
    void BuildFromClients();

    SharedState& state_;
    int mode_ = 1;
    std::string lat_degrees_, lat_minutes_, lat_seconds_;
    std::string lon_degrees_, lon_minutes_, lon_seconds_;
    std::string file_name_;
    std::string selector_;
    int client_choice_ = -1;
    std::string latitude_, lat_hemisphere_ = "N";
    std::string longitude_, lon_hemisphere_ = "E";
    std::string sentence_;
    bool built_once_ = false;
};

}  // namespace zerlan
