// The decoders' formatter must print exactly what printf prints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "decoder/TextFormat.h"

namespace zerlan {
namespace {

template <typename... Args>
void ExpectSame(const char* format, Args... args) {
    char expected[512];
    std::snprintf(expected, sizeof expected, format, args...);
    EXPECT_EQ(FormatText(format, args...), expected) << format;
}

TEST(TextFormatTest, EqualsPrintfOnTheConversionsOfTheDecodedText) {
    std::mt19937_64 random(7);
    const char* doubles[] = {"% .12E", "%.3lf", "%.1lf", "%.4lf", "%.2lf", "%.5lf", "%.8lf", "%.7lf",
                             "%.0lf", "%.6lf", "%.17lf", "x%8.2fy", "%-9.1f|", "%+.3e", "%010.3f"};
    const char* ints[] = {"%i", "%02i", "%04i", "%4i", "%09d", "%03i", "%3i", "%2i", "%05i", "% i", "%-5d|", "%.3d"};
    for (int round = 0; round < 3000; ++round) {
        // Fields times power-of-two scales, halves to round, zeros of both signs, large values.
        const int64_t raw = static_cast<int64_t>(random() >> (random() % 64)) * (random() % 2 ? 1 : -1);
        const double scaled[] = {std::ldexp(static_cast<double>(raw), -static_cast<int>(random() % 60)),
                                 static_cast<double>(raw % 100000) * 0.02, (raw % 1000) + 0.5, (raw % 1000) * 0.0005,
                                 0.0, -0.0, 1e300 * (raw % 3)};
        for (double v : scaled)
            for (const char* f : doubles) ExpectSame(f, v);
        const int i = static_cast<int>(raw);
        for (const char* f : ints) ExpectSame(f, i);
        ExpectSame("%ld %5ld %u %c %s|%x", static_cast<long>(raw), static_cast<long>(raw % 99999),
                   static_cast<unsigned>(raw), 'A' + static_cast<int>(random() % 26), "text", static_cast<unsigned>(i));
    }
    ExpectSame("%s%%%s", "a", "b");
}

// Values near the limits of the exact fixed-point arithmetic either fit or are handed on, never cut.
TEST(TextFormatTest, RoundsHalvesToEvenAndHandsOnWhatDoesNotFit) {
    const double values[] = {0.125, 0.375, -0.125, 0.5, 1.5, 2.5, -2.5, 0.0005, 1.0005, 2.675,
                             1.0000000000000002, 184.46744073709551, 184.46744073709552, 1.8446744073709552e19,
                             1.8e19, 1.7999999999999998e19, 9.999999999999999e18, 1e19, 5e-324, 2.2250738585072014e-308,
                             -4e-4, -0.0, 4503599627370495.5, 9007199254740993.0, std::ldexp(1.0, 63),
                             std::ldexp(1.0, 64), INFINITY, -INFINITY, NAN};
    const char* formats[] = {"%.0f", "%.1f", "%.2f", "%.3lf", "%.5f", "%.17f", "%.18f", "%f", "%8.3f|", "%-12.1f|",
                             "%+.2f", "% .2f", "%012.4f"};
    for (double v : values)
        for (const char* f : formats) ExpectSame(f, v);
}

// Parsed formats are kept by address; what they cannot hold ('*', other conversions) goes the general way.
TEST(TextFormatTest, NoticesANewTextAtAKnownAddressAndFormatsTheRestAsPrintf) {
    char format[64];
    std::strcpy(format, "MT%04i SV %i %.3lfm%s");
    EXPECT_EQ(FormatText(format, 1004, 7, 1.25, "\r\n"), "MT1004 SV 7 1.250m\r\n");
    std::strcpy(format, "%s|%i");
    EXPECT_EQ(FormatText(format, "x", 2), "x|2");
    std::strcpy(format, "%s|%i|%%|%5.1f");
    EXPECT_EQ(FormatText(format, "y", 3, 0.25), "y|3|%|  0.2");
    for (int round = 0; round < 2; ++round) {
        ExpectSame("%*d|%-*.*f|%.*s|", 6, 42, 9, 2, 3.14159, 3, "abcdef");
        ExpectSame("%g %a %5.1f|%hd|%lld|%lu|%X", 1e-5, 0.5, 2.25, 70000, -1234567890123LL, 4000000000UL, 48879u);
    }
}

// Texts longer than the internal stage pass whole.
TEST(TextFormatTest, LongTextsPassWholeAndBufferedTextIsCutAsSnprintf) {
    const std::string long_text(5000, 'q');
    EXPECT_EQ(FormatText("<%s>%3000s%s|", long_text.c_str(), "x", long_text.c_str()),
              "<" + long_text + ">" + std::string(2999, ' ') + "x" + long_text + "|");
    EXPECT_EQ(FormatText("<%s>%-3000s%s|", long_text.c_str(), "x", long_text.c_str()),
              "<" + long_text + ">x" + std::string(2999, ' ') + long_text + "|");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatInto(buffer, 5, "%s-%i", "abcdef", 12), 9);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(buffer[5], '#');
    EXPECT_EQ(FormatInto(buffer, 0, "%i", 12345), 5);
    EXPECT_EQ(buffer[0], 'a');
    EXPECT_EQ(FormatInto(buffer, sizeof buffer, "%09d", 42), 9);
    EXPECT_STREQ(buffer, "0000000");
}

}  // namespace
}  // namespace zerlan
