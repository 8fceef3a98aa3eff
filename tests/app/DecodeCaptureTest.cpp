// `--decode` and the decoder job on real captures (../shared/data, skipped
// when absent) against an independent framer, and the converter's own
// behaviour as a user sees it: summary, --quiet, signals.
#include <dirent.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/ReferenceFramer.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

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

// A parameter file with the decoder version setting (-1 automatic, 1 RTCM
// 2.3, 2 RTCM 3.1) and, for a job, the capture as file input and the
// decoded text to "decoded.txt".
void WriteSettings(const std::string& name, int version, const std::string& input = "") {
    WriteFile(name, "/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;" + std::to_string(version) +
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
    TempDir dir;
    WriteSettings("auto.par", -1);
    WriteSettings("v23.par", 1);
    WriteSettings("v31.par", 2);
    for (const char* folder : {"rtcm3", "rtcm2"}) {
        const bool rtcm3 = std::string(folder) == "rtcm3";
        const std::string mine = rtcm3 ? "TM Rtcm3.1 " : "TM Rtcm2.3 ", other = rtcm3 ? "TM Rtcm2.3 " : "TM Rtcm3.1 ";
        for (const std::string& file : Captures(folder)) {
            SCOPED_TRACE(file);
            const std::string bytes = ReadFile(file);
            const int expected = rtcm3 ? reference::CountRtcm3Frames(bytes) : reference::CountRtcm2Frames(bytes);
            RunResult r = RunZerlan("--quiet /pd,auto.par --decode '" + file + "'");
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(Count(r.out, mine), expected) << "automatic";
            EXPECT_EQ(Count(r.out, other), 0) << "automatic";
            r = RunZerlan("--quiet /pd," + std::string(rtcm3 ? "v31" : "v23") + ".par --decode '" + file + "'");
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(Count(r.out, mine), expected) << "fixed";
        }
    }
}

TEST(DecodeCaptures, AFileJobWritesTheTextOfDecode) {
    if (Captures("rtcm3").empty() && Captures("rtcm2").empty()) GTEST_SKIP() << "no captures in " << kData;
    TempDir dir;
    std::vector<std::string> files = Captures("rtcm3");
    for (const std::string& f : Captures("rtcm2")) files.push_back(f);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        WriteFile("capture.bin", ReadFile(file));
        WriteSettings("job.par", -1, "capture.bin");
        const RunResult decoded = RunZerlan("--quiet --decode capture.bin");
        ASSERT_EQ(decoded.status, 0);
        std::remove("decoded.txt");
        ASSERT_EQ(RunZerlan("/pd,job.par").status, 0);
        const std::string job = ReadFile("decoded.txt");
        EXPECT_GT(Count(job, "\r\nMT"), 0);
        EXPECT_TRUE(WithoutTimeLines(job) == WithoutTimeLines(decoded.out));
    }
}

TEST(DecodeCommand, EndsWithASummaryUnlessQuiet) {
    TempDir dir;
    // The bundled example, and text that holds no RTCM at all.
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    WriteFile("notes.txt", "no corrections here\r\n");
    RunResult r = RunZerlan("--decode '" + example + "'");
    ASSERT_EQ(r.status, 0);
    const int frames = Count(r.out, "TM Rtcm3.1 ");
    ASSERT_GT(frames, 0);
    EXPECT_NE(r.err.find(std::to_string(ReadFile(example).size()) + " bytes read, 0 RTCM 2 frames, " +
                         std::to_string(frames) + " RTCM 3 frames decoded, 0 rejected\n"),
              std::string::npos)
        << r.err;
    r = RunZerlan("--decode notes.txt");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("21 bytes read, 0 RTCM 2 frames, 0 RTCM 3 frames decoded, 0 rejected; no RTCM found\n"),
              std::string::npos)
        << r.err;
    r = RunZerlan("--quiet --decode notes.txt");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("bytes read"), std::string::npos);
    r = RunZerlan("--decode missing.bin");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("missing.bin: No such file or directory"), std::string::npos) << r.err;
}

// True once `pid` has a handler for `sig` (SigCgt of /proc/PID/status).
bool Catches(pid_t pid, int sig) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("SigCgt:");
    return at != std::string::npos && (std::stoull(status.substr(at + 7), nullptr, 16) >> (sig - 1)) & 1;
}

TEST(DecodeCommand, SignalsEndItWhileTheInputIsIdle) {
    TempDir dir;
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        const pid_t child = StartZerlan({"--decode", "-"}, input[0]);
        ASSERT_GT(child, 0);
        close(input[0]);
        // Nothing is ever written: the converter waits on an idle pipe. The
        // signal goes once it is caught, not while the program still starts.
        WaitFor([&] { return Catches(child, sig); });
        kill(child, sig);
        EXPECT_EQ(WaitForExit(child, false, 5000), 0);
        close(input[1]);
    }
}

}  // namespace
}  // namespace zerlan
