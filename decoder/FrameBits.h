// Field reads on a frame held as bytes, giving exactly what the bit-string
// conversions (decoder/BitString.h) give on the same bits written out as
// '0'/'1' text, without building that text. Positions are 1-based and
// inclusive; bits beyond the frame are missing, so a field running past the
// end shrinks to the bits that exist, as a cut of the text would.
//
// A FrameBits only views the bytes it was given; one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zerlan {

class FrameBits {
public:
    FrameBits() = default;
    FrameBits(const uint8_t* data, int bit_count) : data_(data), bits_(bit_count) {}

    int BitCount() const { return bits_; }
    // As BitsToUInt: unsigned, modulo 2^32.
    uint32_t U(int from, int to) const;
    // As BitsToUDouble, BitsToDouble (two's complement) and
    // BitsToSignMagDouble (a set sign with zero magnitude is -0.0).
    double UD(int from, int to) const;
    double S(int from, int to) const;
    double M(int from, int to) const;
    // As BitsToByte of the cut: missing low bits count as 0.
    uint8_t Byte(int from) const;

private:
    // Clips [from, to] to the frame; false when nothing is left.
    bool Clip(int& from, int& to) const;
    // Bits from..to (clipped, at most 64) as an unsigned value.
    uint64_t Raw(int from, int to) const;

    const uint8_t* data_ = nullptr;
    int bits_ = 0;
};

// Bits `first` (0-based) .. first+count-1 of `data`, most significant first;
// count at most 57.
inline uint64_t ReadBits(const uint8_t* data, size_t first, int count) {
    uint64_t value = 0;
    size_t byte = first >> 3;
    const int skip = static_cast<int>(first & 7);
    const int need = (skip + count + 7) >> 3;
    for (int i = 0; i < need; ++i) value = (value << 8) | data[byte + i];
    value >>= need * 8 - skip - count;
    return count == 64 ? value : value & ((uint64_t{1} << count) - 1);
}

}  // namespace zerlan
