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

TEST(AnswerEncoder, KeepsOnlyGpggaLinesOfFifteenFields) {
    AnswerEncoder e;
    const std::string gga = "$GPGGA" + Commas(14) + "\r\n";
    EXPECT_EQ(Feed(e, gga), 1);
    EXPECT_EQ(e.LastGga(), gga);
    EXPECT_TRUE(e.LineComplete());
    // One field less or more, another talker, a prefix: all ignored.
    EXPECT_EQ(Feed(e, "$GPGGA" + Commas(13) + "\n" + "$GPGGA" + Commas(15) + "\n" + "$GNGGA" + Commas(14) + "\n" +
                          "x$GPGGA" + Commas(14) + "\n" + "hello\n"),
              5);
    EXPECT_EQ(e.LastGga(), gga);
    EXPECT_EQ(e.TakeLine("$GPGGA,1,2"), 3);
}

TEST(AnswerEncoder, ALineIsReportedOnlyWhenComplete) {
    AnswerEncoder e;
    EXPECT_EQ(Feed(e, "$GPGGA" + Commas(14)), 0);
    EXPECT_FALSE(e.LineComplete());
    EXPECT_EQ(e.PutByte('\n'), 2);
    EXPECT_EQ(e.LastGga(), "$GPGGA" + Commas(14) + "\n");
    // An empty line is a line too.
    EXPECT_EQ(e.PutByte('\n'), 2);
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

TEST(AnswerEncoder, ANulEndsTheKeptText) {
    AnswerEncoder e;
    std::string bytes = "$GPGGA" + Commas(14) + "\r\n";
    bytes.insert(bytes.begin() + 10, '\0');
    Feed(e, bytes);
    EXPECT_EQ(e.LastGga(), "");
}

}  // namespace
}  // namespace zerlan
