// Field reads on a frame held as bytes, giving exactly what the bit-string
// conversions (decoder/BitString.h) give on the same bits written out as
// '0'/'1' text, without building that text. Positions are 1-based and
// inclusive; bits beyond the frame are missing, so a field running past the
// end shrinks to the bits that exist, as a cut of the text would.
//
// A FrameBits only views the bytes it was given; one thread at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zerlan {

class FrameBits {
public:
    FrameBits() = default;
    FrameBits(const uint8_t* data, int bit_count) : data_(data), bits_(bit_count) {}

    int BitCount() const { return bits_; }
    // As BitsToUInt: unsigned, modulo 2^32.
    uint32_t U(int from, int to) const {
        if (!Clip(from, to)) return 0;
        return static_cast<uint32_t>(Raw(from, to));
    }
    // As BitsToUDouble, BitsToDouble (two's complement) and
    // BitsToSignMagDouble (a set sign with zero magnitude is -0.0).
    double UD(int from, int to) const;
    double S(int from, int to) const;
    double M(int from, int to) const;
    // As BitsToByte of the cut: missing low bits count as 0.
    uint8_t Byte(int from) const;

private:
    // Clips [from, to] to the frame; false when nothing is left.
    bool Clip(int& from, int& to) const {
        if (from < 1 || to < from || from > bits_) return false;
        if (to > bits_) to = bits_;
        return true;
    }
    // Bits from..to (clipped) as an unsigned value; of wider fields the low 64 bits.
    uint64_t Raw(int from, int to) const {
        const int n = to - from + 1;
        const size_t byte = static_cast<size_t>(from - 1) >> 3;
        // Most fields: eight bytes that lie inside the frame, read at once.
        if (n <= 56 && byte + 8 <= (static_cast<size_t>(bits_) + 7) / 8) {
            uint64_t word;
            std::memcpy(&word, data_ + byte, sizeof word);
            if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
            return (word << ((from - 1) & 7)) >> (64 - n);
        }
        return RawSlow(from, to);
    }
    uint64_t RawSlow(int from, int to) const;

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
