// An independent count of the frames in a recording, written from the RTCM
// standards alone and sharing no code with decoder/: the yardstick that
// `--decode` is compared against.
//
// RTCM 3 (RTCM 10403): byte 0xD3, six zero bits, a 10-bit length, the
// message and a CRC-24Q over all before it; after a good frame the search
// goes on behind it, after a bad one at the next byte.
//
// RTCM 2 (RTCM 10402, GPS ICD-200 parity): six data bits per byte, least
// significant first, in bytes whose top bits are 01 (other bytes carry
// nothing and are skipped); 30-bit words whose data is complemented when the
// previous word's last bit (D30*) is 1; a frame is the preamble 0x66 in
// word 1, the word count in word 2, then that many words, each with its six
// parity bits right. The search goes on one bit at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zerlan::reference {

inline uint32_t Crc24q(const uint8_t* data, size_t length) {
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 16;
        for (int b = 0; b < 8; ++b) {
            crc <<= 1;
            if (crc & 0x1000000) crc ^= 0x1864CFB;
        }
    }
    return crc & 0xFFFFFF;
}

inline int CountRtcm3Frames(const std::string& bytes) {
    const auto* d = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    int frames = 0;
    for (size_t i = 0; i + 6 <= n;) {
        if (d[i] != 0xD3 || (d[i + 1] & 0xFC) != 0) {
            ++i;
            continue;
        }
        const size_t length = (static_cast<size_t>(d[i + 1] & 0x03) << 8) | d[i + 2];
        if (i + length + 6 > n) {
            ++i;
            continue;
        }
        const uint32_t sent = (static_cast<uint32_t>(d[i + length + 3]) << 16) |
                              (static_cast<uint32_t>(d[i + length + 4]) << 8) | d[i + length + 5];
        if (Crc24q(d + i, length + 3) == sent) {
            ++frames;
            i += length + 6;
        } else {
            ++i;
        }
    }
    return frames;
}

// Parity of a 30-bit word (bits 29..0 = d1..d30) given D29*, D30* of the
// word before: true when the six parity bits match. `data` gets d1..d24,
// complemented back when D30* is set.
inline bool GpsWordParity(uint32_t word, int d29s, int d30s, uint32_t* data) {
    uint32_t d = (word >> 6) & 0xFFFFFF;
    if (d30s) d ^= 0xFFFFFF;
    // Data bits of each parity equation, d1 as the most significant of 24.
    static const uint32_t kMasks[6] = {0xEC7CD2, 0x763E69, 0xBB1F34, 0x5D8F9A, 0xAEC7CD, 0x2DEA27};
    auto parity = [](uint32_t v) {
        int p = 0;
        for (; v != 0; v &= v - 1) p ^= 1;
        return p;
    };
    const int star[6] = {d29s, d30s, d29s, d30s, d30s, d29s};
    uint32_t computed = 0;
    for (int k = 0; k < 6; ++k) computed = (computed << 1) | static_cast<uint32_t>(star[k] ^ parity(d & kMasks[k]));
    if (computed != (word & 0x3F)) return false;
    if (data != nullptr) *data = d;
    return true;
}

inline int CountRtcm2Frames(const std::string& bytes) {
    // One entry per bit, in the order sent; a receiver starts with D29* and
    // D30* at zero.
    std::vector<uint8_t> bits = {0, 0};
    for (unsigned char c : bytes) {
        if ((c & 0xC0) != 0x40) continue;
        for (int i = 0; i < 6; ++i) bits.push_back((c >> i) & 1);
    }
    auto word_at = [&bits](size_t at) {
        uint32_t w = 0;
        for (size_t i = 0; i < 30; ++i) w = (w << 1) | bits[at + i];
        return w;
    };
    int frames = 0;
    for (size_t p = 2; p + 60 <= bits.size();) {
        const int d29s = bits[p - 2], d30s = bits[p - 1];
        uint32_t h1 = 0, h2 = 0;
        const uint32_t w1 = word_at(p);
        if (!GpsWordParity(w1, d29s, d30s, &h1) || (h1 >> 16) != 0x66) {
            ++p;
            continue;
        }
        if (!GpsWordParity(word_at(p + 30), (w1 >> 1) & 1, w1 & 1, &h2)) {
            ++p;
            continue;
        }
        const size_t words = (h2 >> 3) & 0x1F;
        bool good = p + 60 + 30 * words <= bits.size();
        uint32_t last = word_at(p + 30);
        for (size_t k = 0; good && k < words; ++k) {
            const uint32_t w = word_at(p + 60 + 30 * k);
            good = GpsWordParity(w, (last >> 1) & 1, last & 1, nullptr);
            last = w;
        }
        if (good) {
            ++frames;
            p += 60 + 30 * words;
        } else {
            ++p;
        }
    }
    return frames;
}

}  // namespace zerlan::reference
