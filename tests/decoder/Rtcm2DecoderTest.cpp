#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Rtcm2TestSupport.h"
#include "decoder/BitString.h"
#include "decoder/TextFormat.h"

namespace zerlan {
namespace {

TEST(Rtcm2DecoderTest, StationFrameFillsHeaderAndStatusBoard) {
    // X = 398765432 x 0.01 m, Y = 63456789 x 0.01, Z = -1 x 0.01;
    // Z-count 5999 x 0.6 = 3599.4 s (largest allowed).
    Rtcm2Builder builder;
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{3, 77, 5999, 2, 1}, Coordinates(398765432, 63456789, -1).Bits()}}));
    ASSERT_EQ(h.MessageLines(), std::vector<std::string>{"MT03 Stat 77 ZCount 3599.4 X 3987654.320 Y 634567.890 Z -0.010 "});
    // Empty line, TM line ending in the PC clock, then the header line.
    EXPECT_EQ(h.text.rfind("\r\nTM Rtcm2.3 ", 0), 0u) << h.text;
    EXPECT_NE(h.text.find("\r\nMT03 Stat 77 Status 1 Sec 3599.4 Seq 2 Frame 4\r\n"), std::string::npos);
    const std::string slots[] = {h.out.slots[0], h.out.slots[1], h.out.slots[6], h.out.slots[9]};
    EXPECT_EQ(slots[0], "0077");
    EXPECT_EQ(slots[1], "3599.4");
    EXPECT_EQ(slots[2], "000000001");
    EXPECT_EQ(slots[3], "        Rtcm2.3");
    EXPECT_EQ(h.decoder.StationIdText(), "0077");
    EXPECT_EQ(h.out.frames, 1);
    EXPECT_TRUE(h.decoder.Locked());

    Rtcm2Builder fresh;
    Rtcm2Harness v21(0);
    v21.Feed(Stream6(fresh, {{{3, 1, 10, 0, 0}, Coordinates(1, 2, 3).Bits()}}));
    const std::string name = v21.out.slots[9];
    EXPECT_EQ(name, "        Rtcm2.1");
}

TEST(Rtcm2DecoderTest, BytesThatCarryNoDataAreSkippedIn6of8Mode) {
    // CR LF after every frame, and stray bytes whose top bits are not 01
    // inside the frames: every frame still decodes, none is shifted.
    Rtcm2Builder builder;
    std::string stream;
    for (int i = 0; i < 6; ++i) {
        std::string frame = ToBytes6(builder.Frame({3, 20 + i, 100 + i, i, 0}, Coordinates(i, 2, 3).Bits()));
        frame.insert(7, 1, static_cast<char>(i % 2 ? 0x0A : 0xC3));
        frame.insert(19, 1, static_cast<char>(0x80 + i));
        stream += frame + "\r\n";
    }
    Rtcm2Harness h;
    h.Feed(stream);
    h.decoder.Flush();
    EXPECT_EQ(h.decoder.FrameCount(), 6);
    EXPECT_EQ(h.MessageLines().size(), 6u) << h.text;
    EXPECT_EQ(h.results[7], -1);  // a skipped byte while searching
}

TEST(Rtcm2DecoderTest, TheEndOfInputDecidesAFrameWhoseLastWordIsIn) {
    // Without a byte after it the last frame stays pending; the end of the
    // input decides it, and a stream that goes on later loses no frame.
    Rtcm2Builder builder;
    Rtcm2Harness h;
    h.Feed(ToBytes6(builder.Frame({3, 5, 10, 0, 0}, Coordinates(1, 2, 3).Bits())));
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.decoder.Flush(), 1);
    EXPECT_EQ(h.decoder.Flush(), 0);
    h.Feed(Stream6(builder, {{{3, 6, 11, 1, 0}, Coordinates(4, 5, 6).Bits()}}));
    ASSERT_EQ(h.HeaderLines().size(), 2u) << h.text;
    EXPECT_EQ(h.HeaderLines()[1], "MT03 Stat 6 Status 0 Sec 6.6 Seq 1 Frame 4");
}

