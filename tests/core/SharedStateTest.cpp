#include "core/SharedState.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/DisplayLog.h"

namespace zerlan {
namespace {

TEST(DisplayLog, AppendsUntilFullThenReplacesAndDropsWhatCanNeverFit) {
    std::string log(100, 'x');
    AppendDisplayText(log, std::string(4000, 'y'));
    EXPECT_EQ(log, std::string(100, 'x') + std::string(3400, 'y'));
    AppendDisplayText(log, std::string(50, 'z'));
    EXPECT_EQ(log, std::string(50, 'z'));
    log.assign(3500, 'x');
    AppendDisplayText(log, std::string(3500, 'y'));
    EXPECT_EQ(log, std::string(3500, 'x'));
}

TEST(StatusBoard, SlotsAreBoundedAndTextsCut) {
    StatusBoard board;
    char buffer[StatusBoard::kSlotSize];
    for (int refused : {board.SetText("x", 250), board.SetText("x", -1), board.GetText(buffer, 250),
                        board.SetValue(1.0, 86400), static_cast<int>(board.GetValue(-1))})
        EXPECT_EQ(refused, -1);
    ASSERT_EQ(board.SetText(std::string(1500, 'a').c_str(), 3, 7), 0);
    std::string got;
    EXPECT_EQ(board.GetText(got, 7), 999);
}

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
