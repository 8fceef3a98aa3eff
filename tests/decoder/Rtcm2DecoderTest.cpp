#include <gtest/gtest.h>

#include "Rtcm2TestSupport.h"
#include "decoder/BitString.h"

#include <algorithm>
#include <cmath>

namespace zerlan {
namespace {

// One word of fill: a null frame (type 6) needs at least one data word.
const std::string kFill = "101010101010101010101010";

// Type 1 correction of one satellite (40 bits).
Rtcm2Bits& Sat(Rtcm2Bits& b, int scale, int udre, int sv, int prc, int rrc, int iod) {
    return b.U(scale, 1).U(udre, 2).U(sv, 5).S(prc, 16).S(rrc, 8).U(iod, 8);
}

TEST(Rtcm2BuilderTest, WordsPassTheParityCheckAndChainAcrossWords) {
    Rtcm2Builder builder;
    std::string prev = "00";
    // Words with D30* of both polarities must check, and complemented data
    // must decode back to the source bits.
    for (uint32_t value : {0x000000u, 0xFFFFFFu, 0x123456u, 0xABCDEFu, 0x800001u}) {
        Rtcm2Bits bits;
        bits.U(value, 24);
        const std::string sent = builder.Word(bits.Bits());
        std::string decoded;
        ASSERT_EQ(CheckWordParity(prev + sent, &decoded), 1) << std::hex << value;
        EXPECT_EQ(decoded.substr(2, 24), bits.Bits());
        if (prev[1] == '1') {
            EXPECT_EQ(sent.substr(0, 24), ComplementBits(bits.Bits()));
        }
        prev = sent.substr(28, 2);
    }
}

TEST(Rtcm2BuilderTest, ParityMatchesHandComputedWord) {
    // All-zero data after D29* = D30* = 0 has all-zero parity; a single d1
    // bit enters D25, D27 and D29 (the sets that hold d1).
    EXPECT_EQ(Rtcm2Builder::Parity(0, 0, 0), 0u);
    EXPECT_EQ(Rtcm2Builder::Parity(0x800000, 0, 0), 0b101010u);
    // D29* alone enters D25, D27, D30; D30* alone D26, D28, D29.
    EXPECT_EQ(Rtcm2Builder::Parity(0, 1, 0), 0b101001u);
    EXPECT_EQ(Rtcm2Builder::Parity(0, 0, 1), 0b010110u);
}

TEST(Rtcm2BuilderTest, ByteRollPutsTheFirstBitLowest) {
    EXPECT_EQ(ToBytes6("100000"), std::string(1, '\x41'));
    EXPECT_EQ(ToBytes6("000001"), std::string(1, '\x60'));
    EXPECT_EQ(ToBytes8("10000000"), std::string(1, '\x01'));
}

TEST(Rtcm2DecoderTest, Type1FrameGivesSortedLines) {
    // Values: sat 12 scale 0, PRC 150 x 0.02 = 3.000 m, RRC -5 x 0.002 = -0.0100;
    // sat 3 scale 1: PRC -10 x 0.32 = -3.200, RRC 2 x 0.032 = 0.0640;
    // sat 0 means 32: PRC 1 x 0.02, RRC 0. Z-count 1000 x 0.6 = 600.0 s.
    Rtcm2Bits data;
    Sat(data, 0, 1, 12, 150, -5, 77);
    Sat(data, 1, 3, 3, -10, 2, 200);
    Sat(data, 0, 0, 0, 1, 0, 5);
    ASSERT_EQ(data.Words(), 5);
    Rtcm2Builder builder;
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{1, 123, 1000, 4, 0}, data.Bits()}, {{6, 123, 1001, 5, 0}, kFill}}));
    const auto lines = h.MessageLines();
    ASSERT_EQ(lines.size(), 3u) << h.text;
    EXPECT_EQ(lines[0], "MT01 SV 3 ZCount 600.0 FktPRC 0.320 FktRRC 0.0320 PRC -3.200 RRC 0.0640 IOD 200 UDRE "
                        "3_OSigDErr_>_8m");
    EXPECT_EQ(lines[1], "MT01 SV 12 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC 3.000 RRC -0.0100 IOD 77 UDRE "
                        "1_OSigDErr_>_1m_to_<=_4m");
    EXPECT_EQ(lines[2], "MT01 SV 32 ZCount 600.0 FktPRC 0.020 FktRRC 0.0020 PRC 0.020 RRC 0.0000 IOD 5 UDRE "
                        "0_OSigDErr_<=_1m");
    const auto headers = h.HeaderLines();
    ASSERT_GE(headers.size(), 2u);
    EXPECT_EQ(headers[0], "MT01 Stat 123 Status 0 Sec 600.0 Seq 4 Frame 5");
    EXPECT_EQ(h.decoder.FrameCount(), static_cast<int>(headers.size()));
    EXPECT_TRUE(h.decoder.Locked());
}

}  // namespace
}  // namespace zerlan

