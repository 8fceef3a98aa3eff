// Start functions of the stream threads, one per row of the job start table.
// Each returns true when its thread (or threads) were started. They read the
// settings of the SharedState, which the job start has just filled.
#pragma once

#include "core/SharedState.h"

namespace zerlan {

// Outputs.
bool StartFileOutput(SharedState& state);

// Inputs.
bool StartFileInput(SharedState& state);
bool StartDummyInput(SharedState& state);

}  // namespace zerlan
