// The RTCM 2 word check against parity computed independently.
#include "decoder/BitString.h"

#include <gtest/gtest.h>

#include <bitset>

namespace zerlan {
namespace {

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
