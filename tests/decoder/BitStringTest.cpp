#include "decoder/BitString.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cmath>
#include <cstdio>

namespace zerlan {
namespace {

TEST(BitStringTest, ByteExpansionSaturatesSixBitFields) {
    EXPECT_EQ(ByteToBits8(0), "00000000");
    EXPECT_EQ(ByteToBits8(0xD3), "11010011");
    EXPECT_EQ(ByteToBits8(255), "11111111");
    EXPECT_EQ(ByteToBits6(5), "000101");
    EXPECT_EQ(ByteToBits6(62), "111110");
    EXPECT_EQ(ByteToBits6(63), "111111");
    EXPECT_EQ(ByteToBits6(64), "111111");
    EXPECT_EQ(ByteToBits6(224), "111111");
}

TEST(BitStringTest, ReverseAndComplement) {
    EXPECT_EQ(ReverseBits6("000101"), "101000");
    EXPECT_EQ(ReverseBits8("11010011"), "11001011");
    EXPECT_EQ(ReverseBits(""), "");
    EXPECT_EQ(ComplementBits("0110"), "1001");
    // Anything but '0' is treated as a zero bit and complements to '0'.
    EXPECT_EQ(ComplementBits("0x1"), "100");
}

TEST(BitStringTest, UnsignedConversions) {
    EXPECT_EQ(BitsToUInt(""), 0u);
    EXPECT_EQ(BitsToUInt("1"), 1u);
    EXPECT_EQ(BitsToUInt("110100110"), 422u);
    EXPECT_EQ(BitsToUInt("1x1"), 5u);  // stray characters count as zeros
    EXPECT_EQ(BitsToUInt("1" + std::string(32, '0') + "101"), 5u);  // modulo 2^32
    EXPECT_EQ(BitsToUInt(std::string(32, '1')), 0xFFFFFFFFu);
    EXPECT_EQ(BitsToByte("1"), 128u);
    EXPECT_EQ(BitsToByte("11010011"), 0xD3u);
    EXPECT_EQ(BitsToByte("110100111111"), 0xD3u);  // only eight characters read
    EXPECT_EQ(BitsToByte(""), 0u);
    EXPECT_DOUBLE_EQ(BitsToUDouble(std::string(38, '1')), 274877906943.0);
    EXPECT_DOUBLE_EQ(BitsToUDouble(""), 0.0);
}

TEST(BitStringTest, SignedConversions) {
    EXPECT_EQ(BitsToInt("1"), -1);
    EXPECT_EQ(BitsToInt("01"), 1);
    EXPECT_EQ(BitsToInt("1000"), -8);
    EXPECT_EQ(BitsToInt("1111"), -1);
    EXPECT_EQ(BitsToInt(""), 0);
    EXPECT_EQ(BitsToInt("1" + std::string(31, '0')), INT32_MIN);
    EXPECT_EQ(BitsToInt("0" + std::string(31, '1')), INT32_MAX);
    EXPECT_DOUBLE_EQ(BitsToDouble("1000"), -8.0);
    EXPECT_DOUBLE_EQ(BitsToDouble("1" + std::string(37, '0')), -137438953472.0);
    EXPECT_DOUBLE_EQ(BitsToDouble("0101"), 5.0);
    EXPECT_DOUBLE_EQ(BitsToSignMagDouble("1101"), -5.0);
    EXPECT_DOUBLE_EQ(BitsToSignMagDouble("0101"), 5.0);
    EXPECT_DOUBLE_EQ(BitsToSignMagDouble(""), 0.0);
}

TEST(BitStringTest, SignMagnitudeNegativeZeroKeepsItsSign) {
    double z = BitsToSignMagDouble("10");
    EXPECT_EQ(z, 0.0);
    EXPECT_TRUE(std::signbit(z));
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", z);
    EXPECT_STREQ(text, "-0.000");
}

std::string BytesToBits(std::initializer_list<uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) out += ByteToBits8(b);
    return out;
}

TEST(BitStringTest, Crc24OfEmptyFrameHeader) {
    // D3 00 00 is the header of an empty frame; its CRC-24Q is the well-known 47 EA 4B.
    EXPECT_EQ(Crc24(BytesToBits({0xD3, 0x00, 0x00})), BytesToBits({0x47, 0xEA, 0x4B}));
    const uint8_t hdr[] = {0xD3, 0x00, 0x00};
    EXPECT_EQ(Crc24Bytes(hdr, 3), 0x47EA4Bu);
    EXPECT_EQ(Crc24(""), std::string(24, '0'));
}

TEST(BitStringTest, Crc24ChunkStepsAgreeWithWholeStringForm) {
    // Drive the chunked division by hand over 5 bytes (one full chunk, one of 16 bits).
    std::string bits = BytesToBits({0xD3, 0x00, 0x13, 0x3E, 0xD7});
    std::string reg = kCrc24InitialRegister;
    Crc24Step(reg, "0" + bits.substr(0, 24));
    Crc24Step(reg, "0" + bits.substr(24));
    EXPECT_EQ(reg[0], '0');
    EXPECT_EQ(reg.substr(1), Crc24(bits));
    const uint8_t raw[] = {0xD3, 0x00, 0x13, 0x3E, 0xD7};
    EXPECT_EQ(BitsToUInt(Crc24(bits)), Crc24Bytes(raw, 5));
}

// Parity by the bit masks of the navigation-message interface (D29*, D30* in
// the top two bits of a 32-bit word, parity in the low six).
std::string WithParity(char d29s, char d30s, const std::string& source) {
    static const uint32_t kMasks[6] = {0xBB1F3480u, 0x5D8F9A40u, 0xAEC7CD00u,
                                       0x5763E680u, 0x6BB1F340u, 0x8B7A89C0u};
    uint32_t w = (d29s == '1' ? 1u << 31 : 0) | (d30s == '1' ? 1u << 30 : 0) |
                 (BitsToUInt(source) << 6);
    std::string parity;
    for (uint32_t m : kMasks) parity += (std::bitset<32>(w & m).count() % 2) ? '1' : '0';
    std::string received = d30s == '1' ? ComplementBits(source) : source;
    return std::string{d29s, d30s} + received + parity;
}

TEST(BitStringTest, WordParityAcceptsValidWordsAndRejectsFlips) {
    const std::string source = "011001101100101011110000";
    for (char d29s : {'0', '1'}) {
        std::string word = WithParity(d29s, '0', source) + "1101";
        std::string decoded;
        ASSERT_EQ(CheckWordParity(word, &decoded), 1) << d29s;
        EXPECT_EQ(decoded, word);
        for (size_t flip : {0u, 2u, 17u, 25u, 31u}) {
            std::string bad = word;
            bad[flip] = bad[flip] == '1' ? '0' : '1';
            EXPECT_EQ(CheckWordParity(bad, &decoded), 0) << flip;
        }
    }
    EXPECT_EQ(CheckWordParity(std::string(31, '0'), nullptr), 0);
}

TEST(BitStringTest, WordParityComplementsDataAfterSetD30) {
    const std::string source = "100010001111000011001010";
    std::string word = WithParity('0', '1', source);
    std::string decoded;
    ASSERT_EQ(CheckWordParity(word, &decoded), 1);
    EXPECT_EQ(decoded.substr(2, 24), source);
    EXPECT_EQ(decoded.substr(26), word.substr(26));
    // The same bits taken without the complement do not pass.
    std::string uncomplemented = "01" + source + word.substr(26);
    EXPECT_EQ(CheckWordParity(uncomplemented, &decoded), 0);
}

}  // namespace
}  // namespace zerlan
