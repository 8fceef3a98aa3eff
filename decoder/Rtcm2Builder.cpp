#include "decoder/Rtcm2Builder.h"

#include <bit>

namespace zerlan {

Rtcm2Bits& Rtcm2Bits::U(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1U) ? '1' : '0');
    return *this;
}

Rtcm2Bits& Rtcm2Bits::Chars(std::string_view text) {
    for (char c : text) U(static_cast<uint8_t>(c), 8);
    return *this;
}

Rtcm2Bits& Rtcm2Bits::Raw(std::string_view bits) {
    bits_.append(bits);
    return *this;
}

uint32_t Rtcm2Builder::Parity(uint32_t data24, int d29, int d30) {
    // ICD-GPS-200 parity masks over D29*, D30*, d1..d24 (bits 31..6).
    static constexpr uint32_t kMasks[6] = {0xBB1F3480u, 0x5D8F9A40u, 0xAEC7CD00u,
                                           0x5763E680u, 0x6BB1F340u, 0x8B7A89C0u};
    const uint32_t word = (static_cast<uint32_t>(d29 & 1) << 31) | (static_cast<uint32_t>(d30 & 1) << 30) |
                          ((data24 & 0xFFFFFFu) << 6);
    uint32_t parity = 0;
    for (uint32_t mask : kMasks) parity = (parity << 1) | (std::popcount(word & mask) & 1U);
    return parity;
}

std::string Rtcm2Builder::Word(std::string_view data24) {
    uint32_t data = 0;
    for (int i = 0; i < 24; ++i) data = (data << 1) | (i < static_cast<int>(data24.size()) && data24[i] == '1');
    const uint32_t parity = Parity(data, d29_ == '1', d30_ == '1');
    const uint32_t sent = d30_ == '1' ? (~data & 0xFFFFFFu) : data;
    std::string out;
    out.reserve(30);
    for (int i = 23; i >= 0; --i) out.push_back(((sent >> i) & 1U) ? '1' : '0');
    for (int i = 5; i >= 0; --i) out.push_back(((parity >> i) & 1U) ? '1' : '0');
    d29_ = out[28];
    d30_ = out[29];
    return out;
}

std::string Rtcm2Builder::Frame(const Rtcm2Header& h, std::string_view data_bits) {
    std::string data(data_bits);
    const size_t words = (data.size() + 23) / 24;
    for (size_t i = data.size(); i < words * 24; ++i) data.push_back(i % 2 == 0 ? '1' : '0');
    const int count = h.word_count >= 0 ? h.word_count : static_cast<int>(words);

    Rtcm2Bits w1, w2;
    w1.U(0x66, 8).U(h.type, 6).U(h.station, 10);
    w2.U(h.zcount, 13).U(h.sequence, 3).U(count, 5).U(h.health, 3);
    std::string out = Word(w1.Bits());
    out += Word(w2.Bits());
    for (size_t i = 0; i < words; ++i) out += Word(std::string_view(data).substr(i * 24, 24));
    return out;
}

std::string ToBytes6(std::string_view bits) {
    std::string out;
    for (size_t i = 0; i < bits.size(); i += 6) {
        int value = 0;
        for (size_t k = 0; k < 6 && i + k < bits.size(); ++k)
            if (bits[i + k] == '1') value |= 1 << k;
        out.push_back(static_cast<char>(0x40 | value));
    }
    return out;
}

std::string ToBytes8(std::string_view bits) {
    std::string out;
    for (size_t i = 0; i < bits.size(); i += 8) {
        int value = 0;
        for (size_t k = 0; k < 8 && i + k < bits.size(); ++k)
            if (bits[i + k] == '1') value |= 1 << k;
        out.push_back(static_cast<char>(value));
    }
    return out;
}

}  // namespace zerlan
