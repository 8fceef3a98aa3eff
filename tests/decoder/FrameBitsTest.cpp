// The decoder reads fields from bytes; the bit-string conversions define
// the results. Both must agree on every field, including cuts at the end.
// The RTCM 2 word check against parity computed independently.
#include <gtest/gtest.h>

#include <bitset>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "decoder/BitString.h"
#include "decoder/FrameBits.h"

namespace zerlan {
namespace {

bool SameDouble(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

TEST(FrameBitsTest, FieldsEqualTheBitStringConversionsOnRandomFrames) {
    std::mt19937 random(20240517);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(1 + random() % 40);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        if (round % 5 == 0) bytes.assign(bytes.size(), round % 10 == 0 ? 0x80 : 0x00);  // sign-only fields
        std::string text;
        for (uint8_t b : bytes) text += ByteToBits8(b);
        const int n = static_cast<int>(text.size());
        const FrameBits frame(bytes.data(), n);
        for (int probe = 0; probe < 200; ++probe) {
            const int from = 1 + static_cast<int>(random() % (n + 8));
            const int to = from + static_cast<int>(random() % 70) - 2;
            std::string_view cut;
            if (from >= 1 && to >= from && from <= n) cut = std::string_view(text).substr(from - 1, std::min(to, n) - from + 1);
            EXPECT_EQ(frame.U(from, to), BitsToUInt(cut)) << from << ".." << to;
            EXPECT_TRUE(SameDouble(frame.UD(from, to), BitsToUDouble(cut))) << from << ".." << to;
            EXPECT_TRUE(SameDouble(frame.S(from, to), BitsToDouble(cut))) << from << ".." << to;
            EXPECT_TRUE(SameDouble(frame.M(from, to), BitsToSignMagDouble(cut))) << from << ".." << to;
            const std::string_view byte = from <= n ? std::string_view(text).substr(from - 1, 8) : std::string_view();
            EXPECT_EQ(frame.Byte(from), BitsToByte(byte)) << from;
        }
    }
}

// Parity by the bit masks of the navigation-message interface (D29*, D30* in
// the top two bits of a 32-bit word, parity in the low six).
std::string WithParity(char d29s, char d30s, const std::string& source) {
    static const uint32_t kMasks[6] = {0xBB1F3480u, 0x5D8F9A40u, 0xAEC7CD00u, 0x5763E680u, 0x6BB1F340u, 0x8B7A89C0u};
    const uint32_t w = (d29s == '1' ? 1u << 31 : 0) | (d30s == '1' ? 1u << 30 : 0) | (BitsToUInt(source) << 6);
    std::string parity;
    for (uint32_t m : kMasks) parity += (std::bitset<32>(w & m).count() % 2) ? '1' : '0';
    return std::string{d29s, d30s} + (d30s == '1' ? ComplementBits(source) : source) + parity;
}

TEST(BitStringTest, WordParityAcceptsValidWordsUndoesTheComplementAndRejectsFlips) {
    const std::string source = "011001101100101011110000";
    for (const char* chain : {"00", "10", "01", "11"}) {
        const std::string word = WithParity(chain[0], chain[1], source) + "1101";
        std::string decoded;
        ASSERT_EQ(CheckWordParity(word, &decoded), 1) << chain;
        EXPECT_EQ(decoded.substr(2, 24), source) << chain;
        EXPECT_EQ(decoded.substr(26), word.substr(26));
        for (size_t flip : {0u, 1u, 2u, 17u, 25u, 31u}) {
            std::string bad = word;
            bad[flip] = bad[flip] == '1' ? '0' : '1';
            EXPECT_EQ(CheckWordParity(bad, &decoded), 0) << chain << " " << flip;
        }
    }
    EXPECT_EQ(CheckWordParity(std::string(31, '0'), nullptr), 0);
}

}  // namespace
}  // namespace zerlan