namespace zerlan {
namespace {

std::string Slot(const RecordingOutput& out, int slot) { return out.slots[slot]; }

Rtcm2Bits Coordinates(int64_t x, int64_t y, int64_t z) {
    Rtcm2Bits b;
    b.S(x, 32).S(y, 32).S(z, 32);
    return b;
}

TEST(Rtcm2DecoderTest, StationFrameFillsHeaderAndStatusBoard) {
    // X = 398765432 x 0.01 m = 3987654.320, Y = 63456789 x 0.01 = 634567.890,
    // Z = -1 x 0.01 = -0.010. Z-count 5999 x 0.6 = 3599.4 s (largest allowed).
    Rtcm2Builder builder;
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{3, 77, 5999, 2, 1}, Coordinates(398765432, 63456789, -1).Bits()}}));
    const auto lines = h.MessageLines();
    ASSERT_EQ(lines.size(), 1u) << h.text;
    EXPECT_EQ(lines[0], "MT03 Stat 77 ZCount 3599.4 X 3987654.320 Y 634567.890 Z -0.010 ");
    // Empty line, TM line ending in the PC clock, then the header line.
    EXPECT_EQ(h.text.rfind("\r\nTM Rtcm2.3 ", 0), 0u) << h.text;
    EXPECT_NE(h.text.find("\r\nMT03 Stat 77 Status 1 Sec 3599.4 Seq 2 Frame 4\r\n"), std::string::npos);
    EXPECT_EQ(Slot(h.out, 0), "0077");
    EXPECT_EQ(Slot(h.out, 1), "3599.4");
    EXPECT_EQ(Slot(h.out, 6), "000000001");
    EXPECT_EQ(Slot(h.out, 9), "        Rtcm2.3");
    EXPECT_EQ(Slot(h.out, 7).size(), 5u);
    EXPECT_EQ(h.decoder.StationIdText(), "0077");
    EXPECT_EQ(h.out.frames, 1);
    EXPECT_EQ(h.decoder.SearchCount(), 0);
}

