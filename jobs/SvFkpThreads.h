// The satellite and FKP threads of a job: the pool thread that condenses the
// decoded text into the SatFkpStore (started with the decoder), and the FKP
// watch thread that checks the store for missing or too few satellites and
// FKP and writes the FKP log (started when the decoder's FKP watch is on).
#pragma once

#include "core/SharedState.h"

namespace zerlan {

bool StartSvFkpPoolThread(SharedState& state);
bool StartFkpWatchThread(SharedState& state);

}  // namespace zerlan
