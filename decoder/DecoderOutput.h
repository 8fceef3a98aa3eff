// Where a decoder's results go. The decoders are a library without threads:
// the job's decoder thread routes these calls to the shared state (pool,
// status board, view), the batch converter keeps only the text, and tests
// record what they check.
//
// Calls come from the one thread that feeds the decoder.
#pragma once

#include <functional>
#include <string>

namespace zerlan {

class DecoderOutput {
public:
    virtual ~DecoderOutput() = default;
    // Decoded text exactly as it is to be written (lines end in CR LF).
    virtual void Text(const char* text, int length) = 0;
    // A text for one of the view's decoder fields (status-board slots 0..9).
    virtual void Status(int /*slot*/, const char* /*text*/) {}
    // A frame's text is complete (the view then fetches the fields).
    virtual void FrameDone() {}
    // A frame candidate failed after its preamble and header had passed.
    virtual void Rejected() {}
    // A line for the operator's log.
    virtual void Log(const std::string& /*text*/) {}
};

// Text to a function; everything else is dropped.
class SinkOutput : public DecoderOutput {
public:
    using Sink = std::function<void(const char* text, int length)>;
    explicit SinkOutput(Sink sink) : sink_(std::move(sink)) {}
    void Text(const char* text, int length) override {
        if (sink_) sink_(text, length);
    }

private:
    Sink sink_;
};

}  // namespace zerlan
