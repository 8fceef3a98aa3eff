#include "jobs/DecoderThread.h"

#include <cstdlib>
#include <vector>

#include "core/PacedWrite.h"
#include "core/Worker.h"
#include "decoder/DecoderSelector.h"
#include "jobs/RotatingFileWriter.h"
#include "jobs/StreamCommon.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "supervision/Protocol.h"

namespace zerlan {

StateDecoderOutput::StateDecoderOutput(SharedState& state, bool pacing, StopQuery stop)
    : state_(state), pacing_(pacing), stop_(std::move(stop)) {}

void StateDecoderOutput::Text(const char* text, int length) {
    // The pool takes at most kSingleLimit bytes per write: a frame's text goes
    // in whole lines below that.
    int begin = 0;
    while (begin < length) {
        int end = length;
        if (end - begin > CharPool::kSingleLimit) {
            end = begin + CharPool::kSingleLimit;
            while (end > begin && text[end - 1] != '\n') --end;
            if (end == begin) end = begin + CharPool::kSingleLimit;  // one line over the limit
        }
        if (PacedWriteLines(state_.decoded_text_pool, text + begin, end - begin, pacing_, stop_) < 0 && stop_ &&
            stop_())
            return;
        begin = end;
    }
}

void StateDecoderOutput::Status(int slot, const char* text) {
    // The board refuses only while the view is reading; the view never waits on us.
    for (int tries = 0; tries < 1000 && state_.status_board.SetText(text, slot) < 0; ++tries) {
        if (stop_ && stop_()) return;
        Sleep(1);
    }
}

void StateDecoderOutput::FrameDone() { state_.Send(msg::kDecoderFields); }

void StateDecoderOutput::Log(const std::string& text) { state_.ShowText(text); }

namespace {

void DecoderThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const bool encoder_data = state.encoder_data_a_active.load() != 0 || state.encoder_data_b_active.load() != 0;
    CharPool* source = &state.SelectOutputPool(s.enc_da.Flag(11) ? 1 : 0, s.dec_in.Flag(10) ? 1 : 0, 0);
    if (!encoder_data && state.rtcm_encoder_active.load() != 0 && s.dec_in.Flag(11)) source = &state.input_pool_a;
    OutputSlot slot(*source, worker);
    if (!slot.valid()) return;

    const int64_t silence_s = std::atol(s.dec_out.silence_seconds.c_str());
    const bool restart = s.dec_out.restart_on_silence;
    Clock& clock = Clock::Get();
    int64_t last_decoded = clock.MonotonicMs() / 1000;
    state.ShowTextAndWait("Start_of_Rtcm-Raw-Decoder !\r\n");

    // Decoded text is many times the size of its input: in a replay the text
    // waits for its readers as the input does, so nothing is trimmed away.
    StateDecoderOutput out(state, state.pacing.load() != 0, [&worker] { return worker.StopRequested(); });
    DecoderSelector decoders(s.inout_sw.decoder_version, out);
    decoders.rtcm2().SetGlonassTimeDifference(std::atof(s.rinex.gps_glo_diff_s.c_str()));
    std::string station = "----";
    bool fed_since_pause = false;
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        // Once the input has ended, the end is decided at once rather than
        // after an idle wait: the job ends when its pools have been quiet.
        const int n = slot.Read(buffer.data(), state.input_ended.load() != 0 ? 1 : OutputSlot::kIdleWaitMs);
        if (n > 0) {
            fed_since_pause = true;
        } else if (fed_since_pause) {
            // A pause in the stream, or the end of a file: decide what is complete.
            fed_since_pause = false;
            if (state.input_ended.load() != 0) {
                decoders.Finish();
            } else {
                decoders.Pause();
            }
        }
        for (int i = 0; i < n && !worker.StopRequested(); ++i) {
            const int r = decoders.AddByte(static_cast<uint8_t>(buffer[i]));
            const int64_t now = clock.MonotonicMs() / 1000;
            if (r >= 1) {
                last_decoded = now;
                // The file outputs name their files after the station.
                const std::string& id = decoders.StationIdText();
                if (id != "----" && id != station) {
                    station = id;
                    state.SetStationId(id);
                }
            } else if (silence_s > 0 && now - last_decoded > silence_s) {
                last_decoded = now;
                if (restart) {
                    state.ShowTextAndWait("No decoding !");
                    state.Post(msg::kRestart);
                }
            }
        }
    }
}

void DecFileOutputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    OutputSlot slot(state.decoded_text_pool, worker);
    if (!slot.valid()) return;
    std::vector<char> buffer(CharPool::kBufferSize);
    bool first = true;
    while (!worker.StopRequested()) {
        RotatingFileWriter writer(state, worker, s.dec_out.file);
        if (!writer.Open()) return;
        if (first) {
            state.ShowTextAndWait("File-Open of " + writer.name() + " !\r\n");
            WriteProtocol(state, "DecFile-Output", "no_failure, DecFileOut-Start " + state.CaptureNow().Moment(),
                          ProtocolFileOf(s), 0);
            first = false;
        }
        while (!worker.StopRequested()) {
            writer.CheckRotation();
            const int n = slot.Read(buffer.data());
            if (n > 0) {
                writer.Write(buffer.data(), n);
                state.decoder_total.fetch_add(n);
            }
        }
    }
}

}  // namespace

bool StartDecoderThread(SharedState& state) {
    return StartWorker(state.registry, 0, "RtcmDecoder-Thread",
                       [&state](WorkerScope& w) { DecoderThread(state, w); }) >= 0;
}

bool StartDecFileOutput(SharedState& state) {
    return StartWorker(state.registry, 0, "DecFile-Out-TH",
                       [&state](WorkerScope& w) { DecFileOutputThread(state, w); }) >= 0;
}

}  // namespace zerlan
