// Field reads from bytes must equal the bit-string conversions, cuts at the frame end included.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "decoder/BitString.h"
#include "decoder/FrameBits.h"
#include "decoder/Rtcm2Builder.h"

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

TEST(BitStringTest, WordParityAcceptsValidWordsUndoesTheComplementAndRejectsFlips) {
    const std::string source = "011001101100101011110000";
    for (const char* chain : {"00", "10", "01", "11"}) {
        // The builder computes parity on integers, apart from the check under test.
        Rtcm2Builder builder;
        builder.SetChain(chain[0], chain[1]);
        const std::string word = chain + builder.Word(source) + "1101";
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
