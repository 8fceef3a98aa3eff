// Start functions of the serial input and output threads (job-start rows of
// "COMP"). Each returns true when its thread was started.
#pragma once

#include "core/SharedState.h"

namespace zerlan {

bool StartSerialInput(SharedState& state);
bool StartSerialOutput(SharedState& state);

}  // namespace zerlan
