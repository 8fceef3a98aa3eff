// The terminal view names the parameter file it loaded, not the pd item a
// saved file carries inside (".\morvik.par"), and ends when its terminal
// hangs up instead of taking the SIGHUP for a reload.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/TempDir.h"

namespace zerlan {
namespace {

std::string Shell(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

TEST(TuiLoadedFile, TheTitleNamesTheLoadedFileAndAHangUpEndsTheView) {
    if (Shell("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
    testing::TempDir dir;
    const std::string zerlan = ZERLAN_BINARY;
    Shell(zerlan + " --save job.par '/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;0;1;1000\"' "
                   "'/seb,\"2;2\"' 2>/dev/null");
    ASSERT_NE(testing::ReadFile("job.par").find("/pd,\".\\morvik.par\""), std::string::npos);

    const std::string tmux = "tmux -L zerlan-loaded-" + std::to_string(getpid()) + " ";
    Shell(tmux + "new-session -d -s z -x 100 -y 30 \"cd " + dir.path() + " && " + zerlan +
          " --tui /pd,job.par; sleep 60\"");
    std::string screen;
    for (int i = 0; i < 200 && screen.find(" Zerlan  ") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        screen = Shell(tmux + "capture-pane -p -t z");
    }
    const std::string shell_pid = Shell(tmux + "list-panes -t z -F '#{pane_pid}'");
    const std::string view_pid = Shell("pgrep -P " + shell_pid.substr(0, shell_pid.find('\n')));
    Shell(tmux + "kill-server 2>/dev/null");
    EXPECT_NE(screen.find(" Zerlan  job.par  "), std::string::npos) << screen;
    ASSERT_FALSE(view_pid.empty());
    const std::string stat = "/proc/" + view_pid.substr(0, view_pid.find('\n')) + "/stat";
    auto ended = [&] {
        const std::string s = Shell("cat " + stat + " 2>/dev/null");
        return s.empty() || s.find(") Z ") != std::string::npos;
    };
    for (int i = 0; i < 200 && !ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(ended()) << "the view goes on after its terminal hung up";
}

}  // namespace
}  // namespace zerlan
