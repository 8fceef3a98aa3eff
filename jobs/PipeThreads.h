// Start functions of the named-pipe threads (job-start rows of "PIPE" and
// the decoded-text pipe) and the stop's wake-up of the pipe outputs.
#pragma once

#include "core/SharedState.h"

namespace zerlan {

bool StartPipeInput(SharedState& state);
bool StartPipeOutput(SharedState& state);
bool StartDecPipeOutput(SharedState& state);

// Opens the FIFO of each configured pipe output once as a reader, so that an
// output waiting for its client looks at the stop switch. Never blocks.
void WakePipeOutputs(SharedState& state);

}  // namespace zerlan
