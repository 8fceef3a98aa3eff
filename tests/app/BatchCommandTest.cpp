// The batch commands as a user runs them, on the captures of ../shared/data where they matter.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "app/RinexCommand.h"
#include "core/GlobalSeconds.h"
#include "encoder/RinexEncoder.h"
#include "support/ReferenceFramer.h"
#include "support/RinexObservations.h"
#include "support/SharedCaptures.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

const std::string kExample = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";

// A run that must succeed.
RunResult Ok(const std::string& args) {
    RunResult r = RunZerlan(args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    return r;
}

// Decoder version -1 automatic, 1 RTCM 2.3, 2 RTCM 3.1; a job decodes `input` into decoded.txt.
void WriteSettings(const std::string& name, int version, const std::string& input = "") {
    WriteFile(name, "/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;" + std::to_string(version) +
                        ";100;FALSE;FALSE;FALSE\"\n/file_in,\"" + input +
                        "\"\n/dec_out,\"FALSE;\\\\.\\pipe\\DecPipe;TRUE;decoded.txt,4096,FALSE,0,60,.\\,0896,k,"
                        "none;FALSE;4004;1;FALSE;FALSE,60;FALSE\"\n/pr,\"protocol.dat\"\n");
}

// "TM" lines and the "Sec" estimate of RTCM 3 headers follow the computer's clock, not the data.
std::string WithoutTimeLines(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        const size_t sec = line.find(" Status 1 Sec "), seq = line.find(" Seq 1000 Frame ");
        if (sec != std::string::npos && seq != std::string::npos) line.erase(sec + 14, seq - sec - 14);
        if (line.compare(0, 3, "TM ") != 0) out += in.eof() ? line : line + '\n';
    }
    return out;
}

TEST(DecodeCaptures, EveryFrameIsDecodedOnceAndAFileJobWritesTheSameText) {
    const std::vector<std::string> files = SharedCaptures({"rtcm2", "rtcm3"});
    if (files.empty()) GTEST_SKIP() << "no captures in " << kSharedData;
    TempDir dir;
    WriteSettings("v2.par", 1);
    WriteSettings("v3.par", 2);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const bool rtcm3 = file.find("/rtcm3/") != std::string::npos;
        const std::string mine = rtcm3 ? "TM Rtcm3.1 " : "TM Rtcm2.3 ", other = rtcm3 ? "TM Rtcm2.3 " : "TM Rtcm3.1 ";
        const std::string bytes = ReadFile(file);
        const int expected = rtcm3 ? reference::CountRtcm3Frames(bytes) : reference::CountRtcm2Frames(bytes);
        WriteSettings("job.par", -1, file);
        const RunResult decoded = Ok("--quiet /pd,job.par --decode '" + file + "'");
        EXPECT_EQ(Count(decoded.out, mine), expected) << "automatic";
        EXPECT_EQ(Count(decoded.out, other), 0) << "automatic";
        const RunResult r = Ok("--quiet /pd,v" + std::to_string(rtcm3 ? 3 : 2) + ".par --decode '" + file + "'");
        EXPECT_EQ(Count(r.out, mine), expected) << "fixed";

        std::remove("decoded.txt");
        Ok("/pd,job.par");
        const std::string job = ReadFile("decoded.txt");
        EXPECT_GT(Count(job, "\r\nMT"), 0);
        EXPECT_TRUE(WithoutTimeLines(job) == WithoutTimeLines(decoded.out));
    }
}

TEST(DecodeCommand, EndsWithASummaryUnlessQuiet) {
    TempDir dir;
    WriteFile("notes.txt", "no corrections here\r\n");
    RunResult r = Ok("--decode '" + kExample + "'");
    const int frames = Count(r.out, "TM Rtcm3.1 ");
    ASSERT_GT(frames, 0);
    EXPECT_TRUE(Has(r.err, std::to_string(ReadFile(kExample).size()) + " bytes read, 0 RTCM 2 frames, " +
                               std::to_string(frames) + " RTCM 3 frames decoded, 0 rejected\n")) << r.err;
    r = Ok("--decode notes.txt");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, "21 bytes read, 0 RTCM 2 frames, 0 RTCM 3 frames decoded, 0 rejected; no RTCM found\n"))
        << r.err;
    EXPECT_FALSE(Has(Ok("--quiet --decode notes.txt").err, "bytes read"));
    r = RunZerlan("--decode missing.bin");
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Has(r.err, "missing.bin: No such file or directory")) << r.err;
}