TEST(Rtcm2DecoderTest, ResultCodesFollowTheFrame) {
    Rtcm2Builder builder;
    Rtcm2Harness h(0);
    h.Feed(Stream6(builder, {{{3, 1, 10, 0, 0}, Coordinates(1, 2, 3).Bits()}}));
    // 4 words of data: sync (3), then 4 x (4 waits + 2), the last word completes.
    std::vector<int> tail(h.results.end() - 21, h.results.end());
    EXPECT_EQ(tail[0], 3);
    for (int w = 0; w < 4; ++w) {
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(tail[w * 5 + i], 4);
        EXPECT_EQ(tail[w * 5 + 5], 2);
    }
    EXPECT_NE(h.text.find("Rtcm2.3"), std::string::npos);  // estimator name
    EXPECT_EQ(Slot(h.out, 9), "        Rtcm2.1");
    EXPECT_EQ(Slot(h.out, 0), "0001");
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

TEST(Rtcm2DecoderTest, HeaderWithZCountAboveHourIsRejectedAFrameWithoutWordsIsNot) {
    Rtcm2Builder builder;
    Rtcm2Harness h;
    Rtcm2Header bad_z{3, 1, 6000, 0, 0};
    Rtcm2Header no_words{1, 1, 100, 0, 0};  // type 1 with no satellite
    no_words.word_count = 0;
    Rtcm2Header no_words_no_writer{8, 1, 100, 0, 0};
    no_words_no_writer.word_count = 0;
    h.Feed(Stream6(builder, {{bad_z, Coordinates(1, 2, 3).Bits()}, {no_words, ""}, {no_words_no_writer, ""}}));
    EXPECT_EQ(h.decoder.FrameCount(), 1);
    EXPECT_TRUE(h.MessageLines().empty());
    ASSERT_EQ(h.HeaderLines().size(), 1u);
    EXPECT_EQ(h.HeaderLines()[0], "MT01 Stat 1 Status 0 Sec 60.0 Seq 0 Frame 0");
    EXPECT_GE(std::count(h.results.begin(), h.results.end(), 0), 2);
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
    const auto lines = h.MessageLines();
    ASSERT_EQ(lines.size(), 2u) << h.text;
    EXPECT_EQ(lines[0], "MT03 Stat 5 ZCount 60.0 X 0.110 Y 0.220 Z 0.330 ");
    EXPECT_EQ(lines[1], "MT03 Stat 5 ZCount 61.2 X 0.770 Y 0.880 Z 0.990 ");
    // The byte that completed the bad word reports the loss (-1), not progress.
    const size_t bad_byte = (damaged + 4 * 30) / 6;  // the byte after the bad word's last
    EXPECT_EQ(h.results[bad_byte], -1);
    EXPECT_EQ(h.decoder.FrameCount(), 2);
}

TEST(Rtcm2DecoderTest, InvertedPreambleAfterD30SetIsFound) {
    // Search a first frame whose last parity bit is 1, so that the next
    // preamble goes out complemented.
    Rtcm2Builder builder;
    std::string bits;
    int z = 0;
    for (; z < 200; ++z) {
        Rtcm2Builder trial;
        trial.Frame({3, 9, z, 0, 0}, Coordinates(z, 0, 0).Bits());
        if (trial.D30() == '1') break;
    }
    ASSERT_LT(z, 200);
    bits += builder.Frame({3, 9, z, 0, 0}, Coordinates(z, 0, 0).Bits());
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
    ASSERT_EQ(h.out.logs.size(), 1u);
    EXPECT_EQ(h.out.logs[0], "Invalide Count of Frame at MT3 !\r\n");
    EXPECT_NE(std::find(h.results.begin(), h.results.end(), -1), h.results.end());
}

TEST(Rtcm2DecoderTest, TypeWithoutWriterIsDroppedAndNextFrameDecoded) {
    Rtcm2Builder builder;
    Rtcm2Harness h;
    Rtcm2Bits eight;
    eight.U(0x123456, 24).U(0x654321, 24);
    h.Feed(Stream6(builder, {{{8, 1, 1, 0, 0}, eight.Bits()}, {{3, 1, 2, 0, 0}, Coordinates(1, 2, 3).Bits()}}));
    const auto lines = h.MessageLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 4), "MT03");
    EXPECT_EQ(h.HeaderLines().size(), 1u);
}

