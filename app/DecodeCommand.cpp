#include "app/DecodeCommand.h"

#include <vector>

#include "decoder/DecoderSelector.h"
#include "platform/BatchInput.h"

namespace zerlan {
namespace {

// Text collected in large blocks: one write per frame would dominate the run.
class BufferedOutput : public DecoderOutput {
public:
    explicit BufferedOutput(std::FILE* out) : out_(out) { text_.reserve(kBlock + 8192); }
    ~BufferedOutput() override { Drain(); }
    void Text(const char* text, int length) override {
        text_.append(text, static_cast<size_t>(length));
        if (text_.size() >= kBlock) Drain();
    }
    void Drain() {
        if (!text_.empty()) std::fwrite(text_.data(), 1, text_.size(), out_);
        text_.clear();
    }

private:
    static constexpr size_t kBlock = 1 << 16;
    std::FILE* out_;
    std::string text_;
};

}  // namespace

int DecodeStream(BatchInput& in, std::FILE* out, int version, DecodeSummary& summary) {
    BufferedOutput text(out);
    DecoderSelector decoders(version, text);
    std::vector<unsigned char> buffer(1 << 16);
    long n;
    while ((n = in.Read(buffer.data(), buffer.size())) > 0) {
        summary.bytes += n;
        for (long i = 0; i < n; ++i) decoders.AddByte(buffer[static_cast<size_t>(i)]);
    }
    summary.interrupted = n == BatchInput::kInterrupted;
    // The last frames of a recording are only decided at its end.
    decoders.Finish();
    text.Drain();
    std::fflush(out);
    summary.rtcm2_frames = decoders.FramesPrinted(2);
    summary.rtcm3_frames = decoders.FramesPrinted(3);
    summary.rejected = decoders.FramesRejected();
    return n == BatchInput::kError ? 1 : 0;
}

std::string SummaryLine(const std::string& name, const DecodeSummary& summary) {
    char text[400];
    std::snprintf(text, sizeof text, "zerlan: %s: %lld bytes read, %d RTCM 2 frames, %d RTCM 3 frames decoded, %d rejected%s%s",
                  name == "-" ? "standard input" : name.c_str(), summary.bytes, summary.rtcm2_frames,
                  summary.rtcm3_frames, summary.rejected,
                  summary.rtcm2_frames + summary.rtcm3_frames == 0 ? "; no RTCM found" : "",
                  summary.interrupted ? "; stopped by signal" : "");
    return text;
}

int RunDecodeCommand(const std::string& name, int version, bool quiet) {
    BatchInput in;
    if (!in.Open(name)) {
        std::fprintf(stderr, "zerlan: cannot read %s: %s\n", name.c_str(), in.Error().c_str());
        return 1;
    }
    DecodeSummary summary;
    const int status = DecodeStream(in, stdout, version, summary);
    if (status != 0) std::fprintf(stderr, "zerlan: error reading %s: %s\n", name.c_str(), in.Error().c_str());
    if (!quiet) std::fprintf(stderr, "%s\n", SummaryLine(name, summary).c_str());
    return status;
}

}  // namespace zerlan
