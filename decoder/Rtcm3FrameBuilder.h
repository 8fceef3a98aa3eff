// CRtcm3FrameBuilder: writes RTCM 3 message fields bit by bit (most significant
// first) and wraps them into a frame: preamble 0xD3, six reserved zero bits,
// the 10-bit length, the message padded to whole bytes, CRC-24Q. Used by the
// example-stream generator and by the decoder tests to build frames from
// chosen field values.
//
// Plain value object; one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zerlan {

class CRtcm3FrameBuilder {
public:
    static constexpr int kMaxMessageBytes = 1023;

    // Unsigned field: the low `width` bits of `value` (width 0..64).
    CRtcm3FrameBuilder& U(int width, uint64_t value);
    // Two's complement field.
    CRtcm3FrameBuilder& S(int width, int64_t value);
    // Sign and magnitude field: sign bit, then |value| in width-1 bits.
    CRtcm3FrameBuilder& M(int width, int64_t value);
    // Each character as 8 bits.
    CRtcm3FrameBuilder& Text(const std::string& text);

    int BitCount() const { return static_cast<int>(bits_.size()); }
    // The message bits so far, as a bit string.
    const std::string& Bits() const { return bits_; }
    // The framed message (padded with zero bits to whole bytes). Messages over
    // 1023 bytes are cut to that size.
    std::vector<uint8_t> Frame() const;
    void Clear() { bits_.clear(); }

private:
    std::string bits_;
};

// Frames raw message bytes (length over 1023 cut).
std::vector<uint8_t> Rtcm3Frame(const std::vector<uint8_t>& message);

}  // namespace zerlan