// True once `pid` runs zerlan (not the forked test) with a handler for `sig`.
bool Catches(pid_t pid, int sig) {
    const std::string proc = "/proc/" + std::to_string(pid), status = ReadFile(proc + "/status");
    const size_t at = status.find("SigCgt:");
    return ReadFile(proc + "/cmdline").find("--decode") != std::string::npos && at != std::string::npos &&
           (std::stoull(status.substr(at + 7), nullptr, 16) >> (sig - 1)) & 1;
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
        // Nothing is ever written; a signal before the handler is set would just kill the program.
        WaitFor([&] { return Catches(child, sig); });
        kill(child, sig);
        EXPECT_EQ(WaitForExit(child, false, 5000), 0);
        close(input[1]);
    }
}

TEST(EncodeCommand, RebuildsTheExampleFromItsTextAndFollowsTheSelection) {
    TempDir dir;
    WriteFile("text.txt", Ok("--decode " + kExample).out);
    EXPECT_TRUE(Ok("--encode - <text.txt").out == ReadFile(kExample));

    // Only 1006, RTCM 3 on, a CR after the message.
    WriteFile("enc.par",
              "/dec_in,\"FALSE;TRUE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;TRUE;TRUE;FALSE;1006\"\n");
    RunResult r = Ok("--encode text.txt /pd,enc.par");
    ASSERT_EQ(r.out.size(), 28u);
    EXPECT_EQ(r.out.substr(0, 3), std::string("\xD3\x00\x15", 3));
    EXPECT_EQ(r.out.back(), '\r');

    r = RunZerlan("--encode missing.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "cannot read missing.txt"));
}

// Two items: a single item on the command line must be a /pd item.
std::string EncDa(const std::string& key) {
    return " '/pr,\"p.dat\"' '/enc_da,\"0_MistyOne;" + key +
           ";0012;0345;FALSE;FALSE;TRUE;FALSE;FALSE;TRUE;TRUE;0;0;0\"'";
}

TEST(CryptCommand, EncryptThenDecryptGivesTheInputBack) {
    TempDir dir;
    WriteFile("random.bin", Noise(1000 * 1000, 7));
    for (const std::string& input : {kExample, std::string("random.bin")}) {
        SCOPED_TRACE(input);
        const std::string original = ReadFile(input);
        RunResult r = Ok("--encrypt " + input + EncDa("k3y-0f-16-chars!"));
        EXPECT_TRUE(Has(r.err, "messages 4088 written")) << r.err;
        WriteFile("enc.bin", r.out);
        r = Ok("--decrypt - --quiet" + EncDa("k3y-0f-16-chars!") + " <enc.bin");
        EXPECT_FALSE(Has(r.err, "4088")) << "--quiet leaves the summary out";
        EXPECT_TRUE(r.out == original);

        r = Ok("--decrypt enc.bin" + EncDa("another-16-chars"));
        EXPECT_EQ(r.out.size(), original.size());
        EXPECT_FALSE(r.out == original);
    }
}

TEST(CryptCommand, AKeyThatIsNotSixteenCharactersIsRefused) {
    TempDir dir;
    WriteFile("in.bin", "data");
    for (const std::string key : {"short", "seventeen-chars!!"}) {
        RunResult r = RunZerlan("--encrypt in.bin" + EncDa(key));
        EXPECT_EQ(r.status, 1) << key;
        EXPECT_TRUE(Has(r.err, "enc_da field 2")) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CryptCommand, TheJobNeverStartsTheEncoderDataSides) {
    TempDir dir;
    WriteFile("in.bin", std::string(3000, 'x'));
    RunResult r = Ok("'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;500;1;-1;100;FALSE;TRUE;TRUE\"' "
                     "'/file_in,\"in.bin\"' '/file_out,\"out.bin,4096;FALSE;0;60;.\\;0000;x;none\"'" +
                     EncDa("k3y-0f-16-chars!"));
    EXPECT_FALSE(Has(r.err, "Start of EncoderData")) << r.err;
    EXPECT_FALSE(Has(r.err, "Start of DecoderData"));
    EXPECT_EQ(ReadFile("out.bin"), std::string(3000, 'x'));  // the raw input, not 4088 frames
}

TEST(RinexCommand, MatchesConvbinOnPublicRecordings) {
    if (std::system("command -v convbin >/dev/null 2>&1") != 0) GTEST_SKIP() << "convbin (rtklib) not installed";
    const double wavelengths[2] = {RinexEncoder::kL1Wavelength, RinexEncoder::kL2Wavelength};
    for (const char* name : {"gpsd-rtcm2.bend.log", "testglo.nocrlf.rtcm2"}) {
        const std::string input = kSharedData + "rtcm2/" + name;
        if (ReadFile(input).empty()) GTEST_SKIP() << input << " not present";
        TempDir dir;
        // convbin takes GLONASS into GPS time with the leap seconds of 2009 (15 s); so does the setting.
        ASSERT_EQ(RunShell("convbin -r rtcm2 -v 2.10 -tr 2009/12/18 00:30:00 -o convbin.obs " + input).status, 0);
        const std::string rinex =
            "/pr,P.dat '/rinex,\"TRUE;TRUE;TRUE;1;5;0;60;.\\;0000;x.hdr;FALSE;4006;20;15.0\"'";
        Ok("--quiet --rinex " + input + " --rinex-date 2009-12-18T00 " + rinex);
        const std::vector<ObservedEpoch> theirs = ReadRinexObservations(ReadFile("convbin.obs"));
        const std::vector<ObservedEpoch> ours = ReadRinexObservations(RunShell("cat *.rxo").out);
        ASSERT_EQ(ours.size(), theirs.size()) << name;
        ASSERT_GT(ours.size(), 20u);
        for (size_t i = 0; i < ours.size(); ++i) {
            ASSERT_EQ(ours[i].minute_second, theirs[i].minute_second) << name << " epoch " << i;
            ASSERT_EQ(ours[i].values.size(), theirs[i].values.size()) << name << " " << ours[i].minute_second;
            for (const auto& [sat, v] : ours[i].values) {
                SCOPED_TRACE(std::string(name) + " " + ours[i].minute_second + " " + sat);
                ASSERT_EQ(theirs[i].values.count(sat), 1u);
                const std::array<double, 4>& w = theirs[i].values.at(sat);
                for (int k = 0; k < 4; ++k) EXPECT_EQ(std::isnan(v[k]), std::isnan(w[k])) << "value " << k;
                // Ranges equal; phases equal modulo 2^23 cycles and within 0.6 W of their range.
                for (int f = 0; f < 2; ++f) {
                    const double range = v[2 * f], phase = v[1 + 2 * f];
                    if (!std::isnan(range)) { EXPECT_NEAR(range, w[2 * f], 0.0005); }
                    if (std::isnan(phase) || std::isnan(w[1 + 2 * f])) continue;
                    const double d = (phase - w[1 + 2 * f]) / RinexEncoder::kPhaseModulus;
                    EXPECT_NEAR(d, std::round(d), 0.002 / RinexEncoder::kPhaseModulus);
                    const double cycles = 0.6 * RinexEncoder::kPhaseModulus;
                    EXPECT_LE(std::fabs(phase * wavelengths[f] - range), cycles * wavelengths[f]);
                }
            }
        }
    }
}

TEST(RinexCommand, TheDateOptionNamesTheHourOfTheFirstEpoch) {
    EXPECT_EQ(RinexStartReference("2011-12-05T10"), GlobalSeconds().SecondsOf("05.12.2011", "10:30:00"));
    for (const char* bad : {"2011-12-05", "2011-13-05T10", "2011-02-30T10", "2011-12-05T24", "2011-12-05T10x"})
        EXPECT_EQ(RinexStartReference(bad), -1) << bad;
    TempDir dir;
    EXPECT_EQ(RunZerlan("--rinex x.rtcm --rinex-date 05-12-2011").status, 2);
    EXPECT_EQ(RunZerlan("--rinex missing.rtcm").status, 1);
}

}  // namespace
}  // namespace zerlan
