#include "config/ParameterFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace zerlan {
namespace {

class ParameterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zerlan-config-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        Clock::Install(nullptr);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Settings compared without the load bookkeeping.
    static void ExpectSameSettings(Settings a, const Settings& b) {
        a.load_summary = b.load_summary;
        a.loaded = b.loaded;
        EXPECT_TRUE(a == b);
        for (int k = 0; k < kKeyCount; ++k)
            EXPECT_EQ(a.Raw(static_cast<Key>(k)), b.Raw(static_cast<Key>(k))) << InfoOf(static_cast<Key>(k)).name;
    }

    std::string dir_;
};

TEST_F(ParameterFileTest, QuotedAndPlainItemsSeveralPerLine) {
    Settings s;
    EXPECT_EQ(ParseText(s, "ignored /dp,\"my dir,x\" /np,vi comment here/pr,p.dat"), 0);
    EXPECT_EQ(s.Raw(Key::kDp), "my dir,x");      // quoted: blanks and commas kept
    EXPECT_EQ(s.Raw(Key::kNp), "vi");            // plain: cut at the first blank
    EXPECT_EQ(s.Raw(Key::kPr), "p.dat");
    EXPECT_EQ(s.protocol_file, "p.dat");

    EXPECT_EQ(ParseText(s, "/file_out,a.rcm,100;TRUE;1;60;d;x;y;z"), 0);
    EXPECT_EQ(s.file_out.file_name, "a.rcm");   // plain value keeps its commas
    EXPECT_EQ(s.file_out.block_size, "100");

    EXPECT_EQ(ParseText(s, "/pd,\"unterminated"), 0);
    EXPECT_EQ(s.Raw(Key::kPd), "unterminated");
    EXPECT_EQ(ParseText(s, "/pd"), 0);           // a key alone sets an empty value
    EXPECT_EQ(s.Raw(Key::kPd), "");
}

TEST_F(ParameterFileTest, UnknownKeysRemAndLinesWithoutSlash) {
    Settings s;
    const Settings before = s;
    EXPECT_EQ(ParseText(s, "no slash at all dp,x"), 1);
    EXPECT_EQ(ParseText(s, "/DP,x /unknown,\"y\""), 1);
    EXPECT_EQ(ParseText(s, "/rem,Name of parameter-file: 1 Parameter"), 0);
    EXPECT_EQ(ParseText(s, "/unknown,1 /rem"), 0);
    EXPECT_TRUE(s == before);
    // The line ends at the first line break.
    EXPECT_EQ(ParseText(s, "/rem\n/dp,late"), 0);
    EXPECT_EQ(s.Raw(Key::kDp), ".");
}

TEST_F(ParameterFileTest, SlashSubstitutesSurviveAPlainSlashCuts) {
    Settings s;
    EXPECT_EQ(ParseText(s, "/cast_in,\"host;2101;MP;x;user:pa\xAFss;1000;0;0.0.0.0;8080\""), 0);
    EXPECT_EQ(s.cast_in.login, "user:pa\xAFss");
    EXPECT_NE(SaveText(s).find("/cast_in,\"host;2101;MP;x;user:pa\xAFss;"), std::string::npos);

    // Inside quotes a '/' is part of the value; unquoted it still starts an item.
    EXPECT_EQ(ParseText(s, "/cast_out,\"host;80;MP;x;pa/ss;1000\" /file_in,\"/var/gnss/in.rtcm3\""), 0);
    EXPECT_EQ(s.Raw(Key::kCastOut), "host;80;MP;x;pa/ss;1000");
    EXPECT_EQ(s.file_in, "/var/gnss/in.rtcm3");
    EXPECT_EQ(ParseText(s, "/cast_out,host;80;MP;x;pa/ss;1000"), 0);
    EXPECT_EQ(s.Raw(Key::kCastOut), "host;80;MP;x;pa");
    EXPECT_EQ(s.cast_out.reconnect_wait_ms, "500");

    EXPECT_EQ(ParseText(s, "/file_in,\"dir\xBB" "file.rcm\""), 0);
    EXPECT_EQ(s.file_in, "dir\xBB" "file.rcm");
}

