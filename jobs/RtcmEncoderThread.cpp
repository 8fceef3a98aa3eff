#include "jobs/RtcmEncoderThread.h"

#include <vector>

#include "core/PacedWrite.h"
#include "core/Worker.h"
#include "encoder/RtcmEncoder.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

void RtcmEncoderThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CharPool& source = s.dec_in.Flag(11) ? state.decoded_text_pool : state.input_pool_a;
    OutputSlot slot(source, worker);
    if (!slot.valid()) return;
    state.ShowTextAndWait("Start of RtcmEncoder !\r\n");

    const bool pacing = state.pacing.load() != 0;
    int final_tries = -1;  // counts down the retries of the last write at the stop
    const StopQuery give_up = [&] {
        if (final_tries < 0) return worker.StopRequested();
        return final_tries-- == 0;
    };
    RtcmEncoder encoder(RtcmEncoderOptions::FromSettings(s.dec_in), [&](const char* bytes, int length) {
        PacedWrite(state.rtcm_encoder_pool, bytes, length, pacing && final_tries < 0, give_up);
    });
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        const int n = slot.Read(buffer.data());
        for (int i = 0; i < n; ++i) encoder.PutByte(buffer[i]);
    }
    // The message still open at the stop is written, not lost.
    final_tries = 100;
    encoder.Flush();
}

}  // namespace

bool StartRtcmEncoderThread(SharedState& state) {
    return StartWorker(state.registry, 0, "Rtcm-Encoder-Thread !",
                       [&state](WorkerScope& w) { RtcmEncoderThread(state, w); }) >= 0;
}

}  // namespace zerlan
