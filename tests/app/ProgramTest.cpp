// The zerlan program as a user installs and runs it: options, settings, exit statuses, signals, --tui.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "app/ProgramOptions.h"
#include "support/FakeCaster.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

const std::string kDummyJob = "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\"";
const std::string kStdoutFile = "/file_out,\"STDOUT,4096;FALSE;0;60;.\\;0896;k;none\"";

TEST(ProgramOptions, OwnOptionsAreTakenOutOfTheParameterCommandLine) {
    ProgramOptions o = ParseProgramOptions({"/pr,x.dat", "--save", "-", "/seb,2;2"});
    EXPECT_EQ(o.save_file, "-");
    EXPECT_EQ(o.parameter_command_line, "/pr,x.dat /seb,2;2");
    EXPECT_FALSE(ParseProgramOptions({"--bogus"}).error.empty());
    EXPECT_FALSE(ParseProgramOptions({"--save"}).error.empty());
    EXPECT_EQ(ParseProgramOptions({"--pool-window", "8M"}).pool_window, size_t{8} << 20);
    EXPECT_EQ(ParseProgramOptions({"--pool-window", "65536"}).pool_window, 65536u);
    for (const char* bad : {"1k", "2G", "4x", "", "-1", "99999999999999999999"})
        EXPECT_FALSE(ParseProgramOptions({"--pool-window", bad}).error.empty()) << bad;
}

TEST(Program, AMissingParameterFileIsReportedAndTheDefaultsStay) {
    TempDir dir;
    RunResult r = RunZerlan("--save - /pd,missing.par");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.err, "[Init-Message] Parameterfile incorrect or doesn't exist ! Default-value are use !\n"));
    EXPECT_TRUE(Has(r.err, " missing.par: No such file or directory; the built-in defaults are used\n"));
    EXPECT_TRUE(Has(r.out, "/pr,\".\\Protokol.dat\""));
    EXPECT_NE(RunZerlan("--save /no/such/dir/x.par").status, 0);
}

TEST(Program, AQuotedLinuxPathIsReadSavedAndReadAgainUnchanged) {
    TempDir dir;
    RunResult r = RunZerlan("--save - '/pr,\"other.dat\"' '/seb,\"2;3\"'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\n/rem,Name of parameter-file: 1 Parameter\n", 0), 0u);
    EXPECT_TRUE(Has(r.out, "/pr,\"other.dat\"\n"));
    EXPECT_TRUE(Has(r.out, "/seb,\"2;3\"\n"));
    EXPECT_EQ(r.err, "");

    WriteFile("job.par", "/file_in,\"/var/gnss/in.rtcm3\"\n/rem,two warnings follow\n"
                         "/tcp_out,\"127.0.0.1;4000;TRUE;500\" /colour,blue\n");
    r = RunZerlan("--save saved.par /pd,job.par");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.err, " job.par:3: tcp_out field 4 \"500\", \"200\" is used\n")) << r.err;
    EXPECT_TRUE(Has(r.err, " job.par:3: unknown key \"colour\" ignored\n"));
    const std::string saved = ReadFile("saved.par");
    EXPECT_TRUE(Has(saved, "\n/file_in,\"/var/gnss/in.rtcm3\"\n"));
    // The comments of a saved file hold '/' but warn about nothing.
    RunResult again = RunZerlan("--save - /pd,saved.par");
    EXPECT_EQ(again.out, saved);
    EXPECT_FALSE(Has(again.err, "unknown key")) << again.err;
}

TEST(Program, AFileJobRelaysToStdoutAndEndsAtTheEndOfTheFile) {
    TempDir dir;
    std::string input = Noise(9000, 5);
    input.replace(100, 12, "MARKER\x01\x02\x1b[2J");
    WriteFile("in.txt", input);
    const std::string job = "'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;700;1;1;100\"' /file_in,in.txt '" +
                            kStdoutFile + "'";
    RunResult r = RunZerlan(job);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, input);
    EXPECT_TRUE(Has(r.err, "File-Open from in.txt !"));
    EXPECT_TRUE(Has(r.err, " input: file in.txt\n"));
    EXPECT_EQ(LastLogLine(r.err), "zerlan ends, exit status 0: the input ended and every output was written");
    EXPECT_TRUE(Has(ReadFile("Protokol.dat"), "General-Stop : no_failure"));
    // Every log line carries the local time; the relayed bytes stay out of the log.
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S.*)");
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    EXPECT_FALSE(Has(r.err, "MARKER"));

    RunResult monitored = RunZerlan("--monitor " + job);
    EXPECT_EQ(monitored.status, 0);
    EXPECT_TRUE(Has(monitored.err, "MARKER...[2J"));
}

