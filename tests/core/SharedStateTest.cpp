#include "core/SharedState.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/DisplayLog.h"
#include "platform/Clock.h"

namespace zerlan {
namespace {

TEST(MessageTable, NumbersRunFromPlus100ToPlus148AndRepeat145) {
    EXPECT_EQ(kMessageTable[0], 0x0400u + 100);
    EXPECT_EQ(kMessageTable[48], 0x0400u + 148);
    EXPECT_EQ(kMessageTable[49], 0x0400u + 145);
    EXPECT_EQ(msg::kDisplayText, 0x0400u + 108);
}

TEST(DisplayLog, AppendsUntilFullThenReplaces) {
    std::string log(100, 'x');
    AppendDisplayText(log, std::string(4000, 'y'));
    EXPECT_EQ(log.size(), 3500u);
    EXPECT_EQ(log.substr(100), std::string(3400, 'y'));

    AppendDisplayText(log, std::string(50, 'z'));
    EXPECT_EQ(log, std::string(50, 'z'));
}

TEST(DisplayLog, LongTextAtFullLogIsDropped) {
    std::string log(3500, 'x');
    AppendDisplayText(log, std::string(3500, 'y'));
    EXPECT_EQ(log, std::string(3500, 'x'));
}

class SharedStateTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::Install(&clock_); }
    void TearDown() override { Clock::Install(nullptr); }
    FakeClock clock_;
};

TEST_F(SharedStateTest, CaptureNowFormatsTheSixFields) {
    clock_.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 0});
    SharedState state;
    NowStrings now = state.CaptureNow();
    EXPECT_STREQ(now.day, "03");
    EXPECT_STREQ(now.month, "02");
    EXPECT_STREQ(now.year, "2025");
    EXPECT_STREQ(now.hour, "09");
    EXPECT_STREQ(now.minute, "05");
    EXPECT_STREQ(now.second, "07");
    EXPECT_EQ(now.Moment(), "03.02.2025  09:05:07");
    EXPECT_EQ(state.LastCaptured().Moment(), "03.02.2025  09:05:07");
}

TEST_F(SharedStateTest, ShowTextCarriesItsOwnCopy) {
    SharedState state;
    MessageQueue view;
    std::vector<std::string> shown;
    view.Attach([&](const Message& m) {
        if (m.id == msg::kDisplayText) shown.push_back(m.text);
    });
    state.view_window = &view;
    state.ShowText("first\r\n");
    state.ShowText("second\r\n");
    EXPECT_EQ(state.DisplayText(), "second\r\n");
    view.PumpPending();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "first\r\n");
    EXPECT_EQ(shown[1], "second\r\n");
}

TEST_F(SharedStateTest, SelectOutputPoolFollowsEncoderFlags) {
    SharedState s;
    // No encoder active: the raw selector decides.
    EXPECT_EQ(&s.SelectOutputPool(1, 1, 0), &s.input_pool_a);
    EXPECT_EQ(&s.SelectOutputPool(1, 1, 1), &s.input_pool_b);

    s.rtcm_encoder_active = 1;
    EXPECT_EQ(&s.SelectOutputPool(0, 1, 0), &s.rtcm_encoder_pool);
    EXPECT_EQ(&s.SelectOutputPool(1, 0, 0), &s.input_pool_a);
    EXPECT_EQ(&s.SelectOutputPool(0, 0, 1), &s.input_pool_b);
    EXPECT_EQ(&s.SelectOutputPool(0, 0, 7), &s.input_pool_a);

    s.encoder_data_a_active = 1;
    EXPECT_EQ(&s.SelectOutputPool(1, 1, 0), &s.encoder_data_pool_a);
    s.encoder_data_b_active = 1;
    EXPECT_EQ(&s.SelectOutputPool(1, 0, 0), &s.encoder_data_pool_b);
}

TEST(StatusBoard, RefusesSlotsAndSecondsOutsideTheRange) {
    StatusBoard board;
    EXPECT_EQ(board.SetText("x", 250), -1);
    EXPECT_EQ(board.SetText("x", -1), -1);
    char buffer[StatusBoard::kSlotSize];
    EXPECT_EQ(board.GetText(buffer, 250), -1);
    EXPECT_EQ(board.SetValue(1.0, 86400), -1);
    EXPECT_EQ(board.GetValue(86400), -1.0);
    EXPECT_EQ(board.GetValue(-1), -1.0);
}

TEST(StatusBoard, TextsAreCutToTheSlotAndResetClearsAndStamps) {
    StatusBoard board;
    std::string longText(1500, 'a');
    ASSERT_EQ(board.SetText(longText.c_str(), 3, 7), 0);
    std::string got;
    EXPECT_EQ(board.GetText(got, 3), 999);
    EXPECT_EQ(board.GetText(got, 7), 999);
    ASSERT_EQ(board.SetValue(2.5, 86399), 0);
    EXPECT_EQ(board.GetValue(86399), 2.5);

    board.Reset("03.02.2025  09:05:07");
    EXPECT_EQ(board.GetText(got, 3), 0);
    EXPECT_EQ(board.GetValue(86399), 0.0);
    EXPECT_EQ(board.Stamp(249), "03.02.2025  09:05:07");
}

}  // namespace
}  // namespace zerlan

namespace zerlan {
namespace {

// A worker's bar refresh never waits for a view that is busy elsewhere, and
// a burst of them leaves one message for the view.
TEST(SharedStateThreads, BarsArePostedAndCoalesced) {
    SharedState state;
    MessageQueue view;
    std::vector<uint32_t> handled;
    view.Attach([&](const Message& m) { handled.push_back(m.id); });
    state.view_window = &view;
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) state.Send(msg::kInputBar);  // would block if sent
        state.Post(msg::kAllOutputBars);
        state.Post(msg::kAllOutputBars);
    });
    worker.join();
    EXPECT_EQ(view.Pending(), 2u);
    view.PumpPending();
    EXPECT_EQ(handled, (std::vector<uint32_t>{msg::kInputBar, msg::kAllOutputBars}));
    state.view_window = nullptr;
}

}  // namespace
}  // namespace zerlan
