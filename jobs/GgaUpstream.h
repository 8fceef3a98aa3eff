// What the network input threads share beyond the common input pattern: the
// read size of a receive call, the start and protocol texts stamped with the
// moment, and the GGA upstream (a sentence sent once after each connect and
// again every repeat interval, when the nmea setting asks for it).
//
// Thread-safety: one object per thread.
#pragma once

#include <functional>
#include <string>

#include "config/Settings.h"
#include "services/GgaGenerator.h"
#include "supervision/CharWatch.h"

namespace zerlan {

class SharedState;

// inout_sw field 9, kept within 1..1000.
int NetworkReadSize(const Settings& settings);

// "no_failure, <start word> %s.%s.%s  %s:%s:%s" under `title`, after a fresh
// capture of the moment.
void WriteStartRecord(SharedState& state, const std::string& title, const std::string& start_word);

class GgaUpstream {
public:
    explicit GgaUpstream(SharedState& state);

    bool on() const { return on_; }
    // Builds the sentence and hands it to `send` (without terminator);
    // returns what `send` returned, 0 when off or when the sentence is empty.
    int SendNow(const std::function<int(const char*, int)>& send);
    // As SendNow, but only when the repeat interval has elapsed (never for an
    // interval of 0).
    int SendIfDue(const std::function<int(const char*, int)>& send);

private:
    SharedState& state_;
    bool on_;
    int interval_s_;
    CharWatch timer_;
    GgaGenerator generator_;
};

}  // namespace zerlan
