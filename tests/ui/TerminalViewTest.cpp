// The view as the operator sees it: job messages reaching the model, and the terminal on an in-memory grid.
#include "ui/TerminalView.h"

#include <gtest/gtest.h>

#include <string>

#include "core/Messages.h"
#include "support/RelayJob.h"
#include "ui/ZerlanView.h"

namespace zerlan {
namespace {

bool Has(const std::string& s, const std::string& text) { return s.find(text) != std::string::npos; }

class ZerlanViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view_.queue().Attach([this](const Message& m) { view_.Handle(m); });
        state_.view_window = &view_.queue();  // the view's Close takes it back
    }
    SharedState state_;
    testing::QuietRenderer renderer_;
    CZerlanView view_{state_, renderer_};
};

TEST_F(ZerlanViewTest, NumbersFieldsAndBarRangesReachTheModel) {
    state_.output_rate[static_cast<int>(OutputKind::kTcp)] = 77;
    state_.input_rate = 1234;
    state_.input_bar_count = 321;
    state_.status_board.SetText("0611", 0);
    state_.status_board.SetText("12", 7);
    for (uint32_t m : {msg::kTcpOutRate, msg::kInputRate, msg::kInputBar, msg::kDecoderFields}) state_.Post(m);
    view_.queue().PumpPending();
    const ViewModel& model = view_.model();
    EXPECT_EQ(model.numbers.at(msg::kTcpOutRate), "77");
    EXPECT_EQ(state_.output_rate[static_cast<int>(OutputKind::kTcp)].load(), 0);  // taken by the view
    EXPECT_EQ(model.numbers.at(msg::kInputRate), "1234");
    EXPECT_EQ(model.input_bar, 321);
    EXPECT_EQ(model.decoder_fields[0], "0611");
    EXPECT_EQ(model.decoder_fields[7], "12");
    EXPECT_EQ(model.decoder_fields[3].size(), 4u);  // an empty slot 3 shows the GPS week
    EXPECT_GT(std::atoi(model.decoder_fields[3].c_str()), 1199);

    view_.settings().maz.input_limit = "7000";  // bar ranges clamped from the maxima
    view_.settings().maz.output_limit = "3";
    view_.SetBarRanges();
    EXPECT_EQ(model.input_bar_max, 500);
    EXPECT_EQ(model.output_bar_max, 10);
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
    renderer_.shown.clear();
    post_all();
    EXPECT_EQ(renderer_.shown, "");
    state_.sat_fkp_store.SetSatelliteList(std::vector<int32_t>{48}, 1);
    post_all();
    EXPECT_EQ(renderer_.shown, "Glo-Sat 1: 48\r\n");
}

class TerminalView : public ::testing::Test {
protected:
    std::string Drawn(const ViewModel& model = ViewModel(), const MountpointChooser& c = MountpointChooser()) {
        r.Draw(screen, model, "running", c);
        return screen.All();
    }
    GridScreen screen{24, 80};
    TerminalRenderer r;
};

TEST_F(TerminalView, LogLinesArriveWholeAndReceivedBytesAreMasked) {
    EXPECT_EQ(TerminalText("12\xB0 3\xB4 \xF6\r\n", false), "12\xC2\xB0 3\xC2\xB4 \xC3\xB6\n");
    EXPECT_EQ(TerminalText(std::string("\xD3\x00\x13" "ab\r\n", 7), true), "...ab\n");
    r.LogAppended("File Thread !\r\nhalf a ", false);
    r.LogAppended("line\r\n", false);
    r.LogAppended(std::string("MT16 \x1b[2J\x07 data\r\n"), true);
    const std::string drawn = Drawn();
    for (const char* shown : {"File Thread !", "half a line", "MT16 .[2J. data"})
        EXPECT_TRUE(Has(drawn, shown)) << shown;
    EXPECT_FALSE(Has(drawn, "\x1b"));
    TerminalRenderer quiet(false);
    quiet.LogAppended("MT16 stream\r\n", true);
    EXPECT_TRUE(quiet.log().empty());
}

