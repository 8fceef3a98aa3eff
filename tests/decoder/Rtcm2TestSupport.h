// Feeding built RTCM 2 streams into a CRtcmDecoder and collecting its text.
#pragma once

#include <string>
#include <vector>

#include "RecordingOutput.h"
#include "decoder/Rtcm2Builder.h"
#include "decoder/RtcmDecoder.h"

namespace zerlan {

struct Rtcm2Harness {
    RecordingOutput out;
    std::string& text = out.text;
    std::vector<int> results;
    CRtcmDecoder decoder;

    explicit Rtcm2Harness(int version = 1) : decoder(version, out) {}

    void Feed(const std::string& bytes) {
        for (unsigned char b : bytes) results.push_back(decoder.AddByte(b));
    }
    // The "MT" lines: header lines (with " Status ") or message lines.
    std::vector<std::string> Lines(bool headers) const {
        std::vector<std::string> found;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            if (line.rfind("MT", 0) == 0 && (line.find(" Status ") != std::string::npos) == headers)
                found.push_back(line);
            start = end + 2;
        }
        return found;
    }
    std::vector<std::string> MessageLines() const { return Lines(false); }
    std::vector<std::string> HeaderLines() const { return Lines(true); }
};

// A 6-of-8 stream of the frames and one byte more: the window looks one byte
// behind the newest bits, so a frame is complete one byte after its last.
inline std::string Stream6(Rtcm2Builder& builder, const std::vector<std::pair<Rtcm2Header, std::string>>& frames) {
    std::string bits;
    for (const auto& [header, data] : frames) bits += builder.Frame(header, data);
    return ToBytes6(bits) + '\x40';
}

inline Rtcm2Bits Coordinates(int64_t x, int64_t y, int64_t z) {
    Rtcm2Bits b;
    b.S(x, 32).S(y, 32).S(z, 32);
    return b;
}

}  // namespace zerlan
