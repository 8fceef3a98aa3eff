// Frames share the clock text while the clock stands still; the first frame
// after it moves on shows the new time.
#include <gtest/gtest.h>

#include "Rtcm3TestSupport.h"

namespace zerlan {
namespace {

using namespace testing_rtcm3;

class ClockTextTest : public Rtcm3Fixture {};

TEST_F(ClockTextTest, EachFrameShowsTheClockOfItsOwnMillisecond) {
    const std::vector<uint8_t> frame = NewMessage(1005, 7).U(128, 0).Frame();
    Feed(frame);
    Feed(frame);
    clock_.Advance(1);
    Feed(frame);
    clock_.Advance(61001);
    Feed(frame);
    const std::string text = TakeText();
    const char* stamps[] = {"00:00:00.000", "00:00:00.000", "00:00:00.001", "00:01:01.002"};
    size_t at = 0;
    for (const char* stamp : stamps) {
        at = text.find("\r\nTM Rtcm3.1 ", at);
        ASSERT_NE(at, std::string::npos);
        const size_t end = text.find("\r\n", at + 2);
        EXPECT_NE(text.substr(at, end - at).find(stamp), std::string::npos) << text.substr(at, end - at);
        at = end;
    }
}

}  // namespace
}  // namespace zerlan
