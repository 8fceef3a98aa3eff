#include "jobs/EncoderDataThreads.h"

#include <vector>

#include "core/Worker.h"
#include "encoder/EncoderData.h"
#include "jobs/StreamCommon.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

// Writes one block to `pool`, retrying while the pool refuses; false when a
// stop came first.
bool WriteUnlessStopped(CharPool& pool, WorkerScope& worker, const uint8_t* bytes, size_t length) {
    while (pool.Write(reinterpret_cast<const char*>(bytes), static_cast<int>(length)) < 0) {
        if (worker.StopRequested()) return false;
        Sleep(1);
    }
    return true;
}

void EncoderDataThread(SharedState& state, WorkerScope& worker) {
    const CipherSettings settings = CipherSettingsOf(state.settings.enc_da);
    EncoderData encoder(settings, [&](const uint8_t* frame, size_t length) {
        WriteUnlessStopped(state.encoder_data_pool_a, worker, frame, length);
    });
    if (!encoder.KeyAccepted()) {
        state.ShowText(RefusedKeyText(settings.key) + "\r\n");
        return;
    }
    OutputSlot slot(state.input_pool_a, worker);
    if (!slot.valid()) return;
    state.ShowTextAndWait("Start of EncoderData !\r\n");
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        const int n = slot.Read(buffer.data());
        if (n > 0) encoder.PutRead(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(n));
    }
}

void DecoderDataThread(SharedState& state, WorkerScope& worker) {
    const CipherSettings settings = CipherSettingsOf(state.settings.enc_da);
    DecoderData decoder(settings, [&](const uint8_t* bytes, size_t length) {
        WriteUnlessStopped(state.encoder_data_pool_b, worker, bytes, length);
    });
    if (!decoder.KeyAccepted()) {
        state.ShowText(RefusedKeyText(settings.key) + "\r\n");
        return;
    }
    OutputSlot slot(state.input_pool_a, worker);
    if (!slot.valid()) return;
    state.ShowTextAndWait("Start of DecoderData !\r\n");
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        const int n = slot.Read(buffer.data());
        for (int i = 0; i < n; ++i) {
            if (worker.StopRequested()) return;
            decoder.PutByte(static_cast<uint8_t>(buffer[static_cast<size_t>(i)]));
        }
    }
}

}  // namespace

bool StartEncoderDataThread(SharedState& state) {
    return StartWorker(state.registry, 0, "Encoder-Data-Thread !",
                       [&state](WorkerScope& w) { EncoderDataThread(state, w); }) >= 0;
}

bool StartDecoderDataThread(SharedState& state) {
    return StartWorker(state.registry, 0, "Decoder-Data-Thread !",
                       [&state](WorkerScope& w) { DecoderDataThread(state, w); }) >= 0;
}

}  // namespace zerlan