TEST(Program, ExitStatusAndLastLineNameWhatFailed) {
    TempDir dir;
    RunResult usage = RunZerlan("--bogus");
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(Has(usage.err, "unknown option --bogus"));

    BusyPort busy;
    ASSERT_FALSE(busy.port.empty());
    mkdir("adir", 0755);
    WriteFile("in.txt", "some bytes\n");
    const std::string file_in = "'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE\"' ";
    const std::string stdout_file = "'" + kStdoutFile + "'";
    const std::pair<std::string, std::string> cases[] = {  // arguments, last line
        // A port that is not a number is refused, never replaced by a random one.
        {"'" + kDummyJob + "' '/inout_sw,\"DUMMY;Null;Null;TCP\"' '/tcp_out,\"0.0.0.0;40x0;TRUE\"'",
         "tcp_out: port \"40x0\" is not a number in 1..65535"},
        {"'/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE\"' '/tcp_in,\"127.0.0.1;" + busy.port + ";TRUE\"' " +
             stdout_file,
         "input: TCP server 127.0.0.1:" + busy.port + " cannot listen: Address already in use"},
        {file_in + "/file_in,adir " + stdout_file, "input: file adir: Is a directory"},
        {file_in + "/file_in,in.txt '/file_out,\"/no/such/dir/out.rcm\"'",
         "every output failed; the first: file /no/such/dir/out.rcm cannot be opened: No such file or directory"},
        {"'/inout_sw,\"FILE;Null;Null;TCP\"' /file_in,in.txt '/tcp_out,\"127.0.0.1;" + busy.port + ";TRUE\"'",
         "every output failed; the first: output: TCP server 127.0.0.1:" + busy.port +
             " cannot listen: Address already in use"},
    };
    for (const auto& [args, last_line] : cases) {
        SCOPED_TRACE(args);
        RunResult r = RunZerlan(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(LastLogLine(r.err), "zerlan ends, exit status 1: " + last_line) << r.err;
        EXPECT_FALSE(Has(r.err, "Dummy Thread"));  // nothing started
    }
}

TEST(Program, AMissingInputFileIsNamedAtOnceAndRetried) {
    TempDir dir;
    const pid_t pid =
        StartZerlan({"/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE\"", "/file_in,late.rtcm", kStdoutFile});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForLog(" input: file late.rtcm: No such file or directory; retrying\n"));
    WriteFile("late.rtcm", "arrived\n");
    EXPECT_EQ(WaitForExit(pid), 0);
    EXPECT_EQ(ReadFile("out.txt"), "arrived\n");
}

