#include "ui/ZerlanView.h"

#include <gtest/gtest.h>

#include "jobs/JobControl.h"
#include "ui/Renderer.h"

namespace zerlan {
namespace {

class RecordingRenderer : public Renderer {
public:
    void LogAppended(const std::string& text, bool received) override {
        shown += text;
        last_received = received;
    }
    std::string shown;
    bool last_received = false;
};

class ZerlanViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view_.queue().Attach([this](const Message& m) { view_.Handle(m); });
        state_.view_window = &view_.queue();
    }
    void TearDown() override { state_.view_window = nullptr; }
    SharedState state_;
    RecordingRenderer renderer_;
    CZerlanView view_{state_, renderer_};
};

TEST_F(ZerlanViewTest, DecoderFieldsShowTheGpsWeekWhenSlot3IsEmpty) {
    state_.status_board.SetText("0611", 0);
    state_.status_board.SetText("12", 7);
    state_.Send(msg::kDecoderFields);  // posted: a decoder never waits for the view
    view_.queue().PumpPending();
    EXPECT_EQ(view_.model().decoder_fields[0], "0611");
    EXPECT_EQ(view_.model().decoder_fields[7], "12");
    EXPECT_EQ(view_.model().decoder_fields[3].size(), 4u);
    EXPECT_GT(std::atoi(view_.model().decoder_fields[3].c_str()), 1199);
}

TEST_F(ZerlanViewTest, SatelliteStatesAreLoggedOnlyWhenTheyChange) {
    auto post_all = [this] {
        for (uint32_t m : {msg::kGpsFkpCount, msg::kGloFkpCount, msg::kGpsSatList, msg::kGloSatList}) state_.Post(m);
        view_.queue().PumpPending();
    };
    state_.sat_fkp_store.SetSatelliteList(std::vector<int32_t>{12, 3, 7}, 0);
    state_.sat_fkp_store.SetFkpList(std::vector<int32_t>{45}, 1);
    post_all();
    EXPECT_EQ(renderer_.shown, "Gps-Fkp 0\r\nGlo-Fkp 1\r\nGps-Sat 3: 3 7 12\r\nGlo-Sat 0\r\n");
    EXPECT_EQ(view_.model().gps_sat_list, "3: 3 7 12");
    EXPECT_EQ(view_.model().glo_fkp_count, "1");
    renderer_.shown.clear();
    post_all();
    EXPECT_EQ(renderer_.shown, "");
    state_.sat_fkp_store.SetSatelliteList(std::vector<int32_t>{48}, 1);
    post_all();
    EXPECT_EQ(renderer_.shown, "Glo-Sat 1: 48\r\n");
}

TEST_F(ZerlanViewTest, TextsNumbersAndBarsArriveInPostingOrder) {
    state_.ShowText("one\r\n");
    state_.ShowText("two\r\n");
    state_.ShowReceivedText("\xD3");
    state_.output_rate[static_cast<int>(OutputKind::kTcp)] = 77;
    state_.input_rate = 1234;
    state_.input_bar_count = 321;
    for (uint32_t m : {msg::kTcpOutRate, msg::kInputRate, msg::kInputBar}) state_.Post(m);
    view_.queue().PumpPending();
    EXPECT_EQ(view_.model().log, "one\r\ntwo\r\n");
    EXPECT_EQ(renderer_.shown, "one\r\ntwo\r\n\xD3");
    EXPECT_TRUE(renderer_.last_received);
    EXPECT_EQ(view_.model().numbers[msg::kTcpOutRate], "77");
    // The TCP output count is taken by the view.
    EXPECT_EQ(state_.output_rate[static_cast<int>(OutputKind::kTcp)].load(), 0);
    EXPECT_EQ(view_.model().numbers[msg::kInputRate], "1234");
    EXPECT_EQ(view_.model().input_bar, 321);

    view_.settings().maz.input_limit = "7000";  // bar ranges clamped from the maxima
    view_.settings().maz.output_limit = "3";
    view_.SetBarRanges();
    EXPECT_EQ(view_.model().input_bar_max, 500);
    EXPECT_EQ(view_.model().output_bar_max, 10);
}

TEST(TerminalText, ConvertsSingleByteCharactersAndMasksReceivedBytes) {
    EXPECT_EQ(TerminalText("12\xB0 3\xB4 \xF6\r\n", false), "12\xC2\xB0 3\xC2\xB4 \xC3\xB6\n");
    EXPECT_EQ(TerminalText(std::string("\xD3\x00\x13" "ab\r\n", 7), true), "...ab\n");
}

}  // namespace
}  // namespace zerlan
