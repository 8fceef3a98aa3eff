// zerlan --tui as an operator uses it, driven through tmux: a dummy job on
// the screen, the start/stop key, and the mountpoint chooser restarting the
// job on the chosen mountpoint of a fake caster.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "support/FakeCaster.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

using testing::FakeCaster;

std::string Shell(const std::string& cmd) {
    std::string out;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

class Tmux {
public:
    Tmux() : socket_("zerlan-test-" + std::to_string(getpid())) {}
    ~Tmux() { Shell(Cmd("kill-server") + " 2>/dev/null"); }
    std::string Cmd(const std::string& args) const { return "tmux -L " + socket_ + " " + args; }
    void Start(const std::string& dir, const std::string& command) {
        Shell(Cmd("new-session -d -s z -x 100 -y 30 \"cd " + dir + " && " + command + "; sleep 60\""));
    }
    std::string Screen() const { return Shell(Cmd("capture-pane -p -t z")); }
    void Keys(const std::string& keys) const { Shell(Cmd("send-keys -t z " + keys)); }
    bool WaitFor(const std::function<bool(const std::string&)>& ok, int ms = 10000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (ok(Screen())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    bool WaitForText(const std::string& text, int ms = 10000) const {
        return WaitFor([&](const std::string& s) { return s.find(text) != std::string::npos; }, ms);
    }

private:
    std::string socket_;
};

// The number after "File   [...] " on the screen: the file output's bar.
std::string FileBar(const std::string& screen) {
    const size_t at = screen.find("File   [");
    if (at == std::string::npos) return "";
    const size_t end = screen.find(']', at);
    return screen.substr(at, end - at);
}

TEST(Tui, WithoutATerminalItSaysSoAndEndsWithStatus2) {
    testing::TempDir dir;
    const int raw = std::system((std::string(ZERLAN_BINARY) + " --tui </dev/null >out.txt 2>err.txt").c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_NE(testing::ReadFile("err.txt").find("needs a terminal"), std::string::npos);
}

TEST(Tui, ADummyJobIsShownStoppedStartedAndMovedToAChosenMountpoint) {
    if (Shell("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
    testing::TempDir dir;
    FakeCaster caster([](FakeCaster& c, int fd, int) {
        const std::string request = c.ReadRequest(fd);
        c.Record(request);
        if (request.find("GET /BERLIN0 ") != std::string::npos) {
            FakeCaster::SendAll(fd, "ICY 200 OK\r\n\r\n");
            c.Hold(fd);
            return;
        }
        FakeCaster::SendAll(fd,
                            "SOURCETABLE 200 OK\r\n\r\n"
                            "STR;BERLIN0;Berlin;RTCM 3.2;1004;2;GPS+GLO;EX;DEU;52.52;13.40;0\r\n"
                            "STR;HAMBURG1;Hamburg;RTCM 2.3;1,3;2;GPS;EX;DEU;53.5;10.0;0\r\n"
                            "ENDSOURCETABLE\r\n");
    });
    testing::WriteFile("job.par",
                       "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;TRUE;-1;10;FALSE;FALSE;FALSE\"\n"
                       "/file_out,\"out.bin,4096;FALSE;0;60;.\\;0000;x;none\"\n"
                       "/cast_in,\"127.0.0.1;" + caster.port() + ";TEST0;MorvikV1.08-zezur1;;1000;0;0.0.0.0;8080\"\n"
                       "/pr,\"prot.dat\"\n");
    Tmux tmux;
    tmux.Start(dir.path(), "EDITOR='sed -i s/TEST0/EDITED/' " + std::string(ZERLAN_BINARY) + " --tui /pd,job.par");

    ASSERT_TRUE(tmux.WaitForText("job running")) << tmux.Screen();
    ASSERT_TRUE(tmux.WaitForText("MT16")) << tmux.Screen();
    const std::string bar = FileBar(tmux.Screen());
    EXPECT_TRUE(tmux.WaitFor([&](const std::string& s) { return FileBar(s) != bar; })) << "the file bar moves";

    tmux.Keys("s");
    EXPECT_TRUE(tmux.WaitForText("job stopped")) << tmux.Screen();
    tmux.Keys("s");
    EXPECT_TRUE(tmux.WaitForText("job running")) << tmux.Screen();

    tmux.Keys("e");  // the editor changes the file, the job restarts with it
    EXPECT_TRUE(tmux.WaitForText("edited job.par")) << tmux.Screen();
    EXPECT_NE(testing::ReadFile("job.par").find(";EDITED;"), std::string::npos);
    EXPECT_TRUE(tmux.WaitForText("job running")) << tmux.Screen();

    tmux.Keys("m");
    ASSERT_TRUE(tmux.WaitForText("HAMBURG1")) << tmux.Screen();
    tmux.Keys("B E R");
    EXPECT_TRUE(tmux.WaitFor([](const std::string& s) { return s.find("HAMBURG1") == std::string::npos; }));
    tmux.Keys("Enter");
    EXPECT_TRUE(tmux.WaitForText("Input CAST")) << tmux.Screen();
    EXPECT_TRUE(tmux.WaitFor([&](const std::string&) {
        for (const auto& r : caster.received())
            if (r.find("GET /BERLIN0 ") != std::string::npos) return true;
        return false;
    })) << "the caster input asks for the chosen mountpoint";
    tmux.Keys("w");  // save: the chosen mountpoint goes into the file
    EXPECT_TRUE(tmux.WaitForText("settings saved to job.par")) << tmux.Screen();
    EXPECT_NE(testing::ReadFile("job.par").find(";BERLIN0;"), std::string::npos);

    tmux.Keys("q");
    EXPECT_TRUE(tmux.WaitFor([](const std::string& s) { return s.find("job ") == std::string::npos; }))
        << tmux.Screen();
}

}  // namespace
}  // namespace zerlan
