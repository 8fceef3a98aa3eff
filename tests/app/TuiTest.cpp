// zerlan --tui as an operator uses it, driven through tmux.
#include <gtest/gtest.h>

#include <string>

#include "support/FakeCaster.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

// Runs `command` in `dir` on a 100x30 terminal; the end kills the terminal.
class Tmux {
public:
    Tmux(const std::string& dir, const std::string& command) {
        Capture(Cmd("new-session -d -s z -x 100 -y 30 \"cd " + dir + " && " + command + "; sleep 60\""));
    }
    ~Tmux() { Capture(Cmd("kill-server") + " 2>/dev/null"); }
    std::string Cmd(const std::string& args) const {
        return "tmux -L zerlan-test-" + std::to_string(getpid()) + " " + args;
    }
    std::string Screen() const { return Capture(Cmd("capture-pane -p -t z")).out; }
    void Keys(const std::string& keys) const { Capture(Cmd("send-keys -t z " + keys)); }
    bool Shows(const std::string& text, bool shown = true) const {
        return WaitFor([&] { return (Screen().find(text) != std::string::npos) == shown; });
    }
};

// The file output's bar: "File   [...] " and its number.
std::string FileBar(const std::string& screen) {
    const size_t at = screen.find("File   [");
    return at == std::string::npos ? "" : screen.substr(at, screen.find(']', at) - at);
}

TEST(Tui, WithoutATerminalItSaysSoAndEndsWithStatus2) {
    TempDir dir;
    RunResult r = RunZerlan("--tui </dev/null");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "needs a terminal"));
}

TEST(Tui, ADummyJobIsShownStoppedStartedAndMovedToAChosenMountpoint) {
    if (std::system("command -v tmux >/dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    FakeCaster caster([](FakeCaster& c, int fd, int) {
        const std::string request = c.ReadRequest(fd);
        if (request.find("GET /BERLIN0 ") != std::string::npos) {
            c.Record(request);
            FakeCaster::SendAll(fd, "ICY 200 OK\r\n\r\n");
            c.Hold(fd);
            return;
        }
        FakeCaster::SendAll(fd, "SOURCETABLE 200 OK\r\n\r\n"
                                "STR;BERLIN0;Berlin;RTCM 3.2;1004;2;GPS+GLO;EX;DEU;52.52;13.40;0\r\n"
                                "STR;HAMBURG1;Hamburg;RTCM 2.3;1,3;2;GPS;EX;DEU;53.5;10.0;0\r\n"
                                "ENDSOURCETABLE\r\n");
    });
    WriteFile("job.par", "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;TRUE;-1;10;FALSE;FALSE;FALSE\"\n"
                         "/file_out,\"out.bin,4096;FALSE;0;60;.\\;0000;x;none\"\n"
                         "/cast_in,\"127.0.0.1;" + caster.port() + ";TEST0;MorvikV1.08-zezur1;;1000;0;0.0.0.0;8080\"\n"
                         "/pr,\"prot.dat\"\n");
    Tmux tmux(dir.path(), "EDITOR='sed -i s/TEST0/EDITED/' " + std::string(ZERLAN_BINARY) + " --tui /pd,job.par");
    ASSERT_TRUE(tmux.Shows("job running")) << tmux.Screen();
    ASSERT_TRUE(tmux.Shows("MT16")) << tmux.Screen();
    const std::string bar = FileBar(tmux.Screen());
    EXPECT_TRUE(WaitFor([&] { return FileBar(tmux.Screen()) != bar; })) << "the file bar moves";

    tmux.Keys("s");
    EXPECT_TRUE(tmux.Shows("job stopped")) << tmux.Screen();
    tmux.Keys("s");
    EXPECT_TRUE(tmux.Shows("job running")) << tmux.Screen();

    tmux.Keys("e");  // the editor changes the file, the job restarts with it
    EXPECT_TRUE(tmux.Shows("edited job.par")) << tmux.Screen();
    EXPECT_TRUE(Has(ReadFile("job.par"), ";EDITED;"));
    EXPECT_TRUE(tmux.Shows("job running")) << tmux.Screen();

    tmux.Keys("m");
    ASSERT_TRUE(tmux.Shows("HAMBURG1")) << tmux.Screen();
    tmux.Keys("B E R");
    EXPECT_TRUE(tmux.Shows("HAMBURG1", false));
    tmux.Keys("Enter");
    EXPECT_TRUE(tmux.Shows("Input CAST")) << tmux.Screen();
    EXPECT_TRUE(WaitFor([&] { return !caster.received().empty(); })) << "no GET of the chosen mountpoint";
    tmux.Keys("w");  // save: the chosen mountpoint goes into the file
    EXPECT_TRUE(tmux.Shows("settings saved to job.par")) << tmux.Screen();
    EXPECT_TRUE(Has(ReadFile("job.par"), ";BERLIN0;"));

    tmux.Keys("q");
    EXPECT_TRUE(tmux.Shows("job ", false)) << tmux.Screen();
}

// The title names the loaded file, not the pd item a saved file carries inside.
TEST(Tui, TheTitleNamesTheLoadedFileAndAHangUpEndsTheView) {
    if (std::system("command -v tmux >/dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    RunZerlan("--save job.par '/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;0;1;1000\"' '/seb,\"2;2\"'");
    ASSERT_TRUE(Has(ReadFile("job.par"), "/pd,\".\\morvik.par\""));
    std::string view_pid;
    {
        Tmux tmux(dir.path(), ZERLAN_BINARY " --tui /pd,job.par");
        EXPECT_TRUE(tmux.Shows(" Zerlan  job.par  ")) << tmux.Screen();
        const std::string shell_pid = Capture(tmux.Cmd("list-panes -t z -F '#{pane_pid}'")).out;
        view_pid = Capture("pgrep -P " + shell_pid.substr(0, shell_pid.find('\n'))).out;
        view_pid = view_pid.substr(0, view_pid.find('\n'));
    }  // kills the tmux server: the terminal hangs up
    ASSERT_FALSE(view_pid.empty());
    EXPECT_TRUE(WaitFor([&] {
        const std::string stat = Capture("cat /proc/" + view_pid + "/stat 2>/dev/null").out;
        return stat.empty() || Has(stat, ") Z ");
    })) << "the view goes on after its terminal hung up";
}

}  // namespace
}  // namespace zerlan
