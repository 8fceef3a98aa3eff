#include "decoder/DecoderThread.h"

#include <cstdlib>
#include <vector>

#include "core/PacedWrite.h"
#include "core/Worker.h"
#include "jobs/RotatingFileWriter.h"
#include "jobs/StreamCommon.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "supervision/Protocol.h"

namespace zerlan {

namespace {
int ValidVersion(int v) { return v >= -1 && v <= 2 ? v : -1; }
}  // namespace

DecoderSelector::DecoderSelector(int version, SharedState& state, CRtcmDecoder::LineSink sink)
    : version_(ValidVersion(version)),
      current_(version_),
      rtcm2_(version_, state, sink),
      rtcm3_(version_, state, sink) {}

int DecoderSelector::AddByte(uint8_t byte) {
    int r = 0;
    if (current_ < 2 || current_ == -1) {
        r = rtcm2_.AddByte(byte);
        if (version_ != 0 && r >= 1) current_ = 1;
    }
    if (current_ == 2 || current_ == -1) {
        r = rtcm3_.AddByte(byte);
        if (r > 0) current_ = 2;
    }
    if (r < 1 && version_ == -1) current_ = -1;
    return r;
}

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
    const bool pacing = state.pacing.load() != 0;
    auto to_pool = [&state, &worker, pacing](const char* text, int length) {
        PacedWriteLines(state.decoded_text_pool, text, length, pacing, [&worker] { return worker.StopRequested(); });
    };
    DecoderSelector decoders(s.inout_sw.decoder_version, state, to_pool);
    decoders.rtcm2().SetGlonassTimeDifference(std::atof(s.rinex.gps_glo_diff_s.c_str()));
    std::string station = "----";
    bool fed_since_flush = false;
    std::vector<char> buffer(CharPool::kBufferSize);
    while (!worker.StopRequested()) {
        const int n = slot.Read(buffer.data());
        if (n > 0) {
            fed_since_flush = true;
        } else if (fed_since_flush && (decoders.current() == 2 || decoders.current() == -1)) {
            // A pause in the stream (or its end): decide the frames still waiting.
            fed_since_flush = false;
            if (decoders.rtcm3().Flush(false) > 0) last_decoded = clock.MonotonicMs() / 1000;
        }
        for (int i = 0; i < n && !worker.StopRequested(); ++i) {
            const int r = decoders.AddByte(static_cast<uint8_t>(buffer[i]));
            const int64_t now = clock.MonotonicMs() / 1000;
            if (r >= 1) {
                last_decoded = now;
                // The file outputs name their files after the station.
                const std::string& id = decoders.current() == 2 ? decoders.rtcm3().StationIdText()
                                                                 : decoders.rtcm2().StationIdText();
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
        Sleep(1);
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
            Sleep(1);
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

int DecodeStream(std::FILE* in, std::FILE* out, int version, SharedState& state) {
    if (in == nullptr) return 1;
    auto sink = [out](const char* text, int length) { std::fwrite(text, 1, static_cast<size_t>(length), out); };
    DecoderSelector decoders(version, state, sink);
    std::vector<unsigned char> buffer(65536);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        for (size_t i = 0; i < n; ++i) decoders.AddByte(buffer[i]);
    }
    // The last frames of a recording are only decided at its end.
    if (decoders.current() == 2 || decoders.current() == -1) decoders.rtcm3().Flush();
    std::fflush(out);
    return std::ferror(in) ? 1 : 0;
}

}  // namespace zerlan