TEST(Rtcm2DecoderTest, ByteModeFlipsUntilAFrameLocksIt) {
    // Plain 8-bit bytes: nothing decodes in the first 500 bytes (6-of-8),
    // then the decoder tries 8-bit bytes and locks on the first frame.
    Rtcm2Builder builder;
    std::string bits;
    for (int i = 0; i < 60; ++i) bits += builder.Frame({3, 2, i, i % 8, 0}, Coordinates(i, i, i).Bits());
    const std::string bytes = ToBytes8(bits);
    ASSERT_GT(bytes.size(), 1000u);
    Rtcm2Harness h;
    h.Feed(bytes.substr(0, 499));
    EXPECT_EQ(h.decoder.FrameCount(), 0);
    EXPECT_EQ(h.decoder.ByteMode(), 6);
    h.Feed(bytes.substr(499));
    EXPECT_EQ(h.decoder.ByteMode(), 8);
    EXPECT_TRUE(h.decoder.Locked());
    const auto lines = h.MessageLines();
    ASSERT_GT(lines.size(), 30u);
    // From the lock on, every frame decodes, in order (frame i has X = i cm).
    const int first = static_cast<int>(std::lround(std::stod(lines[0].substr(lines[0].find(" X ") + 3)) * 100));
    for (size_t i = 0; i < lines.size(); ++i) {
        const int k = first + static_cast<int>(i);
        EXPECT_EQ(lines[i], FormatText("MT03 Stat 2 ZCount %.1lf X %.3lf Y %.3lf Z %.3lf ", k * 0.6, k * 0.01,
                                        k * 0.01, k * 0.01));
    }
}

TEST(Rtcm2DecoderTest, SixOfEightStreamLocksBeforeTheFirstFlip) {
    Rtcm2Builder builder;
    std::vector<std::pair<Rtcm2Header, std::string>> frames;
    for (int i = 0; i < 40; ++i) frames.push_back({{3, 2, i, 0, 0}, Coordinates(i, 0, 0).Bits()});
    Rtcm2Harness h;
    h.Feed(Stream6(builder, frames));
    EXPECT_EQ(h.decoder.ByteMode(), 6);
    EXPECT_EQ(h.decoder.FrameCount(), 40);
}

}  // namespace
}  // namespace zerlan

namespace zerlan {
namespace {

TEST(Rtcm2WordCountTest, RowsFollowTheMessageLayouts) {
    struct Row {
        int type;
        std::vector<int> good, bad;
    };
    const Row rows[] = {
        {3, {4}, {3, 5}},        {32, {4}, {2}},          {4, {2, 4}, {1, 3, 5}},   {5, {1, 2, 31}, {}},
        {33, {1, 9}, {}},        {14, {1}, {2}},           {13, {2}, {1, 3}},        {37, {2}, {3}},
        {22, {1, 2, 3}, {4}},    {24, {5, 6}, {4, 7}},     {17, {20}, {19, 21}},     {1, {2, 31}, {1}},
        {15, {2}, {1}},          {31, {2}, {1}},           {7, {3, 6}, {2}},         {59, {3}, {2}},
        {21, {3}, {2}},          {16, {1, 31}, {}},        {6, {1}, {}},
    };
    for (const Row& row : rows) {
        for (int n : row.good) EXPECT_TRUE(Rtcm2WordCountValid(row.type, n)) << row.type << " " << n;
        for (int n : row.bad) EXPECT_FALSE(Rtcm2WordCountValid(row.type, n)) << row.type << " " << n;
    }
}

TEST(Rtcm2WordCountTest, HealthOfSeveralSatellitesDecodes) {
    Rtcm2Bits b;
    for (int sv : {7, 3}) b.U(0, 1).U(sv, 5).U(0, 18);
    Rtcm2Builder builder;
    Rtcm2Harness h;
    h.Feed(Stream6(builder, {{{5, 1, 1, 0, 0}, b.Bits()}}));
    const auto lines = h.MessageLines();
    ASSERT_EQ(lines.size(), 2u) << h.text;
    EXPECT_EQ(lines[0].substr(0, 10), "MT05 SV 3 ");
    EXPECT_EQ(lines[1].substr(0, 10), "MT05 SV 7 ");
}

}  // namespace
}  // namespace zerlan