TEST(Program, SighupWithABrokenFileKeepsTheJobAndSigtermEndsIt) {
    TempDir dir;
    // Named inside, as saved files do, is another file: the reload must read this one.
    WriteFile("job.par", kDummyJob + "\n" + kStdoutFile + "\n/pd,\".\\morvik.par\"\n");
    const pid_t pid = StartZerlan({"/pd,job.par"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForLog("now create Dummy-Data"));
    WriteFile("job.par", "no items here\n");
    kill(pid, SIGHUP);
    EXPECT_TRUE(WaitForLog(" reload failed: job.par: no parameter item in it; the running job goes on\n"));
    const size_t before = ReadFile("out.txt").size();
    EXPECT_TRUE(WaitFor([&] { return ReadFile("out.txt").size() > before; }));
    EXPECT_EQ(WaitForExit(pid, true), 0);
    const std::string log = ReadFile("err.txt");
    EXPECT_TRUE(Has(log, " SIGTERM: the job stops\n"));
    EXPECT_EQ(LastLogLine(log), "zerlan ends, exit status 0: stopped by a signal");
    EXPECT_TRUE(Has(ReadFile("Protokol.dat"), "General-Stop"));
}

void Script(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

struct Machine {
    bool root = false;
    bool sudo = true;
    int apt_status = 0;
    std::string installed;  // packages dpkg knows as installed
    bool has_cmake = false;
};

// Runs the script as the Makefile does, on a PATH of fakes in `bin` (absolute) that log to calls.txt.
RunResult NeedPackages(const Machine& m, const std::string& bin) {
    mkdir(bin.c_str(), 0755);
    const std::string log = bin + "/calls.txt";
    for (const char* tool : {"grep", "env"})
        Capture("ln -s \"$(command -v " + std::string(tool) + ")\" " + bin + "/" + tool);
    Script(bin + "/id", std::string("echo ") + (m.root ? "0" : "1000") + "\n");
    Script(bin + "/dpkg-query",
           "for p in " + m.installed + "; do [ \"$p\" = \"$3\" ] && { printf 'install ok installed'; exit 0; }; done\n"
           "exit 1\n");
    Script(bin + "/apt-get", "echo \"apt-get $*\" >>" + log + "\nexit " + std::to_string(m.apt_status) + "\n");
    if (m.sudo) Script(bin + "/sudo", "echo \"sudo $*\" >>" + log + "\nexec \"$@\"\n");
    Script(bin + "/c++", "");
    if (m.has_cmake) Script(bin + "/cmake", "");
    return Capture("cd " + bin + " && env -i PATH=\"$PWD\" /bin/sh " ZERLAN_SOURCE_DIR
                   "/tools/need-packages.sh cmake:cmake c++:g++ libgtest-dev libgmock-dev 2>&1");
}

TEST(InstallScript, InstallsOnlyWhatIsMissingThroughSudoWhenNotRoot) {
    TempDir dir;
    const std::string install = "env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake libgtest-dev";
    struct Case {
        const char* name;
        Machine machine;
        int status;
        std::string out;
        std::string calls;
    } cases[] = {
        {"nothing missing", {false, true, 0, "libgtest-dev libgmock-dev", true}, 0, "", ""},
        {"user with sudo", {false, true, 0, "libgmock-dev", false}, 0, "installing: cmake libgtest-dev\n",
         "sudo apt-get update -qq\napt-get update -qq\nsudo " + install +
             "\napt-get install -y -qq cmake libgtest-dev\n"},
        {"root", {true, true, 0, "libgmock-dev", false}, 0, "installing: cmake libgtest-dev\n",
         "apt-get update -qq\napt-get install -y -qq cmake libgtest-dev\n"},
        {"apt-get fails", {true, true, 100, "libgmock-dev", false}, 1,
         "installing: cmake libgtest-dev\ncould not install: cmake libgtest-dev (apt-get failed, see above)\n",
         "apt-get update -qq\n"},
        {"user without sudo", {false, false, 0, "libgmock-dev", false}, 1,
         "missing: cmake libgtest-dev (not root and no sudo: install them as root)\n", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bin = dir.path() + "/bin" + std::to_string(n++);
        const RunResult r = NeedPackages(c.machine, bin);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);  // stdout and stderr
        EXPECT_EQ(ReadFile(bin + "/calls.txt"), c.calls);
    }
}

TEST(InstallScript, CmakeConfiguresTheProgramWithoutGoogleTest) {
    if (Capture("{ command -v cmake && command -v make; } >/dev/null 2>&1").status != 0)
        GTEST_SKIP() << "cmake or make is not installed";
    TempDir dir;
    const RunResult run = Capture("cmake -S " + std::string(ZERLAN_SOURCE_DIR) + " -B b -G 'Unix Makefiles' "
                                  "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DZERLAN_BENCH=OFF 2>&1");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Count(run.out, "GoogleTest not found: the tests are left out"), 1) << run.out;
    const std::string makefile = ReadFile("b/Makefile");
    EXPECT_TRUE(Has(makefile, "\nzerlan: "));
    EXPECT_FALSE(Has(makefile, "zerlan_tests"));
}

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
    bool Press(const std::string& keys, const std::string& text, bool shown = true) const {
        Keys(keys);
        return Shows(text, shown);
    }
};

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

    EXPECT_TRUE(tmux.Press("s", "job stopped")) << tmux.Screen();
    EXPECT_TRUE(tmux.Press("s", "job running")) << tmux.Screen();

    EXPECT_TRUE(tmux.Press("e", "edited job.par")) << tmux.Screen();  // the job restarts with the edited file
    EXPECT_TRUE(Has(ReadFile("job.par"), ";EDITED;"));
    EXPECT_TRUE(tmux.Shows("job running")) << tmux.Screen();

    ASSERT_TRUE(tmux.Press("m", "HAMBURG1")) << tmux.Screen();
    EXPECT_TRUE(tmux.Press("B E R", "HAMBURG1", false));
    EXPECT_TRUE(tmux.Press("Enter", "Input CAST")) << tmux.Screen();
    EXPECT_TRUE(WaitFor([&] { return !caster.received().empty(); })) << "no GET of the chosen mountpoint";
    EXPECT_TRUE(tmux.Press("w", "settings saved to job.par")) << tmux.Screen();  // with the chosen mountpoint
    EXPECT_TRUE(Has(ReadFile("job.par"), ";BERLIN0;"));

    EXPECT_TRUE(tmux.Press("q", "job ", false)) << tmux.Screen();
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
        view_pid = Capture("pgrep -P \"$(" + tmux.Cmd("list-panes -t z -F '#{pane_pid}'") + ")\"").out;
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