TEST(Rtcm2DecoderTest, OnlyFramesWithAValidHeaderAndAWriterPrint) {
    // A Z-count past the hour is no header; a type 1 without satellites is a
    // frame; a type without writer prints nothing and costs the next frame nothing.
    Rtcm2Builder builder;
    Rtcm2Header no_words{1, 1, 100, 0, 0};
    no_words.word_count = 0;
    Rtcm2Header no_words_no_writer{8, 1, 100, 0, 0};
    no_words_no_writer.word_count = 0;
    Rtcm2Bits eight;
    eight.U(0x123456, 24).U(0x654321, 24);
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{3, 1, 6000, 0, 0}, Coordinates(1, 2, 3).Bits()},
                             {no_words, ""},
                             {no_words_no_writer, ""},
                             {{8, 1, 1, 0, 0}, eight.Bits()},
                             {{3, 1, 2, 0, 0}, Coordinates(1, 2, 3).Bits()}}));
    EXPECT_EQ(h.HeaderLines(), (std::vector<std::string>{"MT01 Stat 1 Status 0 Sec 60.0 Seq 0 Frame 0",
                                                         "MT03 Stat 1 Status 0 Sec 1.2 Seq 0 Frame 4"}));
    EXPECT_EQ(h.MessageLines().size(), 1u);
}

TEST(Rtcm2DecoderTest, ParityFailureLosesSyncAndDropsTheFrame) {
    Rtcm2Builder builder;
    std::string bits = builder.Frame({3, 5, 100, 0, 0}, Coordinates(11, 22, 33).Bits());
    const size_t damaged = bits.size();
    bits += builder.Frame({3, 5, 101, 1, 0}, Coordinates(44, 55, 66).Bits());
    bits += builder.Frame({3, 5, 102, 2, 0}, Coordinates(77, 88, 99).Bits());
    // Flip a data bit of the second frame's fourth word (its second data word).
    const size_t at = damaged + 3 * 30 + 7;
    bits[at] = bits[at] == '1' ? '0' : '1';
    Rtcm2Harness h;
    h.Feed(ToBytes6(bits) + '\x40');
    EXPECT_EQ(h.MessageLines(), (std::vector<std::string>{"MT03 Stat 5 ZCount 60.0 X 0.110 Y 0.220 Z 0.330 ",
                                                          "MT03 Stat 5 ZCount 61.2 X 0.770 Y 0.880 Z 0.990 "}));
    // The byte that completed the bad word reports the loss (-1), not progress.
    EXPECT_EQ(h.results[(damaged + 4 * 30) / 6], -1);
    EXPECT_EQ(h.decoder.FrameCount(), 2);
}

TEST(Rtcm2DecoderTest, InvertedPreambleAfterD30SetIsFound) {
    // A first frame whose last parity bit is 1 sends the next preamble complemented.
    int z = 0;
    for (; z < 200; ++z) {
        Rtcm2Builder trial;
        trial.Frame({3, 9, z, 0, 0}, Coordinates(z, 0, 0).Bits());
        if (trial.D30() == '1') break;
    }
    ASSERT_LT(z, 200);
    Rtcm2Builder builder;
    std::string bits = builder.Frame({3, 9, z, 0, 0}, Coordinates(z, 0, 0).Bits());
    const size_t second = bits.size();
    bits += builder.Frame({3, 9, 300, 0, 0}, Coordinates(-5, -6, -7).Bits());
    ASSERT_EQ(bits.substr(second, 8), "10011001");
    Rtcm2Harness h;
    h.Feed(ToBytes6(bits) + '\x40');
    const auto lines = h.MessageLines();
    ASSERT_EQ(lines.size(), 2u) << h.text;
    EXPECT_EQ(lines[1], "MT03 Stat 9 ZCount 180.0 X -0.050 Y -0.060 Z -0.070 ");
}

