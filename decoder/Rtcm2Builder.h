// Building RTCM 2 streams from chosen field values: message fields are
// collected MSB first into a data bit string, cut into 24-bit words, given
// their GPS parity (with the D29*/D30* chain across words and frames) and
// packed into 6-of-8 bytes or plain 8-bit bytes, least significant bit first,
// as a receiver sends them. Used by the stream generator and the decoder
// tests; it computes parity on integers, independently of the decoder's
// string-based check.
//
// Thread-safety: plain values; one object per thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zerlan {

// Message fields in transmission order, as a '0'/'1' string.
class Rtcm2Bits {
public:
    // The low `bits` bits of `value` (two's complement for negatives).
    Rtcm2Bits& U(uint64_t value, int bits);
    Rtcm2Bits& S(int64_t value, int bits) { return U(static_cast<uint64_t>(value), bits); }
    // Eight bits per character.
    Rtcm2Bits& Chars(std::string_view text);
    Rtcm2Bits& Raw(std::string_view bits);
    const std::string& Bits() const { return bits_; }
    // Whole data words needed for the bits so far.
    int Words() const { return static_cast<int>((bits_.size() + 23) / 24); }

private:
    std::string bits_;
};

struct Rtcm2Header {
    int type = 1;
    int station = 0;
    int zcount = 0;  // 0.6 s units within the hour
    int sequence = 0;
    int health = 0;
    int word_count = -1;  // -1: as many words as the data needs
};

class Rtcm2Builder {
public:
    // The 30 transmitted bits of one word after the chain; advances the chain.
    std::string Word(std::string_view data24);
    // Header words and data words of a frame, transmitted bits concatenated.
    // A partial last data word is completed with the 1010... fill.
    std::string Frame(const Rtcm2Header& header, std::string_view data_bits);
    // Last two transmitted parity bits, the D29*/D30* of the next word.
    void SetChain(char d29, char d30) {
        d29_ = d29;
        d30_ = d30;
    }
    char D30() const { return d30_; }

    // Six-bit parity of 24 source bits after D29*, D30* (bit 5 = D25).
    static uint32_t Parity(uint32_t data24, int d29, int d30);

private:
    char d29_ = '0';
    char d30_ = '0';
};

// 6-of-8 bytes: six bits per byte, first bit in the least significant place,
// marked with 0x40. A partial last byte is padded with '0'.
std::string ToBytes6(std::string_view bits);
// Plain bytes, eight bits each, first bit in the least significant place.
std::string ToBytes8(std::string_view bits);

}  // namespace zerlan
