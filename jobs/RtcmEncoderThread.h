// The RTCM encoder thread of a job: reads decoded text (its own decoder's
// pool, or the raw input when that already is text) and writes the rebuilt
// RTCM into the RtcmEncoderPool, from which the outputs switched to it send.
#pragma once

#include "core/SharedState.h"

namespace zerlan {

bool StartRtcmEncoderThread(SharedState& state);

}  // namespace zerlan
