// The zerlan program as a user runs it: options, settings start-up, a job
// that ends with its input, and the end on SIGTERM.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

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
    EXPECT_NE(r.err.find("[Init-Message] Parameterfile incorrect or doesn't exist !\nDefault-value are use !"),
              std::string::npos);
    EXPECT_NE(r.out.find("/pr,\".\\Protokol.dat\""), std::string::npos);
    EXPECT_NE(RunZerlan("--save /no/such/dir/x.par").status, 0);
}

TEST(Program, AFileJobRelaysToStdoutAndEndsAtTheEndOfTheFile) {
    testing::TempDir dir;
    std::string input;
    for (int i = 0; i < 9000; ++i) input += static_cast<char>('a' + i % 26);
    testing::WriteFile("in.txt", input);
    Result r = RunZerlan("'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;700;1;1;100\"' '/file_in,\"in.txt\"' "
                   "'/file_out,\"STDOUT,4096;FALSE;0;60;.\\;0896;k;none\"'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, input);
    EXPECT_NE(r.err.find("File-Open from in.txt !"), std::string::npos);
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("General-Stop : no_failure"), std::string::npos);
}

TEST(Program, SigtermStopsTheJobAndEndsTheProgram) {
    testing::TempDir dir;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::freopen("out.txt", "w", stdout);
        std::freopen("err.txt", "w", stderr);
        execl(ZERLAN_BINARY, ZERLAN_BINARY, "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\"",
              "/file_out,\"STDOUT,4096;FALSE;0;60;.\\;0896;k;none\"", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the dummy generator has produced a line, then ask it to end.
    for (int i = 0; i < 500 && testing::ReadFile("err.txt").find("now create Dummy-Data") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 1200; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(WIFEXITED(status)) << "still running after SIGTERM";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("General-Stop"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
