// The parameter file as users write it by hand or have it saved.
#include "config/ParameterFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Clock.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// Without the load bookkeeping; key by key for the message.
void ExpectSameSettings(Settings a, const Settings& b) {
    a.load_summary = b.load_summary;
    a.loaded = b.loaded;
    EXPECT_TRUE(a == b);
    for (int k = 0; k < kKeyCount; ++k)
        EXPECT_EQ(a.Raw(static_cast<Key>(k)), b.Raw(static_cast<Key>(k))) << InfoOf(static_cast<Key>(k)).name;
}

TEST(ParameterFileTest, SlashSubstitutesSurviveAPlainSlashCuts) {
    std::string pieces = "x";  // 199 pieces, the text before the first '/' ignored
    for (int i = 0; i < 197; ++i) pieces += "/rem";
    // Field 0 is the raw text; every key not named keeps its built-in value.
    const std::tuple<std::string, int, std::vector<std::tuple<Key, int, std::string>>> cases[] = {
        // quoted keeps blanks and commas, plain ends at a blank
        {"ignored /dp,\"my dir,x\" /np,vi comment here/pr,p.dat", 0,
         {{Key::kDp, 0, "my dir,x"}, {Key::kNp, 0, "vi"}, {Key::kPr, 0, "p.dat"}}},
        {"/file_out,a.rcm,100;TRUE;1;60;d;x;y;z", 0, {{Key::kFileOut, 1, "a.rcm,100"}, {Key::kFileOut, 2, "TRUE"}}},
        {"/pd,\"unterminated", 0, {{Key::kPd, 0, "unterminated"}}},
        {"/pd", 0, {{Key::kPd, 0, ""}}},
        {"no slash at all dp,x", 1, {}},
        {"/DP,x /unknown,\"y\"", 1, {}},  // keys are case-sensitive
        {"/rem,Name of parameter-file: 1 Parameter", 0, {}},
        {"/unknown,1 /rem", 0, {}},
        {"/rem\n/dp,late", 0, {}},  // the line ends at the first line break
        {"/cast_in,\"host;2101;MP;x;user:pa\xAFss;1000;0;0.0.0.0;8080\"", 0, {{Key::kCastIn, 5, "user:pa\xAFss"}}},
        // a quoted '/' belongs to the value, a plain one starts an item
        {"/cast_out,\"host;80;MP;x;pa/ss;1000\" /file_in,\"/var/gnss/in.rtcm3\"", 0,
         {{Key::kCastOut, 0, "host;80;MP;x;pa/ss;1000"}, {Key::kFileIn, 0, "/var/gnss/in.rtcm3"}}},
        {"/cast_out,host;80;MP;x;pa/ss;1000", 0, {{Key::kCastOut, 0, "host;80;MP;x;pa"}, {Key::kCastOut, 6, "500"}}},
        {"/file_in,\"dir\xBB" "file.rcm\"", 0, {{Key::kFileIn, 0, "dir\xBB" "file.rcm"}}},
        {pieces + "/dp,taken/np,dropped", 0, {{Key::kDp, 0, "taken"}}},  // at most 199 pieces
        {"/dp," + std::string(1200, 'a'), 0, {{Key::kDp, 0, std::string(996, 'a')}}},  // of 999 characters
    };
    const Settings defaults;
    for (const auto& [text, result, expect] : cases) {
        SCOPED_TRACE(text);
        Settings s;
        EXPECT_EQ(ParseText(s, text), result);
        for (const auto& [key, field, value] : expect)
            EXPECT_EQ(field == 0 ? s.Raw(key) : s.Field(key, field), value) << InfoOf(key).name << " " << field;
        for (int k = 0; k < kKeyCount; ++k) {
            const Key key = static_cast<Key>(k);
            const auto named = [&](const auto& e) { return std::get<0>(e) == key; };
            if (std::none_of(expect.begin(), expect.end(), named)) { EXPECT_EQ(s.Raw(key), defaults.Raw(key)) << k; }
        }
    }
}

TEST(ParameterFileTest, ReportNamesFileLineUnknownKeysCorrectionsAndWhyALoadFailed) {
    testing::TempDir dir;
    WriteFile("job.par", "/rem,Path/name for Editor: 1 Parameter\n/tcp_out,\"a;4000;TRUE;500;FALSE;-3\"\n"
                         "/inout_sw,\"XYZ\" /Pr,x\n"
                         "/rinex,\"TRUE;TRUE;TRUE;1;5;0;60;.\\;0000;.\\0000.hdr;FALSE;4006;20;15\"\n");
    Settings s;
    LoadReport report;
    EXPECT_EQ(LoadFile(s, "job.par", &report), 0);
    EXPECT_EQ(report.problem, "");
    const std::vector<std::string> expected = {
        "job.par:2: tcp_out field 4 \"500\", \"200\" is used",
        "job.par:2: tcp_out field 6 \"-3\", \"0\" is used",
        "job.par:3: inout_sw field 1 \"XYZ\", \"COMP\" is used",
        "job.par:3: unknown key \"Pr\" ignored",
    };
    EXPECT_EQ(report.warnings, expected);  // 15 and 15.00000000 are the same number

    Settings defaults;
    for (int k = 0; k < kKeyCount; ++k) EXPECT_TRUE(defaults.Corrections(static_cast<Key>(k)).empty()) << k;

    WriteFile("empty.par", "just text\n");
    const struct {
        const char* words;
        std::string problem;
    } failed[] = {
        {"/pd,none.par", "none.par: No such file or directory"},
        {"/pd,empty.par", "empty.par: no parameter item in it"},
        {"foo.par", "\"foo.par\" is not a parameter item (a parameter file is given as /pd,FILE)"},
        {"/np,vi", "\"/np,vi\" is not a parameter item (a parameter file is given as /pd,FILE)"},
        {"", "morvik.par: No such file or directory"},  // nothing named: the default file
    };
    for (const auto& f : failed) {
        LoadReport why;
        EXPECT_EQ(LoadFromCommandLine(s, f.words, &why), 1) << f.words;
        EXPECT_EQ(why.problem, f.problem);
    }
}