TEST_F(TerminalView, BarsNumbersAndStatusFitIn80x24) {
    ViewModel model;
    model.input_type = "TCP";
    model.input_bar = 250;
    model.output_bars[kBar1019] = model.output_bar_max = 500;
    model.numbers[msg::kFileOutRate] = "1234";
    model.gps_sat_list = "G01 G05 G12";
    model.decoder_fields[0] = "0611";
    for (int i = 0; i < 40; ++i) r.LogAppended("line " + std::to_string(i) + "\r\n", false);
    r.AddRecords("ZW CharWatch : Too little Byte 12\n");
    const std::string drawn = Drawn(model);
    const std::pair<int, const char*> rows[] = {{0, "job running"}, {1, "Input TCP"}, {1, "[#####     ] 250"},
                                                {4, "File   [##########] 1234"}, {23, "q:quit"}};
    for (const auto& [row, text] : rows) EXPECT_TRUE(Has(screen.Lines()[row], text)) << text;
    for (const char* shown : {"G01 G05 G12", "station 0611", "line 39", "ZW CharWatch : Too little Byte 12"})
        EXPECT_TRUE(Has(drawn, shown)) << shown;
    r.Scroll(5);  // Page Up shows older lines
    EXPECT_FALSE(Has(Drawn(model), "line 39"));
    EXPECT_TRUE(Has(screen.All(), "line 34"));
}

TEST_F(TerminalView, AWarningStaysUntilAKeyDismissesIt) {
    r.PushDialog("Warning !!", "Port 4000 is used twice !");
    r.PushDialog("Init-Message", "second box");
    const std::string drawn = Drawn();
    for (const char* shown : {"Warning !!", "Port 4000 is used twice !", "press any key"})
        EXPECT_TRUE(Has(drawn, shown)) << shown;
    r.DismissDialog();
    EXPECT_FALSE(Has(Drawn(), "Port 4000"));
    EXPECT_TRUE(Has(screen.All(), "second box"));
    r.DismissDialog();
    EXPECT_FALSE(r.DialogOpen());
}

TEST_F(TerminalView, TheChooserListsFiltersAndSelects) {
    MountpointChooser c;
    c.Open("127.0.0.1:2101");
    c.SetEntries(ParseSourcetable("STR;BERLIN0;Berlin;RTCM 3.2;1004;2;GPS+GLO;EX;DEU;52.52;13.40;0\r\n"
                                  "STR;HAMBURG1;Hamburg;RTCM 2.3;1,3;2;GPS;EX;DEU;53.5;10.0;0\r\n"
                                  "STR;MUNICH;Muenchen;RTCM 3.2;1004;2;GPS;EX;DEU;48.1;11.6;0\r\n"),
                 "3 entries");
    const std::string drawn = Drawn(ViewModel(), c);
    for (const char* shown : {"Mountpoints of 127.0.0.1:2101", "> BERLIN0 Berlin RTCM 3.2", "HAMBURG1"})
        EXPECT_TRUE(Has(drawn, shown)) << shown;
    c.Key(kKeyDown);
    EXPECT_EQ(c.Selected()->mountpoint, "HAMBURG1");
    for (char k : std::string("rtcm 3")) c.Key(k);  // filter, case ignored
    ASSERT_EQ(c.Visible().size(), 2u);
    EXPECT_EQ(c.Selected()->mountpoint, "BERLIN0");
    c.Key(kKeyDown);
    c.Key(kKeyDown);  // stops at the last entry
    EXPECT_EQ(c.Selected()->mountpoint, "MUNICH");
    for (char k : std::string("zzz")) c.Key(k);
    EXPECT_EQ(c.Selected(), nullptr);
    for (int i = 0; i < 3; ++i) c.Key(kKeyBackspace);
    EXPECT_EQ(c.Visible().size(), 2u);
}

}  // namespace
}  // namespace zerlan
