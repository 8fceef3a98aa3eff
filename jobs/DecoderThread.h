// The decoder thread ("RtcmDecoder-Thread") and the decoded-text file output
// ("DecFile-Out-TH"). The thread feeds the received bytes to the decoders of
// decoder/ and routes their results into the shared state: text into the
// DecodedTextPool, the view's decoder fields onto the status board, a
// notice per frame to the view, and the station for the "Auto" file names.
//
// Thread-safety: each thread owns its decoders; the shared objects carry
// their own locks.
#pragma once

#include <string>

#include "core/PacedWrite.h"
#include "core/SharedState.h"
#include "decoder/DecoderOutput.h"

namespace zerlan {

// Decoder results into the shared state. With `pacing` (a replayed file)
// the text waits for its readers as the input does.
class StateDecoderOutput : public DecoderOutput {
public:
    StateDecoderOutput(SharedState& state, bool pacing, StopQuery stop);
    void Text(const char* text, int length) override;
    void Status(int slot, const char* text) override;
    void FrameDone() override;
    void Log(const std::string& text) override;

private:
    SharedState& state_;
    bool pacing_;
    StopQuery stop_;
};

bool StartDecoderThread(SharedState& state);
bool StartDecFileOutput(SharedState& state);

}  // namespace zerlan
