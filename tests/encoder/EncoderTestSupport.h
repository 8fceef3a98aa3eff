// Encoding decoded text and decoding it again, in process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/DecoderOutput.h"
#include "decoder/DecoderSelector.h"
#include "encoder/RtcmEncoder.h"

namespace zerlan::testing {

inline std::string Encode(const std::string& text, const RtcmEncoderOptions& options = {}) {
    std::string out;
    RtcmEncoder encoder(options, [&out](const char* bytes, int n) { out.append(bytes, static_cast<size_t>(n)); });
    for (char c : text) encoder.PutByte(c);
    encoder.Flush();
    return out;
}

// The decoders' text of a stream; `version` 2 RTCM 3, 1 RTCM 2.3, 0 by the
// first byte (an encoder's output).
inline std::string DecodeText(const std::string& bytes, int version = 0) {
    std::string text;
    SinkOutput out([&text](const char* t, int n) { text.append(t, static_cast<size_t>(n)); });
    if (version == 0) version = !bytes.empty() && bytes[0] == '\xD3' ? 2 : 1;
    DecoderSelector decoders(version, out);
    for (unsigned char b : bytes) decoders.AddByte(b);
    decoders.Finish();
    return text;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

// The text without what depends on the clock or the sender's numbering: TM
// lines, the time estimate of RTCM 3 header lines and the RTCM 2 sequence.
inline std::string Comparable(const std::string& text) {
    std::string out;
    for (std::string line : Lines(text)) {
        if (line.rfind("TM ", 0) == 0) continue;
        if (line.find(" Status ") != std::string::npos) {
            const size_t sec = line.find(" Sec ");
            const size_t seq = line.find(" Seq ");
            const size_t frame = line.find(" Frame ");
            if (line.find(" Seq 1000 ") != std::string::npos && sec != std::string::npos) {
                line = line.substr(0, sec) + line.substr(seq);
            } else if (seq != std::string::npos && frame != std::string::npos) {
                line = line.substr(0, seq) + line.substr(frame);
            }
        }
        out += line + "\n";
    }
    return out;
}

// Message lines (not headers) of a text, without their line ends.
inline std::vector<std::string> DataLines(const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(text))
        if (line.rfind("MT", 0) == 0 && line.find(" Status ") == std::string::npos) out.push_back(line);
    return out;
}

inline std::string Bits(const std::string& bytes) {
    std::string bits;
    for (unsigned char b : bytes)
        for (int i = 7; i >= 0; --i) bits.push_back(((b >> i) & 1) != 0 ? '1' : '0');
    return bits;
}

}  // namespace zerlan::testing
