#include "jobs/RinexThreads.h"

#include <vector>

#include "core/PacedWrite.h"
#include "core/Worker.h"
#include "encoder/RinexEncoder.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"

namespace zerlan {

bool WriteRinexText(CharPool& pool, const std::string& text, bool pacing, const std::function<bool()>& stop) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.size();
        if (end - start > static_cast<size_t>(CharPool::kBroadcastLimit)) {
            // A record of many satellites is longer than one pool block.
            end = text.rfind('\n', start + CharPool::kBroadcastLimit - 1);
            end = end == std::string::npos || end < start ? start + CharPool::kBroadcastLimit : end + 1;
        }
        if (PacedWriteLines(pool, text.data() + start, static_cast<int>(end - start), pacing, stop) < 0) return false;
        start = end;
    }
    return true;
}

namespace {

void RinexEncoderThread(SharedState& state, WorkerScope& worker) {
    OutputSlot slot(state.decoded_text_pool, worker);
    if (!slot.valid()) return;
    state.ShowTextAndWait("Start of RinexEncoder !\r\n");

    const bool pacing = state.pacing.load() != 0;
    const StopQuery stop = [&worker] { return worker.StopRequested(); };
    RinexEnvironment env;
    env.stop_pending = stop;
    env.to_pool = [&state, pacing, &stop](const std::string& text) {
        WriteRinexText(state.rinex_pool, text, pacing, stop);
    };
    RinexEncoder encoder(RinexConfig::From(state.settings.rinex), std::move(env));

    std::vector<char> buffer(CharPool::kBufferSize);
    auto take = [&] {
        const int n = slot.Read(buffer.data());
        for (int i = 0; i < n; ++i) encoder.PutByte(buffer[static_cast<size_t>(i)]);
    };
    while (!worker.StopRequested()) take();
    // What the decoder handed over before the stop still counts, and the
    // epochs waiting in the ring are written before the file closes.
    take();
    encoder.Finish();
}

}  // namespace

bool StartRinexEncoder(SharedState& state) {
    return StartWorker(state.registry, 0, "Rinex-Encoder-Thread !",
                       [&state](WorkerScope& w) { RinexEncoderThread(state, w); }) >= 0;
}

}  // namespace zerlan
