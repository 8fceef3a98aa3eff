#include "decoder/BitString.h"

namespace zerlan {
namespace {

// Weight by weight, so values beyond the field saturate instead of wrapping.
std::string ByteToBits(unsigned value, int width) {
    std::string out(width, '0');
    unsigned remaining = value;
    for (int k = width - 1; k >= 0; --k) {
        unsigned weight = 1u << k;
        if (weight <= remaining) {
            out[width - 1 - k] = '1';
            remaining -= weight;
        }
    }
    return out;
}

constexpr uint32_t kCrc24Poly = 0x864CFB;  // generator 0x1864CFB without x^24

uint32_t Crc24Bit(uint32_t crc, bool bit) {
    bool top = ((crc >> 23) & 1u) != (bit ? 1u : 0u);
    crc = (crc << 1) & 0xFFFFFFu;
    return top ? crc ^ kCrc24Poly : crc;
}

}  // namespace

std::string ByteToBits8(uint8_t value) { return ByteToBits(value, 8); }
std::string ByteToBits6(uint8_t value) { return ByteToBits(value, 6); }

std::string ReverseBits(std::string_view bits) {
    return std::string(bits.rbegin(), bits.rend());
}

std::string ComplementBits(std::string_view bits) {
    std::string out(bits.size(), '0');
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '0') out[i] = '1';
    return out;
}

uint32_t BitsToByte(std::string_view bits) {
    uint32_t value = 0;
    for (size_t i = 0; i < bits.size() && i < 8 && bits[i] != '\0'; ++i)
        if (bits[i] == '1') value += 1u << (7 - i);
    return value;
}

uint32_t BitsToUInt(std::string_view bits) {
    uint32_t value = 0;
    for (char c : bits) value = (value << 1) + (c == '1' ? 1u : 0u);
    return value;
}

int32_t BitsToInt(std::string_view bits) {
    if (bits.empty()) return 0;
    uint32_t value = BitsToUInt(bits.substr(1));
    if (bits[0] == '1') {
        size_t n = bits.size();
        uint32_t top = n - 1 < 32 ? (1u << (n - 1)) : 0u;
        value -= top;
    }
    return static_cast<int32_t>(value);
}

double BitsToUDouble(std::string_view bits) {
    double value = 0.0;
    for (char c : bits) value = value * 2.0 + (c == '1' ? 1.0 : 0.0);
    return value;
}

double BitsToDouble(std::string_view bits) {
    if (bits.empty()) return 0.0;
    double value = BitsToUDouble(bits.substr(1));
    if (bits[0] == '1') {
        double top = 1.0;
        for (size_t i = 1; i < bits.size(); ++i) top *= 2.0;
        value -= top;
    }
    return value;
}

double BitsToSignMagDouble(std::string_view bits) {
    if (bits.empty()) return 0.0;
    double magnitude = BitsToUDouble(bits.substr(1));
    return bits[0] == '1' ? magnitude * -1.0 : magnitude;
}

void Crc24Step(std::string& reg, std::string_view chunk) {
    std::string padded(chunk.substr(0, 25));
    size_t m = padded.size();
    padded.resize(25, '0');
    reg.resize(25, '0');
    std::string t(25, '0');
    for (size_t i = 0; i < 25; ++i) t[i] = reg[i] != padded[i] ? '1' : '0';
    for (size_t s = 0; s + 1 < m; ++s) {
        t.erase(0, 1);
        t.push_back('0');
        if (t[0] == '1') {
            for (size_t i = 0; i < 25; ++i) t[i] = kCrc24Polynomial[i] != t[i] ? '1' : '0';
        }
    }
    reg = t;
}

// Bit-serial form of the chunked division above; both give the same register.
std::string Crc24(std::string_view bits) {
    uint32_t crc = 0;
    for (char c : bits) crc = Crc24Bit(crc, c == '1');
    std::string out(24, '0');
    for (int i = 0; i < 24; ++i)
        if ((crc >> (23 - i)) & 1u) out[i] = '1';
    return out;
}

uint32_t Crc24Bytes(const uint8_t* data, size_t length) {
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i)
        for (int b = 7; b >= 0; --b) crc = Crc24Bit(crc, (data[i] >> b) & 1u);
    return crc;
}

int CheckWordParity(std::string_view word, std::string* decoded) {
    if (word.size() < 32) return 0;
    const char d29s = word[0];
    const char d30s = word[1];
    std::string data(word.substr(2, 24));
    if (d30s == '1') data = ComplementBits(data);
    std::string_view received = word.substr(26, 6);

    // Data-bit indices (1-based) per parity bit; D29* or D30* joins as noted.
    static const int kSets[6][16] = {
        {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23, 0},
        {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24, 0},
        {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22, 0},
        {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23, 0},
        {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24},
        {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24, 0},
    };
    static const bool kUsesD29[6] = {true, false, true, false, false, true};

    std::string computed(6, '0');
    for (int p = 0; p < 6; ++p) {
        // Counted as character codes minus '0', as the receivers do.
        int count = (kUsesD29[p] ? d29s : d30s) - '0';
        for (int k = 0; k < 16 && kSets[p][k] != 0; ++k) count += data[kSets[p][k] - 1] - '0';
        if (count % 2 != 0) computed[p] = '1';
    }
    if (computed != received) return 0;
    if (decoded != nullptr) {
        decoded->clear();
        decoded->push_back(d29s);
        decoded->push_back(d30s);
        decoded->append(data);
        decoded->append(received);
        decoded->append(word.substr(32));
    }
    return 1;
}

}  // namespace zerlan
