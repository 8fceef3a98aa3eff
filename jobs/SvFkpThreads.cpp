#include "jobs/SvFkpThreads.h"

#include <vector>

#include "core/Worker.h"
#include "encoder/SvFkpEncoder.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"
#include "supervision/AvailabilityWatch.h"
#include "supervision/CharWatch.h"

namespace zerlan {

namespace {

constexpr int kWatchPassMs = 5;

void SvFkpPoolThread(SharedState& state, WorkerScope& worker) {
    SvFkpPool pool(state.sat_fkp_store, state.settings.Field(Key::kHtml, 7),
                   [&state] { return state.CaptureNow().Moment() + " (PC-Time)"; });
    OutputSlot slot(state.decoded_text_pool, worker);
    if (!slot.valid()) return;
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        const int n = slot.Read(buffer.data());
        for (int i = 0; i < n; ++i) pool.PutByte(buffer[static_cast<size_t>(i)]);
    }
}

void FkpWatchThread(SharedState& state, WorkerScope& worker) {
    AvailabilityWatch watch(state);
    RunWatchThread(worker.registry(), kWatchPassMs, [&watch] { watch.Pass(); });
    // A short replay may end before the first check: show what it left.
    watch.ShowStates();
}

}  // namespace

bool StartSvFkpPoolThread(SharedState& state) {
    return StartWorker(state.registry, 0, "Sv-Fkp-Pool-Thread !",
                       [&state](WorkerScope& w) { SvFkpPoolThread(state, w); }) >= 0;
}

bool StartFkpWatchThread(SharedState& state) {
    return StartWorker(state.registry, 0, "RtcmDec-CharWatch-TH",
                       [&state](WorkerScope& w) { FkpWatchThread(state, w); }) >= 0;
}

}  // namespace zerlan
