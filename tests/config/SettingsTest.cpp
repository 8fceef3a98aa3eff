// Settings as users write them by hand or have them saved, and each key's fields as the jobs read them.
#include "config/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "config/FieldSplit.h"
#include "config/ParameterFile.h"
#include "platform/Clock.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

using config_detail::SplitFields;
using config_detail::TextToInt;
using testing::WriteFile;

TEST(SettingsDefaults, ParsedFieldsOfTheBuiltInValues) {
    Settings s;
    EXPECT_EQ(s.rinex.gps_glo_diff_s, "18.00000000");
    EXPECT_EQ(s.html.items.size(), 19u);  // sub-lists split on ','
    EXPECT_EQ(s.Field(Key::kDecOut, 8), "TRUE,60");  // of eight fields: the two missing read as off and empty
    EXPECT_FALSE(s.dec_out.fkp_watch_on || s.dec_out.restart_on_silence);
    EXPECT_EQ(s.dec_out.silence_seconds, "");
}

TEST(SettingsNormalise, OutOfRangeFieldsAreCorrectedAndTheRawTextKept) {
    const std::tuple<Key, std::string, std::vector<std::pair<int, std::string>>> cases[] = {
        {Key::kCastIn, "h\xAFx;2101;MP;Other/9;u:p\xAFw;0;TRUE;proxy;3128",
         {{1, "h\xAFx"}, {4, kProgramId}, {5, "u:p\xAFw"}, {6, "500"}}},  // the identity is ours
        {Key::kCastOut, "h;80;m;id;pw;", {{6, "500"}}},
        {Key::kCastOut, "h;80;m;id;pw;2500", {{6, "2500"}}},
        {Key::kTcpOut, "1.2.3.4;4000;TRUE;500;TRUE;9999", {{4, "200"}, {6, "3600"}}},
        {Key::kTcpOut, "1.2.3.4;4000;TRUE;0;TRUE;-3", {{4, "1"}, {6, "0"}}},
        {Key::kTcpOut, "1.2.3.4;4000;TRUE;2;TRUE;1", {{4, "2"}, {6, "1"}}},
        {Key::kUdpOut, "a;1;TRUE;b;2;201", {{6, "200"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;0;50000;6;7;d;p;h;TRUE;4006;1;-2",
         {{4, "15"}, {5, "0"}, {6, "0"}, {7, "0_"}, {13, "1"}, {14, "0.00000000"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;60;-43200;5;30;d;p;h;TRUE;4006;200;2.5",
         {{4, "60"}, {5, "-43200"}, {6, "5"}, {7, "30"}, {13, "200"}, {14, "2.50000000"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;1;0;0;60;d;p;h;TRUE;4006;20;61", {{14, "60.00000000"}}},
        {Key::kRinex, "TRUE;TRUE;TRUE;1;0;0;60;d;p;h;TRUE;4006;20;nan", {{14, "0.00000000"}}},
        {Key::kInoutSw, "SERIAL;CAST;TCP;bogus;;PIPE;FILE;RTCM;-4;1;7;5;TRUE;TRUE;1",
         {{1, "COMP"}, {2, "CAST"}, {3, "TCP"}, {4, "Null"}, {5, "Null"}, {9, "1"}, {11, "-1"}, {12, "100"},
          {14, "FALSE"}, {15, "FALSE"}}},  // the encoder-data sides stay off
        {Key::kInoutSw, ";Null;Null;Null;Null;Null;Null;Null;1001;0;2;3600001",
         {{1, "COMP"}, {9, "1000"}, {11, "2"}, {12, "100"}}},
        {Key::kInoutSw, "DUMMY;Null;Null;Null;Null;Null;Null;Null;0;0;-1;10",
         {{1, "DUMMY"}, {9, "0"}, {11, "-1"}, {12, "10"}}},
        {Key::kFileOut, "out.rcm,1;TRUE;9;7;dir;a;b;c", {{1, "out.rcm,4096"}, {2, "FALSE"}, {3, "0"}, {4, "0_"}}},
        {Key::kFileOut, "STDOUT,8192;TRUE;5;15;d\xBBs;a;b;c",
         {{1, "STDOUT,8192"}, {2, "TRUE"}, {3, "5"}, {4, "15"}, {5, "d\xBBs"}}},
        {Key::kDecOut, "1;p;TRUE;d.rcd,9000,TRUE,-1,11,dir,a,b,c;TRUE;4004;3;TRUE;TRUE,700;TRUE",
         {{4, "d.rcd,4096,FALSE,0,0_,dir,a,b,c"}, {7, "3"}, {9, "TRUE,600"}}},
        {Key::kDecOut, "0;p;0;d;0;1;1;0;FALSE,-5;0", {{9, "FALSE,0"}}},
        {Key::kCoIn, "COM2;9600;n;8;1;;TRUE;;1;", {{6, ""}, {8, "Null"}, {10, "Null"}}},
        {Key::kKfkp, ";A;;B", {{1, "0"}, {3, "0"}, {4, "B"}}},
        {Key::kWsat, "1;A", {{3, "0"}, {4, "0"}, {5, ""}, {6, "0"}}},
        {Key::kAi, ";f.dat", {{1, "0"}}},
        {Key::kEncDa, "0_MistyOne;k;1;2;1;0;0;0;0;0;TRUE;1025;604801;-1", {{12, "0"}, {13, "0"}, {14, "0"}}},
        {Key::kEncDa, "0;k;1;2;0;0;0;0;0;0;0;1024;604800;300", {{12, "1024"}, {13, "604800"}, {14, "300"}}},
        {Key::kTcpIn, "1.2.3.4;4001\r;TRUE", {{2, "4001"}, {3, ""}}},  // a carriage return ends the fields
    };
    for (const auto& [key, raw, fields] : cases) {
        SCOPED_TRACE(raw);
        Settings s;
        s.SetRaw(key, raw);
        EXPECT_EQ(s.Raw(key), raw);
        for (const auto& [field, text] : fields) EXPECT_EQ(s.Field(key, field), text) << "field " << field;
    }
}

TEST(SettingsNormalise, SwitchesAndFlagsAsTheJobsReadThem) {
    Settings s;
    s.SetRaw(Key::kInoutSw, "SERIAL;CAST;TCP;bogus;;PIPE;FILE;RTCM;-4;1;7;5;TRUE;TRUE;1");
    EXPECT_EQ(s.inout_sw.Input(), InputType::kSerial);
    EXPECT_FALSE(s.inout_sw.SerialOut());  // "TCP" in the serial switch leaves it off
    EXPECT_TRUE(s.inout_sw.CasterOut() && s.inout_sw.PipeOut() && s.inout_sw.FileOut());
    const std::pair<const char*, int> modes[] = {
        {"FALSE", 1}, {"false", 1}, {"TRUE", 2}, {"True", 2}, {"DEVICE", 3}, {"device", 3}, {"3", 3}, {"xyz", 1}};
    for (const auto& [text, mode] : modes) {
        s.SetRaw(Key::kNmea, std::string("TRUE;") + text + ";52;29;1;13;18;4;f;5;2");
        EXPECT_EQ(s.nmea.mode, mode) << text;
        EXPECT_EQ(s.nmea.mode_text, text);
    }
    for (const char* t : {"TRUE", "True", "true", "1", "2", "17abc", " 3"}) EXPECT_TRUE(IsTrue(t)) << t;
    for (const char* f : {"FALSE", "false", "0", "-1", "", "tRUE", "yes", "TRUE,60", "ON"})
        EXPECT_FALSE(IsTrue(f)) << f;
}

TEST(FieldSplit, SeparatorsEmptyFieldsAndLimits) {
    EXPECT_TRUE(SplitFields(';', "").empty());
    EXPECT_EQ(SplitFields(' ', " \t a  \tb  "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitFields(';', std::string(250, ';')).size(), 200u);
    EXPECT_EQ(SplitFields(',', std::string(1200, 'z'))[0].size(), 999u);
    Settings s;
    s.SetRaw(Key::kDp, std::string(1500, 'd'));
    EXPECT_EQ(s.Raw(Key::kDp).size(), kMaxRawLength);

    const std::pair<const char*, int> numbers[] = {{"42abc", 42}, {"  -7", -7}, {"abc", 0}, {"", 0},
        {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
    for (const auto& [text, value] : numbers) EXPECT_EQ(TextToInt(text), value) << text;
}

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

    for (int k = 0; k < kKeyCount; ++k) EXPECT_TRUE(Settings().Corrections(static_cast<Key>(k)).empty()) << k;

    WriteFile("empty.par", "just text\n");
    const std::pair<const char*, std::string> failed[] = {
        {"/pd,none.par", "none.par: No such file or directory"},
        {"/pd,empty.par", "empty.par: no parameter item in it"},
        {"foo.par", "\"foo.par\" is not a parameter item (a parameter file is given as /pd,FILE)"},
        {"/np,vi", "\"/np,vi\" is not a parameter item (a parameter file is given as /pd,FILE)"},
        {"", "morvik.par: No such file or directory"},  // nothing named: the default file
    };
    for (const auto& [words, problem] : failed) {
        LoadReport why;
        EXPECT_EQ(LoadFromCommandLine(s, words, &why), 1) << words;
        EXPECT_EQ(why.problem, problem);
    }
}

TEST(ParameterFileTest, PortNumbers) {
    for (const char* good : {"1", "2101", "65535", "00080"}) EXPECT_TRUE(IsPortNumber(good)) << good;
    for (const char* bad : {"", "0", "65536", "70000", "-1", "40x0", "abc", " 80", "999999"})
        EXPECT_FALSE(IsPortNumber(bad)) << bad;
}

TEST(ParameterFileTest, FilesAndCommandLinesLoadOverTheBuiltInValuesAndWriteASummary) {
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

    WriteFile("morvik.par", "/dp,\"from default\"\n");
    WriteFile("other.par", "/np,ed\n");
    Settings d, t, v;
    EXPECT_EQ(LoadFromCommandLine(d, "  "), 0);
    EXPECT_EQ(d.Raw(Key::kDp), "from default");
    EXPECT_EQ(LoadFromCommandLine(t, "/pd,\".\\other.par\""), 0);
    EXPECT_EQ(t.Raw(Key::kNp), "ed");
    EXPECT_EQ(LoadFromCommandLine(v, "/np,vi /seb,\"5;6\""), 0);
    EXPECT_EQ(v.Raw(Key::kNp), "vi");
    EXPECT_EQ(v.seb.output_s, "6");
    EXPECT_EQ(v.loaded, 0);  // items alone are no loaded file
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


}  // namespace
}  // namespace zerlan