TEST_F(ParameterFileTest, ReportNamesFileLineUnknownKeysCorrectionsAndWhyALoadFailed) {
    Write("job.par", "/rem,Path/name for Editor: 1 Parameter\n/tcp_out,\"a;4000;TRUE;500;FALSE;-3\"\n"
                     "/inout_sw,\"XYZ\" /Pr,x\n/rinex,\"TRUE;TRUE;TRUE;1;5;0;60;.\\;0000;.\\0000.hdr;FALSE;4006;20;15\"\n");
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

    // The built-in values need no correction.
    Settings defaults;
    for (int k = 0; k < kKeyCount; ++k) EXPECT_TRUE(defaults.Corrections(static_cast<Key>(k)).empty()) << k;

    LoadReport missing;
    EXPECT_EQ(LoadFile(s, "none.par", &missing), 1);
    EXPECT_EQ(missing.problem, "none.par: No such file or directory");
    Write("empty.par", "just text\n");
    LoadReport empty;
    EXPECT_EQ(LoadFile(s, "empty.par", &empty), 1);
    EXPECT_EQ(empty.problem, "empty.par: no parameter item in it");
    LoadReport word;
    EXPECT_EQ(LoadFromCommandLine(s, "foo.par", &word), 1);
    EXPECT_EQ(word.problem, "\"foo.par\" is not a parameter item (a parameter file is given as /pd,FILE)");
}

TEST_F(ParameterFileTest, PortNumbers) {
    for (const char* good : {"1", "2101", "65535", "00080"}) EXPECT_TRUE(IsPortNumber(good)) << good;
    for (const char* bad : {"", "0", "65536", "70000", "-1", "40x0", "abc", " 80", "999999"})
        EXPECT_FALSE(IsPortNumber(bad)) << bad;
}

TEST_F(ParameterFileTest, PieceAndLengthLimits) {
    Settings s;
    std::string line = "x";
    for (int i = 0; i < 197; ++i) line += "/rem";
    EXPECT_EQ(ParseText(s, line + "/dp,taken/np,dropped"), 0);  // 199 pieces, the first one ignored
    EXPECT_EQ(s.Raw(Key::kDp), "taken");
    EXPECT_EQ(s.Raw(Key::kNp), "\\Windows\\notepad.exe");

    ParseText(s, "/dp," + std::string(1200, 'a'));
    EXPECT_EQ(s.Raw(Key::kDp), std::string(999 - 3, 'a'));  // piece of 999 minus "dp,"
}

TEST_F(ParameterFileTest, LoadFileKeepsMissingKeysAndWritesSummary) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);

    Settings s;
    EXPECT_EQ(LoadFile(s, "missing.par"), 1);
    EXPECT_EQ(s.loaded, 0);

    Write("only-rem.par", "\n/rem,nothing\n/rem,more\n");
    const Settings defaults;
    EXPECT_EQ(LoadFile(s, "only-rem.par"), 0);
    EXPECT_EQ(s.loaded, 1);
    ExpectSameSettings(s, defaults);

    Write("some.par", "/miz,\"60;In;10;70;Out;10\"\r\n/maz,8000;A;0;9000;B;0\njunk\n/seb,2;3");
    EXPECT_EQ(LoadFile(s, "some.par"), 0);
    EXPECT_EQ(s.seb.input_s, "2");  // last line without a line feed
    EXPECT_EQ(s.Raw(Key::kCastIn), defaults.Raw(Key::kCastIn));
    EXPECT_EQ(s.load_summary, "last Adjustment: 03.02.2025 09:05:07\nMinZyklus 60 70\nMaxZyklus 8000 9000\n");

    Write("none.par", "/unknown,1\n");
    EXPECT_EQ(LoadFile(s, "none.par"), 1);
}

