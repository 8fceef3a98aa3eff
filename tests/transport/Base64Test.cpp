#include "transport/Base64.h"

#include <gtest/gtest.h>

namespace zerlan {
namespace {

TEST(Base64, RfcVectorsCoverEveryPaddingLength) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
}

TEST(Base64, HighBytesNulAndTheLastTwoLettersOfTheAlphabet) {
    EXPECT_EQ(Base64Encode(std::string_view("\0\0\0", 3)), "AAAA");
    EXPECT_EQ(Base64Encode("\xFB\xFF\xBF"), "+/+/");
    EXPECT_EQ(Base64Encode("\xFF"), "/w==");
    EXPECT_EQ(Base64Encode("user:pass/word"), "dXNlcjpwYXNzL3dvcmQ=");
}

}  // namespace
}  // namespace zerlan
