#include "transport/Base64.h"

#include <gtest/gtest.h>

namespace zerlan {
namespace {

TEST(Base64, EveryPaddingLengthHighBytesNulAndTheLastTwoLetters) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {std::string(3, '\0'), "AAAA"}, {"\xFB\xFF\xBF", "+/+/"}, {"\xFF", "/w=="},
    };
    for (const auto& [plain, coded] : cases) EXPECT_EQ(Base64Encode(plain), coded) << plain;
}

}  // namespace
}  // namespace zerlan
