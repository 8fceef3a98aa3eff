// Frame counts from the RTCM standards alone (10403, 10402 with ICD-200 parity), sharing no code
// with decoder/: the yardstick for `--decode`. RTCM 3 searches on behind a good frame and at the
// next byte after a bad one; RTCM 2 (six bits per byte, least significant first) bit by bit.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zerlan::reference {

inline uint32_t Crc24q(const uint8_t* data, size_t length) {
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 16;
        for (int b = 0; b < 8; ++b) crc = (crc << 1) ^ (crc & 0x800000 ? 0x1864CFB : 0);
    }
    return crc & 0xFFFFFF;
}

// The good frames, whole (header to CRC).
inline std::vector<std::string> Rtcm3Frames(const std::string& bytes) {
    const auto* d = reinterpret_cast<const uint8_t*>(bytes.data());
    std::vector<std::string> frames;
    for (size_t i = 0; i + 6 <= bytes.size();) {
        const size_t at = i + 3 + ((static_cast<size_t>(d[i + 1] & 0x03) << 8) | d[i + 2]);  // of the CRC
        if (d[i] == 0xD3 && (d[i + 1] & 0xFC) == 0 && at + 3 <= bytes.size() &&
            Crc24q(d + i, at - i) == ((uint32_t{d[at]} << 16) | (uint32_t{d[at + 1]} << 8) | d[at + 2])) {
            frames.push_back(bytes.substr(i, at + 3 - i));
            i = at + 3;
        } else {
            ++i;
        }
    }
    return frames;
}

inline int CountRtcm3Frames(const std::string& bytes) { return static_cast<int>(Rtcm3Frames(bytes).size()); }

// True when the parity of a 30-bit word (d1..d30 from bit 29) fits D29*, D30* of the word
// before; `data` gets d1..d24, complemented back when D30* is set.
inline bool GpsWordParity(uint32_t word, int d29s, int d30s, uint32_t* data) {
    const uint32_t d = ((word >> 6) & 0xFFFFFF) ^ (d30s ? 0xFFFFFF : 0);
    // Data bits of each parity equation, d1 as the most significant of 24.
    static const uint32_t kMasks[6] = {0xEC7CD2, 0x763E69, 0xBB1F34, 0x5D8F9A, 0xAEC7CD, 0x2DEA27};
    const int star[6] = {d29s, d30s, d29s, d30s, d30s, d29s};
    uint32_t computed = 0;
    for (int k = 0; k < 6; ++k) computed = (computed << 1) | ((star[k] ^ std::popcount(d & kMasks[k])) & 1);
    if (computed != (word & 0x3F)) return false;
    if (data != nullptr) *data = d;
    return true;
}

inline int CountRtcm2Frames(const std::string& bytes) {
    // One entry per bit as sent, after D29* and D30* at zero.
    std::vector<uint8_t> bits = {0, 0};
    for (unsigned char c : bytes) {
        if ((c & 0xC0) != 0x40) continue;
        for (int i = 0; i < 6; ++i) bits.push_back((c >> i) & 1);
    }
    // The word at `at`, its parity chained to the two bits before it.
    auto good_at = [&bits](size_t at, uint32_t* data) {
        uint32_t w = 0;
        for (size_t i = 0; i < 30; ++i) w = (w << 1) | bits[at + i];
        return GpsWordParity(w, bits[at - 2], bits[at - 1], data);
    };
    int frames = 0;
    for (size_t p = 2; p + 60 <= bits.size();) {
        uint32_t h1 = 0, h2 = 0;
        bool good = good_at(p, &h1) && (h1 >> 16) == 0x66 && good_at(p + 30, &h2);
        const size_t words = good ? (h2 >> 3) & 0x1F : 0;
        good = good && p + 60 + 30 * words <= bits.size();
        for (size_t k = 0; good && k < words; ++k) good = good_at(p + 60 + 30 * k, nullptr);
        frames += good ? 1 : 0;
        p += good ? 60 + 30 * words : 1;
    }
    return frames;
}

}  // namespace zerlan::reference
