#include "decoder/StringAnalyser.h"

#include <gtest/gtest.h>

namespace zerlan {
namespace {

TEST(StringAnalyserTest, SubStringForwardBackwardAndOutOfRange) {
    CStringAnalyser sa;
    EXPECT_EQ(sa.SubString(2, 4, "abcdefg"), 1);
    EXPECT_EQ(sa.Field(0), "bcd");
    sa.SubString(5, 3, "abcdefg");
    EXPECT_EQ(sa.Field(0), "edc");
    sa.SubString(3, 50, "abcdefg");
    EXPECT_EQ(sa.Field(0), "cdefg");
    sa.SubString(50, 6, "abcdefg");
    EXPECT_EQ(sa.Field(0), "gf");
    sa.SubString(0, 3, "abcdefg");
    EXPECT_EQ(sa.Field(0), "");
    sa.SubString(8, 9, "abcdefg");
    EXPECT_EQ(sa.Field(0), "");
    sa.SubString(1, 5, std::string(10000, 'x'));
    EXPECT_EQ(sa.Field(0), "");
    sa.SubString(1, 5000, std::string(5000, 'x'));
    EXPECT_EQ(sa.Field(0).size(), 999u);
}

TEST(StringAnalyserTest, FindPatternWithinStartRange) {
    CStringAnalyser sa;
    const std::string text = "0011010011011010011";
    EXPECT_EQ(sa.FindPattern(text, "11010011", 1, 12), 3);
    EXPECT_EQ(sa.FindPattern(text, "11010011", 4, 12), 12);
    EXPECT_EQ(sa.FindPattern(text, "11010011", 4, 11), 0);
    // A start near the end must not match a pattern that runs off the text.
    EXPECT_EQ(sa.FindPattern(text, "0111", 17, 19), 0);
    EXPECT_EQ(sa.FindPattern(text, "", 1, 3), 0);
    EXPECT_EQ(sa.FindPattern("", "1", 1, 1), 0);
    EXPECT_EQ(sa.FindPattern("01", "011", 1, 1), 0);
    EXPECT_EQ(sa.FindPattern(text, "1", 1, 20), 0);  // `to` beyond the end
}

TEST(StringAnalyserTest, PadLeft) {
    CStringAnalyser sa;
    EXPECT_EQ(sa.PadLeft('0', 9, "17"), 1);
    EXPECT_EQ(sa.Field(0), "000000017");
    EXPECT_EQ(sa.PadLeft(' ', 3, "12345"), 1);
    EXPECT_EQ(sa.Field(0), "12345");
    EXPECT_EQ(sa.PadLeft('0', 9, ""), 1);
    EXPECT_EQ(sa.Field(0), "");
    EXPECT_EQ(sa.PadLeft('0', 5, std::string(999, 'a')), 0);
    EXPECT_EQ(sa.Field(0), "");
}

TEST(StringAnalyserTest, SplitOnBlanksCollapsesRunsAndStopsAtLineEnd) {
    CStringAnalyser sa;
    EXPECT_EQ(sa.Split(' ', "  MT1004  \t G01   123.5\r\nnext line"), 3);
    EXPECT_EQ(sa.Field(0), "MT1004");
    EXPECT_EQ(sa.Field(1), "G01");
    EXPECT_EQ(sa.Field(2), "123.5");
    EXPECT_EQ(sa.Field(3), "");
    EXPECT_EQ(sa.Split(' ', ""), 0);
    EXPECT_EQ(sa.Split(' ', "   \r\n"), 0);
    EXPECT_EQ(sa.Field(0), "");  // earlier results are cleared
}

TEST(StringAnalyserTest, SplitOnOtherSeparatorKeepsEmptyFieldsAndTabs) {
    CStringAnalyser sa;
    EXPECT_EQ(sa.Split(',', "a,,b\tc,d"), 4);
    EXPECT_EQ(sa.Field(1), "");
    EXPECT_EQ(sa.Field(2), "b\tc");
    EXPECT_EQ(sa.Split(',', ",x\n,y"), 2);
    EXPECT_EQ(sa.Field(0), "");
    EXPECT_EQ(sa.Field(1), "x");
}

TEST(StringAnalyserTest, SplitLimitsFieldCountAndLength) {
    CStringAnalyser sa;
    std::string many;
    for (int i = 0; i < 250; ++i) many += "w ";
    EXPECT_EQ(sa.Split(' ', many), 200);
    EXPECT_EQ(sa.Field(199), "w");
    EXPECT_EQ(sa.Field(200), "");
    EXPECT_EQ(sa.Split(';', std::string(1500, 'z') + ";q"), 2);
    EXPECT_EQ(sa.Field(0).size(), 999u);
    EXPECT_EQ(sa.Field(1), "q");
}

}  // namespace
}  // namespace zerlan
