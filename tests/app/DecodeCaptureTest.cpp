// `--decode` and the decoder job on real captures (../shared/data, skipped
// when absent) against an independent framer, and the converter's own
// behaviour as a user sees it: summary, --quiet, signals.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/ReferenceFramer.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

const std::string kData = std::string(ZERLAN_SOURCE_DIR) + "/../shared/data/";

std::vector<std::string> Captures(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir((kData + folder).c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.push_back(kData + folder + "/" + e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int Count(const std::string& text, const std::string& marker) {
    int n = 0;
    for (size_t p = text.find(marker); p != std::string::npos; p = text.find(marker, p + 1)) ++n;
    return n;
}

// Runs zerlan in the working directory; stdout and stderr into files.
int RunZerlan(const std::string& args, std::string* out, std::string* err = nullptr) {
    const int raw = std::system((std::string(ZERLAN_BINARY) + " " + args + " >out.txt 2>err.txt").c_str());
    *out = testing::ReadFile("out.txt");
    if (err != nullptr) *err = testing::ReadFile("err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A parameter file with the decoder version setting (-1 automatic, 1 RTCM
// 2.3, 2 RTCM 3.1) and, for a job, the capture as file input and the
// decoded text to "decoded.txt".
void WriteSettings(const std::string& name, int version, const std::string& input = "") {
    testing::WriteFile(name, "/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;" + std::to_string(version) +
                                 ";100;FALSE;FALSE;FALSE\"\n/file_in,\"" + input +
                                 "\"\n/dec_out,\"FALSE;\\\\.\\pipe\\DecPipe;TRUE;decoded.txt,4096,FALSE,0,60,.\\,0896,k,"
                                 "none;FALSE;4004;1;FALSE;FALSE,60;FALSE\"\n/pr,\"protocol.dat\"\n");
}

// Drops the "TM" lines and the PC-clock estimate ("Sec") of RTCM 3 header
// lines: both follow the computer's clock, not the data.
std::string WithoutTimeLines(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        const size_t sec = line.find(" Status 1 Sec ");
        if (sec != std::string::npos && line.find(" Seq 1000 Frame ") != std::string::npos)
            line.erase(sec + 14, line.find(' ', sec + 14) - (sec + 14));
        if (line.compare(0, 3, "TM ") != 0) out += line;
        start = end;
    }
    return out;
}

TEST(DecodeCaptures, EveryFrameTheReferenceFramerFindsIsDecodedOnce) {
    if (Captures("rtcm3").empty() && Captures("rtcm2").empty()) GTEST_SKIP() << "no captures in " << kData;
    testing::TempDir dir;
    WriteSettings("auto.par", -1);
    WriteSettings("v23.par", 1);
    WriteSettings("v31.par", 2);
    for (const char* folder : {"rtcm3", "rtcm2"}) {
        const bool rtcm3 = std::string(folder) == "rtcm3";
        for (const std::string& file : Captures(folder)) {
            const std::string bytes = testing::ReadFile(file);
            const int expected = rtcm3 ? reference::CountRtcm3Frames(bytes) : reference::CountRtcm2Frames(bytes);
            std::string text;
            ASSERT_EQ(RunZerlan("--quiet /pd,auto.par --decode '" + file + "'", &text), 0) << file;
            EXPECT_EQ(Count(text, rtcm3 ? "TM Rtcm3.1 " : "TM Rtcm2.3 "), expected) << file << " automatic";
            EXPECT_EQ(Count(text, rtcm3 ? "TM Rtcm2.3 " : "TM Rtcm3.1 "), 0) << file << " automatic";
            ASSERT_EQ(RunZerlan("--quiet /pd," + std::string(rtcm3 ? "v31" : "v23") + ".par --decode '" + file + "'", &text),
                      0);
            EXPECT_EQ(Count(text, rtcm3 ? "TM Rtcm3.1 " : "TM Rtcm2.3 "), expected) << file << " fixed";
        }
    }
}

TEST(DecodeCaptures, AFileJobWritesTheTextOfDecode) {
    if (Captures("rtcm3").empty() && Captures("rtcm2").empty()) GTEST_SKIP() << "no captures in " << kData;
    testing::TempDir dir;
    std::vector<std::string> files = Captures("rtcm3");
    for (const std::string& f : Captures("rtcm2")) files.push_back(f);
    for (const std::string& file : files) {
        testing::WriteFile("capture.bin", testing::ReadFile(file));
        WriteSettings("job.par", -1, "capture.bin");
        std::string decoded, ignored;
        ASSERT_EQ(RunZerlan("--quiet --decode capture.bin", &decoded), 0);
        std::remove("decoded.txt");
        ASSERT_EQ(RunZerlan("/pd,job.par", &ignored), 0) << file;
        const std::string job = testing::ReadFile("decoded.txt");
        EXPECT_GT(Count(job, "\r\nMT"), 0) << file;
        EXPECT_TRUE(WithoutTimeLines(job) == WithoutTimeLines(decoded)) << file;
    }
}

TEST(DecodeCommand, EndsWithASummaryUnlessQuiet) {
    testing::TempDir dir;
    // The bundled example, and text that holds no RTCM at all.
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    testing::WriteFile("notes.txt", "no corrections here\r\n");
    std::string out, err;
    ASSERT_EQ(RunZerlan("--decode '" + example + "'", &out, &err), 0);
    const int frames = Count(out, "TM Rtcm3.1 ");
    ASSERT_GT(frames, 0);
    const std::string size = std::to_string(testing::ReadFile(example).size());
    EXPECT_NE(err.find(size + " bytes read, 0 RTCM 2 frames, " + std::to_string(frames) + " RTCM 3 frames decoded, 0 "
                                                                                         "rejected\n"),
              std::string::npos)
        << err;
    ASSERT_EQ(RunZerlan("--decode notes.txt", &out, &err), 0);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("21 bytes read, 0 RTCM 2 frames, 0 RTCM 3 frames decoded, 0 rejected; no RTCM found\n"),
              std::string::npos)
        << err;
    ASSERT_EQ(RunZerlan("--quiet --decode notes.txt", &out, &err), 0);
    EXPECT_EQ(err.find("bytes read"), std::string::npos);
    EXPECT_NE(RunZerlan("--decode missing.bin", &out, &err), 0);
    EXPECT_NE(err.find("missing.bin: No such file or directory"), std::string::npos) << err;
}

// True once `pid` has a handler for `sig` (SigCgt of /proc/PID/status).
bool Catches(pid_t pid, int sig) {
    const std::string status = testing::ReadFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("SigCgt:");
    if (at == std::string::npos) return false;
    const unsigned long long mask = std::stoull(status.substr(at + 7), nullptr, 16);
    return (mask >> (sig - 1)) & 1;
}

TEST(DecodeCommand, SignalsEndItWhileTheInputIsIdle) {
    for (int sig : {SIGINT, SIGTERM}) {
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(input[0], 0);
            close(input[1]);
            execl(ZERLAN_BINARY, ZERLAN_BINARY, "--decode", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(input[0]);
        // Nothing is ever written: the converter waits on an idle pipe. The
        // signal goes once it is caught, not while the program still starts.
        for (int i = 0; i < 500 && !Catches(child, sig); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(child, sig);
        int status = -1;
        pid_t done = 0;
        for (int i = 0; i < 500 && done == 0; ++i) {
            done = waitpid(child, &status, WNOHANG);
            if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (done == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        close(input[1]);
        EXPECT_EQ(done, child) << "still running after signal " << sig;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sig;
    }
}

}  // namespace
}  // namespace zerlan
