// The zerlan program as a user runs it: options, settings start-up, a job
// that ends with its input, and the end on SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramOptions.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs zerlan with `args` (shell words) in the working directory.
Result RunZerlan(const std::string& args) {
    const std::string cmd = std::string(ZERLAN_BINARY) + " " + args + " >out.txt 2>err.txt";
    Result r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = testing::ReadFile("out.txt");
    r.err = testing::ReadFile("err.txt");
    return r;
}

// Starts zerlan with `args` in the background, stdout and stderr to files.
pid_t StartZerlan(std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("out.txt", "w", stdout);
        std::freopen("err.txt", "w", stderr);
        std::vector<char*> argv{const_cast<char*>(ZERLAN_BINARY)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(ZERLAN_BINARY, argv.data());
        _exit(127);
    }
    return pid;
}

// Waits (bounded) until stderr holds `text`.
bool WaitForLog(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
        if (testing::ReadFile("err.txt").find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Exit status of `pid`, -1 when it is still running after 12 s.
int WaitForExit(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1200; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

std::string LastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

const char kDummyJob[] = "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\"";
const char kStdoutFile[] = "/file_out,\"STDOUT,4096;FALSE;0;60;.\\;0896;k;none\"";

TEST(ProgramOptions, OwnOptionsAreTakenOutOfTheParameterCommandLine) {
    ProgramOptions o = ParseProgramOptions({"/pr,x.dat", "--save", "-", "/seb,2;2"});
    EXPECT_EQ(o.save_file, "-");
    EXPECT_EQ(o.parameter_command_line, "/pr,x.dat /seb,2;2");
    EXPECT_FALSE(ParseProgramOptions({"--bogus"}).error.empty());
    EXPECT_FALSE(ParseProgramOptions({"--save"}).error.empty());
}

TEST(Program, SaveWritesTheParameterFileOfTheLoadedSettings) {
    testing::TempDir dir;
    Result r = RunZerlan("--save - '/pr,\"other.dat\"' '/seb,\"2;3\"'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\n/rem,Name of parameter-file: 1 Parameter\n", 0), 0u);
    EXPECT_NE(r.out.find("/pr,\"other.dat\"\n"), std::string::npos);
    EXPECT_NE(r.out.find("/seb,\"2;3\"\n"), std::string::npos);
    EXPECT_EQ(r.err, "");

    // What was saved loads back to the same file.
    testing::WriteFile("saved.par", r.out);
    Result again = RunZerlan("--save - /pd,saved.par");
    EXPECT_EQ(again.out, r.out);
}

TEST(Program, AMissingParameterFileIsReportedAndTheDefaultsStay) {
    testing::TempDir dir;
    Result r = RunZerlan("--save - /pd,missing.par");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("[Init-Message] Parameterfile incorrect or doesn't exist ! Default-value are use !\n"),
              std::string::npos);
    EXPECT_NE(r.err.find(" missing.par: No such file or directory; the built-in defaults are used\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("/pr,\".\\Protokol.dat\""), std::string::npos);
    EXPECT_NE(RunZerlan("--save /no/such/dir/x.par").status, 0);
}

TEST(Program, AFileJobRelaysToStdoutAndEndsAtTheEndOfTheFile) {
    testing::TempDir dir;
    std::string input;
    for (int i = 0; i < 9000; ++i) input += static_cast<char>('a' + i % 26);
    input.replace(100, 12, "MARKER\x01\x02\x1b[2J");
    testing::WriteFile("in.txt", input);
    const std::string job = "'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;700;1;1;100\"' '/file_in,\"in.txt\"' "
                            "'/file_out,\"STDOUT,4096;FALSE;0;60;.\\;0896;k;none\"'";
    Result r = RunZerlan(job);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, input);
    EXPECT_NE(r.err.find("File-Open from in.txt !"), std::string::npos);
    EXPECT_NE(r.err.find(" input: file in.txt\n"), std::string::npos);
    EXPECT_EQ(LastLine(r.err).substr(20), "zerlan ends, exit status 0: the input ended and every output was written");
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("General-Stop : no_failure"), std::string::npos);
    // Every log line carries the local time; the relayed bytes stay out of the log.
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S.*)");
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    EXPECT_EQ(r.err.find("MARKER"), std::string::npos);

    // --monitor shows them, masked.
    Result monitored = RunZerlan("--monitor " + job);
    EXPECT_EQ(monitored.status, 0);
    EXPECT_NE(monitored.err.find("MARKER...[2J"), std::string::npos);
}

TEST(Program, ExitStatusTellsUsageErrorsAndJobsThatCannotRun) {
    testing::TempDir dir;
    Result usage = RunZerlan("--bogus");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("unknown option --bogus"), std::string::npos);

    // A port that is not a number is refused, never replaced by a random one.
    Result port = RunZerlan(std::string(kDummyJob) + " '/inout_sw,\"DUMMY;Null;Null;TCP\"' '/tcp_out,\"0.0.0.0;40x0;TRUE\"'");
    EXPECT_EQ(port.status, 1);
    EXPECT_EQ(LastLine(port.err).substr(20),
              "zerlan ends, exit status 1: tcp_out: port \"40x0\" is not a number in 1..65535");
    EXPECT_EQ(port.err.find("Dummy Thread"), std::string::npos);
}

