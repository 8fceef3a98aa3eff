// MISTY1 against RFC 2994's example, and the 4088/4089 codecs.
#include "encoder/EncoderData.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder/Rtcm3FrameBuilder.h"

namespace zerlan {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kKey = "0123456789abcdef";

TEST(Misty1, EncryptsAndDecryptsTheRfcExample) {
    CMisty1 m;
    ASSERT_EQ(m.MistySetKey(std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16)), 0);
    const struct { Bytes plain, cipher; } vectors[] = {
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}, {0x8b, 0x1d, 0xa5, 0xf5, 0x6a, 0xb3, 0xd0, 0x7c}},
        {{0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10}, {0x04, 0xb6, 0x82, 0x40, 0xb1, 0x3b, 0xe9, 0x5d}},
    };
    for (const auto& v : vectors) {
        Bytes out(8), back(8);
        m.MistyEncrypt(v.plain.data(), out.data());
        EXPECT_EQ(out, v.cipher);
        m.MistyDecrypt(out.data(), back.data());
        EXPECT_EQ(back, v.plain);
    }
}

TEST(Misty1, KeysOfAnyOtherLengthAreRefused) {
    CMisty1 m;
    for (const std::string key : {"", "0123456789abcde", "0123456789abcdef0"}) {
        EXPECT_EQ(m.MistySetKey(key), 1) << key.size();
        EXPECT_FALSE(m.HasKey());
    }
}

Bytes Random(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(gen());
    return b;
}

struct Codec {
    Codec(size_t n, unsigned seed) : input(Random(n, seed)) { encoder.PutRead(input.data(), input.size()); }
    const Bytes input;
    std::vector<Bytes> frames;
    EncoderData encoder{{0, kKey, 7, 1000}, [this](const uint8_t* f, size_t n) { frames.emplace_back(f, f + n); }};

    Bytes Decrypt(const std::string& key = kKey) {
        Bytes out;
        DecoderData decoder({0, key, 0, 0}, [&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
        for (const Bytes& f : frames)
            for (uint8_t b : f) decoder.PutByte(b);
        return out;
    }
};

TEST(EncoderData, TwentyBytesMakeOneMessageOfThreeBlocks) {
    Codec c(20, 1);
    ASSERT_EQ(c.frames.size(), 1u);
    const Bytes& f = c.frames[0];
    ASSERT_EQ(f.size(), 3u + 31 + 3);
    // Length 31 (8 x 3 blocks + 7); 4088, provider 7, key number 1000, encoder type 0, plain count 20.
    const Bytes header = {0xD3, 0x00, 0x1F, 0xFF, 0x80, 0x07, 0x3E, 0x80, 0x00, 0x14};
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 10), header);
    EXPECT_EQ(c.Decrypt(), c.input);
}

TEST(EncoderData, LongReadsAreSplitIntoMessagesOf127Blocks) {
    Codec c(1016 * 2 + 5, 2);
    std::vector<size_t> sizes;
    for (const Bytes& f : c.frames) sizes.push_back(f.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{1023 + 6, 1023 + 6, 15 + 6}));
    EXPECT_EQ(c.Decrypt(), c.input);
    EXPECT_NE(c.Decrypt("fedcba9876543210"), c.input);
}

TEST(DecoderData, FindsFramesAmongOtherDataAndReadsAnnouncements) {
    Codec c(100, 3);
    const Bytes other = CRtcm3FrameBuilder().U(12, 1005).U(12, 1).U(40, 0).Frame();
    const Bytes announce = CRtcm3FrameBuilder().U(12, 4089).U(12, 7).U(10, 1023).U(14, 10079).Frame();
    Bytes stream = {0xD3, 0x03, 0xE8, 0x01};  // a false preamble first
    for (const Bytes& f : {other, c.frames[0], announce}) stream.insert(stream.end(), f.begin(), f.end());
    Bytes out;
    std::vector<int> announced;
    DecoderData decoder(
        {0, kKey, 0, 0}, [&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); },
        [&](int provider, int week, int seconds) { announced = {provider, week, seconds}; });
    // The false preamble's length of 1000 must not hold back the frames behind it.
    for (uint8_t b : stream) decoder.PutByte(b);
    EXPECT_EQ(out, c.input);
    EXPECT_EQ(announced, (std::vector<int>{7, 1023, 10079 * 60}));
    EXPECT_EQ(decoder.MessagesDecrypted(), 1);
    EXPECT_EQ(decoder.FramesIgnored(), 1);
}

TEST(DecoderData, APlainCountBeyondTheBlocksIsLimitedToThem) {
    Codec c(16, 4);
    // Same two blocks, count raised to 65535, CRC made valid again.
    Bytes message(c.frames[0].begin() + 3, c.frames[0].end() - 3);
    message[5] = message[6] = 0xff;
    c.frames[0] = Rtcm3Frame(message);
    EXPECT_EQ(c.Decrypt(), c.input);
}

TEST(DecoderData, RandomFramesWithValidCrcNeverReadPastTheFrame) {
    std::mt19937 gen(5);
    DecoderData decoder({0, kKey, 0, 0}, [](const uint8_t*, size_t n) { EXPECT_LE(n, 1016u); });
    for (int i = 0; i < 2000; ++i) {
        Bytes message(gen() % 40);
        for (auto& b : message) b = static_cast<uint8_t>(gen());
        if (message.size() >= 2 && i % 2 == 0) {  // half of them claim to be 4088 or 4089
            message[0] = 0xFF;
            message[1] = static_cast<uint8_t>((i % 4 == 0 ? 0x80 : 0x90) | (message[1] & 0x0f));
        }
        for (uint8_t b : Rtcm3Frame(message)) decoder.PutByte(b);
    }
    EXPECT_GT(decoder.MessagesDecrypted() + decoder.Announcements(), 0);
}

}  // namespace
}  // namespace zerlan
