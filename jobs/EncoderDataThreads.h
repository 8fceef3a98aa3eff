// The encoder-data and decoder-data threads: the raw input encrypted into
// message 4088 (EncoderDataPoolA), and 4088 frames of the raw input decrypted
// (EncoderDataPoolB). The settings reader keeps both switches off, so the job
// start never starts them; they are complete for the day it does.
#pragma once

#include "core/SharedState.h"

namespace zerlan {

bool StartEncoderDataThread(SharedState& state);
bool StartDecoderDataThread(SharedState& state);

}  // namespace zerlan
