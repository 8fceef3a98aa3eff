// The terminal view drawn on a grid in memory: the log as it scrolls, bars,
// a warning dialog until a key, the mountpoint chooser and its filter, and
// the 80x24 layout.
#include "ui/TerminalView.h"

#include <gtest/gtest.h>

#include <string>

#include "core/Messages.h"

namespace zerlan {
namespace {

bool Has(const GridScreen& s, const std::string& text) { return s.All().find(text) != std::string::npos; }

TEST(TerminalView, LogLinesArriveWholeAndReceivedBytesAreMasked) {
    GridScreen screen(24, 80);
    TerminalRenderer r;
    ViewModel model;
    r.LogAppended("File Thread !\r\nhalf a ", false);
    r.LogAppended("line\r\n", false);
    r.LogAppended(std::string("MT16 \x1b[2J\x07 data\r\n"), true);
    r.Draw(screen, model, "running", MountpointChooser());
    EXPECT_TRUE(Has(screen, "File Thread !"));
    EXPECT_TRUE(Has(screen, "half a line"));
    EXPECT_TRUE(Has(screen, "MT16 .[2J. data"));
    EXPECT_EQ(screen.All().find('\x1b'), std::string::npos);

    TerminalRenderer quiet(false);
    quiet.LogAppended("MT16 stream\r\n", true);
    EXPECT_TRUE(quiet.log().empty());
}

TEST(TerminalView, BarsNumbersAndStatusFitIn80x24) {
    GridScreen screen(24, 80);
    TerminalRenderer r;
    ViewModel model;
    model.input_type = "TCP";
    model.input_bar = 250;
    model.input_bar_max = 500;
    model.output_bars[kBar1019] = 500;
    model.output_bar_max = 500;
    model.numbers[msg::kFileOutRate] = "1234";
    model.gps_sat_list = "G01 G05 G12";
    model.decoder_fields[0] = "0611";
    for (int i = 0; i < 40; ++i) r.LogAppended("line " + std::to_string(i) + "\r\n", false);
    r.AddRecords("ZW CharWatch : Too little Byte 12\n");
    r.Draw(screen, model, "running", MountpointChooser());
    const auto& lines = screen.Lines();
    EXPECT_NE(lines[0].find("job running"), std::string::npos);
    EXPECT_NE(lines[1].find("Input TCP"), std::string::npos);
    EXPECT_NE(lines[1].find("[#####     ] 250"), std::string::npos);
    EXPECT_NE(lines[4].find("File   [##########] 1234"), std::string::npos);
    EXPECT_TRUE(Has(screen, "G01 G05 G12"));
    EXPECT_TRUE(Has(screen, "station 0611"));
    EXPECT_TRUE(Has(screen, "line 39"));  // the newest log line is shown
    EXPECT_TRUE(Has(screen, "ZW CharWatch : Too little Byte 12"));
    EXPECT_NE(lines[23].find("q:quit"), std::string::npos);

    r.Scroll(5);  // Page Up shows older lines
    r.Draw(screen, model, "running", MountpointChooser());
    EXPECT_FALSE(Has(screen, "line 39"));
    EXPECT_TRUE(Has(screen, "line 34"));
}

TEST(TerminalView, AWarningStaysUntilAKeyDismissesIt) {
    GridScreen screen(24, 80);
    TerminalRenderer r;
    r.PushDialog("Warning !!", "Port 4000 is used twice !");
    r.PushDialog("Init-Message", "second box");
    r.Draw(screen, ViewModel(), "stopped", MountpointChooser());
    EXPECT_TRUE(Has(screen, "Warning !!"));
    EXPECT_TRUE(Has(screen, "Port 4000 is used twice !"));
    EXPECT_TRUE(Has(screen, "press any key"));
    r.DismissDialog();
    r.Draw(screen, ViewModel(), "stopped", MountpointChooser());
    EXPECT_FALSE(Has(screen, "Port 4000"));
    EXPECT_TRUE(Has(screen, "second box"));
    r.DismissDialog();
    EXPECT_FALSE(r.DialogOpen());
}

TEST(TerminalView, TheChooserListsFiltersAndSelects) {
    GridScreen screen(24, 80);
    TerminalRenderer r;
    MountpointChooser c;
    c.Open("127.0.0.1:2101");
    c.SetEntries(ParseSourcetable("STR;BERLIN0;Berlin;RTCM 3.2;1004;2;GPS+GLO;EX;DEU;52.52;13.40;0\r\n"
                                  "STR;HAMBURG1;Hamburg;RTCM 2.3;1,3;2;GPS;EX;DEU;53.5;10.0;0\r\n"
                                  "STR;MUNICH;Muenchen;RTCM 3.2;1004;2;GPS;EX;DEU;48.1;11.6;0\r\n"),
                 "3 entries");
    r.Draw(screen, ViewModel(), "running", c);
    EXPECT_TRUE(Has(screen, "Mountpoints of 127.0.0.1:2101"));
    EXPECT_TRUE(Has(screen, "> BERLIN0 Berlin RTCM 3.2"));
    EXPECT_TRUE(Has(screen, "HAMBURG1"));
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
