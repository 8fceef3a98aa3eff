// Nmea-Creator-TH: collects what output clients send back through the
// PositionPool and parks each client's last GGA sentence in the SatFkpStore,
// from where the GGA generator and the status page take it.
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "core/Worker.h"
#include "encoder/AnswerEncoder.h"
#include "jobs/StreamThreads.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

constexpr int kStatusSlot = 10;

void NmeaCreatorThread(SharedState& state, WorkerScope& worker) {
    CharPool& pool = state.position_pool;
    // One encoder per slot: bytes of two clients never meet in one line, and
    // a client's line never hands on another client's position.
    std::map<int, std::unique_ptr<AnswerEncoder>> encoders;
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        const int slots = pool.SlotCount();
        for (int slot = 0; slot < slots && !worker.StopRequested(); ++slot) {
            int n;
            while ((n = pool.Read(buffer.data(), slot)) < 0) {
                if (worker.StopRequested()) return;
                Sleep(1);
            }
            if (n > 0) {
                auto& encoder = encoders[slot];
                if (!encoder) encoder = std::make_unique<AnswerEncoder>();
                for (int i = 0; i < n; ++i) {
                    if (encoder->PutByte(buffer[static_cast<size_t>(i)]) != 2) continue;
                    state.sat_fkp_store.SetGgaText(encoder->LastGga(), slot);
                    char text[1100];
                    std::snprintf(text, sizeof text, "K%i %s", slot, encoder->LastGga().c_str());
                    while (state.status_board.SetText(text, kStatusSlot) < 0) {
                        if (worker.StopRequested()) return;
                        Sleep(1);
                    }
                    state.Post(msg::kStatusSlot10);
                }
            }
            Sleep(1);
        }
        Sleep(10);
    }
}

}  // namespace

bool StartNmeaCreator(SharedState& state) {
    return StartWorker(state.registry, 0, "Nmea-Creator-TH",
                       [&state](WorkerScope& w) { NmeaCreatorThread(state, w); }) >= 0;
}

}  // namespace zerlan