TEST(Rtcm2DecoderTest, WrongWordCountIsReportedAndDropped) {
    Rtcm2Builder builder;
    Rtcm2Bits five = Coordinates(1, 2, 3);
    five.U(0, 24);
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{3, 1, 1, 0, 0}, five.Bits()}}));
    EXPECT_TRUE(h.MessageLines().empty());
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.out.logs, std::vector<std::string>{"Invalide Count of Frame at MT3 !\r\n"});
    EXPECT_NE(std::find(h.results.begin(), h.results.end(), -1), h.results.end());
}

TEST(Rtcm2DecoderTest, ByteModeFlipsOnlyWhenSixOfEightFindsNothing) {
    // Plain 8-bit bytes: nothing decodes in the first 500 bytes (6-of-8),
    // then the decoder tries 8-bit bytes and locks on the first frame.
    Rtcm2Builder builder;
    std::string bits;
    std::vector<std::pair<Rtcm2Header, std::string>> frames;
    for (int i = 0; i < 60; ++i) {
        frames.push_back({{3, 2, i, i % 8, 0}, Coordinates(i, i, i).Bits()});
        bits += builder.Frame(frames.back().first, frames.back().second);
    }
    const std::string bytes = ToBytes8(bits);
    Rtcm2Harness h;
    h.Feed(bytes.substr(0, 499));
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.decoder.ByteMode(), 6);
    h.Feed(bytes.substr(499));
    EXPECT_EQ(h.decoder.ByteMode(), 8);
    const auto lines = h.MessageLines();
    ASSERT_GT(lines.size(), 30u);
    // From the lock on, every frame decodes, in order (frame i has X = i cm).
    const int first = static_cast<int>(std::lround(std::stod(lines[0].substr(lines[0].find(" X ") + 3)) * 100));
    for (size_t i = 0; i < lines.size(); ++i) {
        const int k = first + static_cast<int>(i);
        EXPECT_EQ(lines[i], FormatText("MT03 Stat 2 ZCount %.1lf X %.3lf Y %.3lf Z %.3lf ", k * 0.6, k * 0.01,
                                       k * 0.01, k * 0.01));
    }
    // The same frames in 6-of-8 bytes lock at once and never flip.
    Rtcm2Builder again;
    Rtcm2Harness six;
    six.Feed(Stream6(again, frames));
    EXPECT_EQ(six.decoder.ByteMode(), 6);
    EXPECT_EQ(six.decoder.FrameCount(), 60);
}

TEST(Rtcm2WordCountTest, RowsFollowTheMessageLayouts) {
    struct Row {
        int type;
        std::vector<int> good, bad;
    };
    const Row rows[] = {
        {3, {4}, {3, 5}},     {32, {4}, {2}},        {4, {2, 4}, {1, 3, 5}}, {5, {1, 2, 31}, {}},  {33, {1, 9}, {}},
        {14, {1}, {2}},       {13, {2}, {1, 3}},     {37, {2}, {3}},         {22, {1, 2, 3}, {4}}, {24, {5, 6}, {4, 7}},
        {17, {20}, {19, 21}}, {1, {2, 31}, {1}},     {15, {2}, {1}},         {31, {2}, {1}},       {7, {3, 6}, {2}},
        {59, {3}, {2}},       {21, {3}, {2}},        {16, {1, 31}, {}},      {6, {1}, {}},
    };
    for (const Row& row : rows) {
        for (int n : row.good) EXPECT_TRUE(Rtcm2WordCountValid(row.type, n)) << row.type << " " << n;
        for (int n : row.bad) EXPECT_FALSE(Rtcm2WordCountValid(row.type, n)) << row.type << " " << n;
    }
}

}  // namespace
}  // namespace zerlan
