// `zerlan --encode` as a user runs it: decoded text of the example stream
// back to the stream, and a parameter file's type selection.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace zerlan {
namespace {

int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(EncodeCommand, RebuildsTheExampleFromItsTextAndFollowsTheSelection) {
    testing::TempDir dir;
    const std::string zerlan = ZERLAN_BINARY;
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    ASSERT_EQ(Shell(zerlan + " --decode " + example + " >text.txt 2>/dev/null"), 0);
    ASSERT_EQ(Shell(zerlan + " --encode - <text.txt >all.rtcm3 2>/dev/null"), 0);
    EXPECT_EQ(testing::ReadFile("all.rtcm3"), testing::ReadFile(example));

    // Only 1006, RTCM 3 on, a CR after the message.
    testing::WriteFile("enc.par", "/dec_in,\"FALSE;TRUE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;TRUE;TRUE;FALSE;1006\"\n");
    ASSERT_EQ(Shell(zerlan + " --encode text.txt /pd,enc.par >one.rtcm3 2>/dev/null"), 0);
    const std::string one = testing::ReadFile("one.rtcm3");
    ASSERT_EQ(one.size(), 28u);
    EXPECT_EQ(one.substr(0, 3), std::string("\xD3\x00\x15", 3));
    EXPECT_EQ(one.back(), '\r');

    EXPECT_EQ(Shell(zerlan + " --encode missing.txt >/dev/null 2>err.txt"), 1);
    EXPECT_NE(testing::ReadFile("err.txt").find("cannot read missing.txt"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
