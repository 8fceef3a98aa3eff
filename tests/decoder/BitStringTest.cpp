// The bit-string conversions are the reference the byte field reads are
// checked against (FrameBitsTest), and the RTCM 2 word check.
#include "decoder/BitString.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cmath>

namespace zerlan {
namespace {

TEST(BitStringTest, ConversionsAtTheirEdges) {
    EXPECT_EQ(BitsToUInt(""), 0u);
    EXPECT_EQ(BitsToUInt("110100110"), 422u);
    EXPECT_EQ(BitsToUInt("1" + std::string(32, '0') + "101"), 5u);  // modulo 2^32
    EXPECT_EQ(BitsToUInt(std::string(32, '1')), 0xFFFFFFFFu);
    EXPECT_EQ(BitsToByte("110100111111"), 0xD3u);  // only eight characters read
    EXPECT_EQ(BitsToByte("1"), 128u);
    EXPECT_DOUBLE_EQ(BitsToUDouble(std::string(38, '1')), 274877906943.0);
    EXPECT_EQ(BitsToInt("1"), -1);
    EXPECT_EQ(BitsToInt("01"), 1);
    EXPECT_EQ(BitsToInt("1" + std::string(31, '0')), INT32_MIN);
    EXPECT_EQ(BitsToInt("0" + std::string(31, '1')), INT32_MAX);
    EXPECT_DOUBLE_EQ(BitsToDouble("1" + std::string(37, '0')), -137438953472.0);
    EXPECT_DOUBLE_EQ(BitsToDouble("0101"), 5.0);
    EXPECT_DOUBLE_EQ(BitsToSignMagDouble("1101"), -5.0);
    EXPECT_DOUBLE_EQ(BitsToSignMagDouble(""), 0.0);
    // Sign-magnitude negative zero keeps its sign, so it prints as -0.
    const double z = BitsToSignMagDouble("10");
    EXPECT_EQ(z, 0.0);
    EXPECT_TRUE(std::signbit(z));
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