TEST(ParameterFileTest, PortNumbers) {
    for (const char* good : {"1", "2101", "65535", "00080"}) EXPECT_TRUE(IsPortNumber(good)) << good;
    for (const char* bad : {"", "0", "65536", "70000", "-1", "40x0", "abc", " 80", "999999"})
        EXPECT_FALSE(IsPortNumber(bad)) << bad;
}

TEST(ParameterFileTest, LoadFileKeepsMissingKeysAndWritesSummary) {
    testing::TempDir dir;
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);
    Settings s;
    WriteFile("some.par", "/miz,\"60;In;10;70;Out;10\"\r\n/maz,8000;A;0;9000;B;0\njunk\n/seb,2;3");
    EXPECT_EQ(LoadFile(s, "some.par"), 0);
    EXPECT_EQ(s.loaded, 1);
    EXPECT_EQ(s.seb.input_s, "2");  // last line without a line feed
    EXPECT_EQ(s.Raw(Key::kCastIn), Settings().Raw(Key::kCastIn));
    EXPECT_EQ(s.load_summary, "last Adjustment: 03.02.2025 09:05:07\nMinZyklus 60 70\nMaxZyklus 8000 9000\n");
    Clock::Install(nullptr);

    // The first 999 characters form one line; the item after them starts a new one.
    WriteFile("long.par", "/rem," + std::string(994, 'x') + "/np,second\n/dp," + std::string(1500, 'a') + "\n");
    EXPECT_EQ(LoadFile(s, "long.par"), 0);
    EXPECT_EQ(s.Raw(Key::kNp), "second");
    EXPECT_EQ(s.Raw(Key::kDp), std::string(995, 'a'));
}

TEST(ParameterFileTest, SaveThenLoadGivesTheSameSettings) {
    testing::TempDir dir;
    // A saved file sets every key, so loading it over other values gives them back.
    const Settings defaults;
    ASSERT_EQ(SaveFile(defaults, "defaults.par"), 0);
    Settings changed;
    ParseText(changed, "/dp,elsewhere /tcp_out,1;2;FALSE;999;TRUE;1");
    EXPECT_EQ(LoadFile(changed, "defaults.par"), 0);
    ExpectSameSettings(changed, defaults);

    Settings odd;  // out-of-range values, substitutes and quoted '/' survive as read
    ParseText(odd, "/tcp_out,\"1.2.3.4;4000;TRUE;500;FALSE;0\" /cast_out,\"a\xAF" "b;80;m;x;p\xAFw;0\"");
    ParseText(odd, "/file_out,\"C:\xBBout dir\xBB" "f.rcm,1;TRUE;9;7;.\\;a;b;c\" /file_in,\"/var/gnss/in.rtcm3\"");
    ASSERT_EQ(SaveFile(odd, "odd.par"), 0);
    Settings back;
    EXPECT_EQ(LoadFile(back, "odd.par"), 0);
    ExpectSameSettings(back, odd);
    EXPECT_EQ(back.tcp_out.max_clients, "200");
    EXPECT_EQ(back.Raw(Key::kTcpOut), "1.2.3.4;4000;TRUE;500;FALSE;0");

    EXPECT_EQ(SaveFile(Settings(), "no-such-dir/x.par"), 1);
    EXPECT_EQ(access("no-such-dir", F_OK), -1);
}

TEST(ParameterFileTest, CommandLineShapes) {
    testing::TempDir dir;
    WriteFile("morvik.par", "/dp,\"from default\"\n");
    WriteFile("other.par", "/np,ed\n");
    Settings s, t, v;
    EXPECT_EQ(LoadFromCommandLine(s, "  "), 0);
    EXPECT_EQ(s.Raw(Key::kDp), "from default");
    EXPECT_EQ(LoadFromCommandLine(t, "/pd,\".\\other.par\""), 0);
    EXPECT_EQ(t.Raw(Key::kNp), "ed");
    EXPECT_EQ(LoadFromCommandLine(v, "/np,vi /seb,\"5;6\""), 0);
    EXPECT_EQ(v.Raw(Key::kNp), "vi");
    EXPECT_EQ(v.seb.output_s, "6");
    EXPECT_EQ(v.loaded, 0);  // items alone are no loaded file
}

}  // namespace
}  // namespace zerlan
