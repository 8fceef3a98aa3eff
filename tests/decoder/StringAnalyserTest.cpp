// Decoded lines come from the network: the limits keep a hostile line from growing the fields.
#include "decoder/StringAnalyser.h"

#include <gtest/gtest.h>

namespace zerlan {
namespace {

TEST(StringAnalyserTest, FieldsAndPaddingStayWithinTheirLimits) {
    CStringAnalyser sa;
    std::string many;
    for (int i = 0; i < 250; ++i) many += "w ";
    EXPECT_EQ(sa.Split(' ', many), 200);
    EXPECT_EQ(sa.Field(199), "w");
    EXPECT_EQ(sa.Field(200), "");
    EXPECT_EQ(sa.Split(';', std::string(1500, 'z') + ";q"), 2);
    EXPECT_EQ(sa.Field(0).size(), 999u);
    EXPECT_EQ(sa.Field(1), "q");
    EXPECT_EQ(sa.PadLeft('0', 9, "17"), 1);
    EXPECT_EQ(sa.Field(0), "000000017");
    EXPECT_EQ(sa.PadLeft(' ', 3, "12345"), 1);
    EXPECT_EQ(sa.Field(0), "12345");
    EXPECT_EQ(sa.PadLeft('0', 5, std::string(999, 'a')), 0);
    EXPECT_EQ(sa.Field(0), "");
}

}  // namespace
}  // namespace zerlan
