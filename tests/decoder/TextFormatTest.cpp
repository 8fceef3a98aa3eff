// The decoders' formatter must print exactly what printf prints for every
// conversion the decoded text uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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
        // Field values times power-of-two scales, halves that must round, zeros
        // of both signs and large values.
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

}  // namespace
}  // namespace zerlan