// A listening socket on a kernel-chosen loopback port, held for the test.
struct BusyPort {
    BusyPort() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 && listen(fd, 1) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port = std::to_string(ntohs(a.sin_port));
        }
    }
    ~BusyPort() { close(fd); }
    int fd;
    std::string port;
};

TEST(Program, AJobThatCannotRunEndsWithStatus1AndNamesWhatFailed) {
    testing::TempDir dir;
    BusyPort busy;
    ASSERT_FALSE(busy.port.empty());
    mkdir("adir", 0755);
    testing::WriteFile("in.txt", "some bytes\n");
    const std::string file_in = "'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE\"' ";
    const struct {
        std::string args;
        std::string last_line;
    } cases[] = {
        {"'/inout_sw,\"TCP;Null;Null;Null;Null;Null;FILE\"' '/tcp_in,\"127.0.0.1;" + busy.port + ";TRUE\"' " +
             kStdoutFile,
         "input: TCP server 127.0.0.1:" + busy.port + " cannot listen: Address already in use"},
        {file_in + "/file_in,adir " + kStdoutFile, "input: file adir: Is a directory"},
        {file_in + "/file_in,in.txt '/file_out,\"/no/such/dir/out.rcm\"'",
         "every output failed; the first: file /no/such/dir/out.rcm cannot be opened: No such file or directory"},
        {"'/inout_sw,\"FILE;Null;Null;TCP\"' /file_in,in.txt '/tcp_out,\"127.0.0.1;" + busy.port + ";TRUE\"'",
         "every output failed; the first: output: TCP server 127.0.0.1:" + busy.port +
             " cannot listen: Address already in use"},
    };
    for (const auto& c : cases) {
        Result r = RunZerlan(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(LastLine(r.err).substr(20), "zerlan ends, exit status 1: " + c.last_line) << r.err;
    }
}

TEST(Program, AMissingInputFileIsNamedAtOnceAndRetried) {
    testing::TempDir dir;
    const pid_t pid = StartZerlan({"/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE\"", "/file_in,late.rtcm",
                                   kStdoutFile});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForLog(" input: file late.rtcm: No such file or directory; retrying\n"));
    testing::WriteFile("late.rtcm", "arrived\n");
    EXPECT_EQ(WaitForExit(pid), 0);
    EXPECT_EQ(testing::ReadFile("out.txt"), "arrived\n");
}

TEST(Program, AQuotedLinuxPathIsReadSavedAndReadAgainUnchanged) {
    testing::TempDir dir;
    testing::WriteFile("job.par",
                       "/file_in,\"/var/gnss/in.rtcm3\"\n/rem,two warnings follow\n"
                       "/tcp_out,\"127.0.0.1;4000;TRUE;500\" /colour,blue\n");
    Result r = RunZerlan("--save saved.par /pd,job.par");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find(" job.par:3: tcp_out field 4 \"500\", \"200\" is used\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" job.par:3: unknown key \"colour\" ignored\n"), std::string::npos);
    const std::string saved = testing::ReadFile("saved.par");
    EXPECT_NE(saved.find("\n/file_in,\"/var/gnss/in.rtcm3\"\n"), std::string::npos);
    // The comments of a saved file hold '/' but warn about nothing.
    Result again = RunZerlan("--save - /pd,saved.par");
    EXPECT_EQ(again.out, saved);
    EXPECT_EQ(again.err.find("unknown key"), std::string::npos) << again.err;
}

TEST(Program, SighupWithABrokenFileKeepsTheRunningJob) {
    testing::TempDir dir;
    testing::WriteFile("job.par", std::string(kDummyJob) + "\n" + kStdoutFile + "\n");
    const pid_t pid = StartZerlan({"/pd,job.par"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForLog("now create Dummy-Data"));
    testing::WriteFile("job.par", "no items here\n");
    kill(pid, SIGHUP);
    EXPECT_TRUE(WaitForLog(" reload failed: job.par: no parameter item in it; the running job goes on\n"));
    // The job still runs: its output keeps growing.
    const size_t before = testing::ReadFile("out.txt").size();
    bool grew = false;
    for (int i = 0; i < 500 && !grew; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        grew = testing::ReadFile("out.txt").size() > before;
    }
    EXPECT_TRUE(grew);
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid), 0);
    EXPECT_EQ(LastLine(testing::ReadFile("err.txt")).substr(20), "zerlan ends, exit status 0: stopped by a signal");
}

TEST(Program, SigtermStopsTheJobAndEndsTheProgram) {
    testing::TempDir dir;
    const pid_t pid = StartZerlan({kDummyJob, kStdoutFile});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForLog("now create Dummy-Data"));
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid), 0);
    EXPECT_NE(testing::ReadFile("err.txt").find(" SIGTERM: the job stops\n"), std::string::npos);
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("General-Stop"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
