// The decoder thread and its decoded-text outputs, and the batch converter
// that runs the same decoders over a recorded file at full speed.
//
// `DecoderSelector` holds the version choice between the RTCM 2 and RTCM 3
// decoders, shared by the thread and the batch converter so both print the
// same text.
//
// Thread-safety: a selector belongs to one thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/SharedState.h"
#include "decoder/Rtcm3xDecoder.h"
#include "decoder/RtcmDecoder.h"

namespace zerlan {

class DecoderSelector {
public:
    // `version`: -1 automatic, 0 RTCM 2.1, 1 RTCM 2.3, 2 RTCM 3.1 (others: -1).
    DecoderSelector(int version, SharedState& state, CRtcmDecoder::LineSink sink = nullptr);
    // Feeds one byte to the decoder(s) of the current choice; returns the
    // last decoder result (>= 1 is progress).
    int AddByte(uint8_t byte);
    int current() const { return current_; }
    CRtcmDecoder& rtcm2() { return rtcm2_; }
    CRtcm3xDecoder& rtcm3() { return rtcm3_; }

private:
    int version_;
    int current_;
    CRtcmDecoder rtcm2_;
    CRtcm3xDecoder rtcm3_;
};

bool StartDecoderThread(SharedState& state);
bool StartDecFileOutput(SharedState& state);

// Decodes everything `in` gives and writes the text to `out`; returns 0, or
// 1 when `in` cannot be read.
int DecodeStream(std::FILE* in, std::FILE* out, int version, SharedState& state);

}  // namespace zerlan
