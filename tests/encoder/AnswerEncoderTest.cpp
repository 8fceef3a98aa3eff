// The GGA line a caster client sends back.
#include "encoder/AnswerEncoder.h"

#include <gtest/gtest.h>

#include <string>

namespace zerlan {
namespace {

int Feed(AnswerEncoder& e, const std::string& bytes) {
    int completed = 0;
    for (char c : bytes) completed += e.PutByte(c) == 2 ? 1 : 0;
    return completed;
}

std::string Commas(int n) { return std::string(static_cast<size_t>(n), ','); }

TEST(AnswerEncoder, KeepsOnlyCompleteGpggaLinesOfFifteenFields) {
    AnswerEncoder e;
    const std::string gga = "$GPGGA" + Commas(14) + "\r\n";
    EXPECT_EQ(Feed(e, gga.substr(0, gga.size() - 1)), 0);
    EXPECT_FALSE(e.LineComplete());
    EXPECT_EQ(Feed(e, "\n"), 1);
    EXPECT_EQ(e.LastGga(), gga);
    EXPECT_TRUE(e.LineComplete());
    // One field less or more, another talker, a prefix, an empty line: all ignored.
    EXPECT_EQ(Feed(e, "$GPGGA" + Commas(13) + "\n" + "$GPGGA" + Commas(15) + "\n" + "$GNGGA" + Commas(14) + "\n" +
                          "x$GPGGA" + Commas(14) + "\n" + "\n"),
              5);
    EXPECT_EQ(e.LastGga(), gga);
    // A NUL ends the kept text: what is left is no GGA line.
    AnswerEncoder f;
    Feed(f, gga.substr(0, 10) + '\0' + gga.substr(10));
    EXPECT_EQ(f.LastGga(), "");
}

TEST(AnswerEncoder, ALongLineIsCutAfterItsNineHundredNinetyNinthByte) {
    AnswerEncoder e;
    const std::string line = "$GPGGA" + Commas(14) + std::string(978, 'x');
    ASSERT_EQ(line.size(), 998u);
    EXPECT_EQ(Feed(e, line), 0);
    EXPECT_EQ(e.PutByte('y'), 2);
    EXPECT_EQ(e.LastGga(), line + "y");
    // The buffer starts empty again after a cut.
    EXPECT_EQ(Feed(e, std::string(5000, 'z')), 5);
    EXPECT_EQ(e.LastGga(), line + "y");
}

}  // namespace
}  // namespace zerlan