TEST_F(ParameterFileTest, LongLinesAreParsedIn999CharacterPieces) {
    Settings s;
    // The first 999 characters form one line; the item after them starts a new one.
    Write("long.par", "/rem," + std::string(994, 'x') + "/dp,second\n/dp," + std::string(1500, 'a') + "\n");
    EXPECT_EQ(LoadFile(s, "long.par"), 0);
    EXPECT_EQ(s.Raw(Key::kDp), std::string(995, 'a'));

    Write("long2.par", "/rem," + std::string(994, 'x') + "/np,second\n");
    EXPECT_EQ(LoadFile(s, "long2.par"), 0);
    EXPECT_EQ(s.Raw(Key::kNp), "second");
}

TEST_F(ParameterFileTest, SaveTextLayout) {
    const std::string text = SaveText(Settings());
    EXPECT_EQ(text.rfind("\n/rem,Name of parameter-file: 1 Parameter\n/pd,\".\\morvik.par\"\n"
                         "\n/rem,Name of main-directory: 1 Parameter\n/dp,\".\"\n", 0), 0u);
    for (const char* line : {"\n/rem,Adjustments for Non-Fkp control : 4 Parameter\n",
                             "\n/rem,Adjustments for Non-Sat control : 4 Parameter\n",
                             "\n/rem,Adjustments for To-little-Fkp Control : 6 Parameter\n",
                             "\n/rem,Adjustments for To-little-Sat control : 6 Parameter\n",
                             "\n/rem,Adjustments for RtcmDecoder-Output: 8 + 9 + 2 Parameter\n",
                             "\n/rem,Adjustments for Rtcm-Encoder-Settings: 14 + x Parameter\n",
                             "\n/rem,Adjustments for caster-input: 9 Parameter\n/cast_in,\"caster.example.net;2101;"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_NE(text.find("\n/rem,Time-interval for char-input-control: 2 Parameter\n/seb,\"1;1\"\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("/seb,\"1;1\"\n"));
    size_t rems = 0;
    for (size_t at = text.find("/rem,"); at != std::string::npos; at = text.find("/rem,", at + 1)) ++rems;
    EXPECT_EQ(rems, static_cast<size_t>(kKeyCount));
}

TEST_F(ParameterFileTest, SaveThenLoadGivesTheSameSettings) {
    const Settings defaults;
    ASSERT_EQ(SaveFile(defaults, "defaults.par"), 0);
    EXPECT_EQ(Read("defaults.par"), SaveText(defaults));
    Settings changed;
    ParseText(changed, "/dp,elsewhere /tcp_out,1;2;FALSE;999;TRUE;1");
    EXPECT_EQ(LoadFile(changed, "defaults.par"), 0);
    ExpectSameSettings(changed, defaults);

    // Out-of-range and substitute values survive as they were read.
    Settings odd;
    ParseText(odd, "/tcp_out,\"1.2.3.4;4000;TRUE;500;FALSE;0\" /cast_out,\"a\xAF" "b;80;m;x;p\xAFw;0\"");
    ParseText(odd, "/file_out,\"C:\xBBout dir\xBB" "f.rcm,1;TRUE;9;7;.\\;a;b;c\"");
    ASSERT_EQ(SaveFile(odd, "odd.par"), 0);
    Settings back;
    EXPECT_EQ(LoadFile(back, "odd.par"), 0);
    ExpectSameSettings(back, odd);
    EXPECT_EQ(back.tcp_out.max_clients, "200");
    EXPECT_EQ(back.Raw(Key::kTcpOut), "1.2.3.4;4000;TRUE;500;FALSE;0");
}

TEST_F(ParameterFileTest, SaveFileThatCannotBeCreated) {
    EXPECT_EQ(SaveFile(Settings(), "no-such-dir/x.par"), 1);
    EXPECT_EQ(access("no-such-dir", F_OK), -1);
}

TEST_F(ParameterFileTest, CommandLineShapes) {
    Settings s;
    EXPECT_EQ(LoadFromCommandLine(s, ""), 1);  // no morvik.par here
    Write("morvik.par", "/dp,\"from default\"\n");
    EXPECT_EQ(LoadFromCommandLine(s, "  "), 0);
    EXPECT_EQ(s.Raw(Key::kDp), "from default");

    Write("other.par", "/np,ed\n");
    Settings t;
    EXPECT_EQ(LoadFromCommandLine(t, "/pd,other.par"), 0);
    EXPECT_EQ(t.Raw(Key::kNp), "ed");
    EXPECT_EQ(t.Raw(Key::kPd), "other.par");
    Settings q;
    EXPECT_EQ(LoadFromCommandLine(q, "/pd,\".\\other.par\""), 0);  // backslash path form
    EXPECT_EQ(q.Raw(Key::kNp), "ed");
    EXPECT_EQ(LoadFromCommandLine(q, "/pd,absent.par"), 1);

    Settings u;
    const Settings defaults;
    EXPECT_EQ(LoadFromCommandLine(u, "other.par"), 1);
    EXPECT_EQ(LoadFromCommandLine(u, "/np,vi"), 1);  // one word must be a pd item
    ExpectSameSettings(u, defaults);

    Settings v;
    EXPECT_EQ(LoadFromCommandLine(v, "/np,vi /seb,\"5;6\""), 0);
    EXPECT_EQ(v.Raw(Key::kNp), "vi");
    EXPECT_EQ(v.seb.output_s, "6");
    EXPECT_EQ(v.loaded, 0);
    EXPECT_EQ(LoadFromCommandLine(v, "hello world"), 1);
}

TEST_F(ParameterFileTest, DocumentFormHas32Lines) {
    Settings s;
    ParseText(s, "/pd,first.par /np,ed /dec_in,\"TRUE;FALSE\"");
    const std::string doc = DocumentText(s);
    EXPECT_EQ(doc.rfind("first.par\r\nfirst.par\r\n.\\Protokol.dat\r\n.\r\ned\r\n1;1\r\n", 0), 0u);
    EXPECT_EQ(doc.substr(doc.size() - 12), "TRUE;FALSE\r\n");

    Settings target;
    ASSERT_EQ(SaveDocumentFile(s, "a.zln"), 0);
    EXPECT_EQ(LoadDocumentFile(target, "a.zln"), 0);
    ExpectSameSettings(target, s);
    EXPECT_TRUE(target.dec_in.Flag(1));
    // Saving again gives the same bytes: the line ends do not pile up.
    EXPECT_EQ(DocumentText(target), doc);

    // The second line wins over the first.
    std::string lines = "one\ntwo\n";
    for (int i = 2; i < 32; ++i) lines += "x\n";
    Settings w;
    EXPECT_EQ(LoadDocumentText(w, lines), 0);
    EXPECT_EQ(w.Raw(Key::kPd), "two");
    EXPECT_EQ(w.Raw(Key::kDecIn), "x");

    Settings unchanged;
    const Settings defaults;
    EXPECT_EQ(LoadDocumentText(unchanged, lines + "extra\n"), 1);
    EXPECT_EQ(LoadDocumentText(unchanged, lines.substr(0, lines.size() - 2)), 1);
    EXPECT_EQ(LoadDocumentText(unchanged, ""), 1);
    EXPECT_EQ(LoadDocumentFile(unchanged, "missing.zln"), 1);
    ExpectSameSettings(unchanged, defaults);
}

TEST_F(ParameterFileTest, CopyAndDefaults) {
    Settings a;
    ParseText(a, "/dp,x /inout_sw,\"TCP;CAST\"");
    Settings b;
    CopySettings(b, a);
    EXPECT_TRUE(b == a);
    EXPECT_EQ(b.inout_sw.Input(), InputType::kTcp);
    LoadDefaults(b);
    ExpectSameSettings(b, Settings());
}

}  // namespace
}  // namespace zerlan
