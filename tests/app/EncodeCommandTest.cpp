// `zerlan --encode` as a user runs it: decoded text of the example stream
// back to the stream, and a parameter file's type selection.
#include <gtest/gtest.h>

#include <string>

#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

TEST(EncodeCommand, RebuildsTheExampleFromItsTextAndFollowsTheSelection) {
    TempDir dir;
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    RunResult r = RunZerlan("--decode " + example);
    ASSERT_EQ(r.status, 0);
    WriteFile("text.txt", r.out);
    r = RunZerlan("--encode - <text.txt");
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == ReadFile(example));

    // Only 1006, RTCM 3 on, a CR after the message.
    WriteFile("enc.par", "/dec_in,\"FALSE;TRUE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;TRUE;TRUE;FALSE;1006\"\n");
    r = RunZerlan("--encode text.txt /pd,enc.par");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 28u);
    EXPECT_EQ(r.out.substr(0, 3), std::string("\xD3\x00\x15", 3));
    EXPECT_EQ(r.out.back(), '\r');

    r = RunZerlan("--encode missing.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read missing.txt"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
