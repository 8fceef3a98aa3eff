// The RINEX encoder thread ("Rinex-Encoder-Thread !"): reads the decoded text,
// writes the observation files and, when the RINEX TCP output is on, the
// RinexPool that the RINEX TCP server (jobs/TcpThreads.cpp) relays.
#pragma once

#include <functional>
#include <string>

#include "core/SharedState.h"

namespace zerlan {

class CharPool;

bool StartRinexEncoder(SharedState& state);

// Hands a header or record to `pool` in blocks of whole lines that the pool
// takes at once; false when a stop came first.
bool WriteRinexText(CharPool& pool, const std::string& text, bool pacing, const std::function<bool()>& stop);

}  // namespace zerlan
