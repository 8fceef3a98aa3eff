// The batch commands as a user runs them: --encode rebuilds a stream from
// decoded text, --encrypt/--decrypt round trips, --rinex against RTKLIB's
// convbin on the public RTCM 2 recordings of ../shared/data (skipped where
// the recordings or convbin are missing).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/RinexCommand.h"
#include "core/GlobalSeconds.h"
#include "encoder/RinexEncoder.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

TEST(EncodeCommand, RebuildsTheExampleFromItsTextAndFollowsTheSelection) {
    TempDir dir;
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    RunResult r = RunZerlan("--decode " + example);
    ASSERT_EQ(r.status, 0);
    WriteFile("text.txt", r.out);
    r = RunZerlan("--encode - <text.txt");
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == ReadFile(example));

    // Only 1006, RTCM 3 on, a CR after the message.
    WriteFile("enc.par", "/dec_in,\"FALSE;TRUE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;FALSE;TRUE;TRUE;FALSE;1006\"\n");
    r = RunZerlan("--encode text.txt /pd,enc.par");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 28u);
    EXPECT_EQ(r.out.substr(0, 3), std::string("\xD3\x00\x15", 3));
    EXPECT_EQ(r.out.back(), '\r');

    r = RunZerlan("--encode missing.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read missing.txt"), std::string::npos);
}

std::string EncDa(const std::string& key) {
    // Two items: a single item on the command line must be a /pd item.
    return " '/pr,\"p.dat\"' '/enc_da,\"0_MistyOne;" + key + ";0012;0345;FALSE;FALSE;TRUE;FALSE;FALSE;TRUE;TRUE;0;0;0\"'";
}

TEST(CryptCommand, EncryptThenDecryptGivesTheInputBack) {
    TempDir dir;
    std::mt19937 gen(7);
    std::string random(1000 * 1000, '\0');
    for (char& c : random) c = static_cast<char>(gen());
    WriteFile("random.bin", random);
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    for (const std::string& input : {example, std::string("random.bin")}) {
        SCOPED_TRACE(input);
        const std::string original = ReadFile(input);
        RunResult r = RunZerlan("--encrypt " + input + EncDa("k3y-0f-16-chars!"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("messages 4088 written"), std::string::npos) << r.err;
        WriteFile("enc.bin", r.out);
        r = RunZerlan("--decrypt - --quiet" + EncDa("k3y-0f-16-chars!") + " <enc.bin");
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.err.find("4088"), std::string::npos) << "--quiet leaves the summary out";
        EXPECT_TRUE(r.out == original);

        r = RunZerlan("--decrypt enc.bin" + EncDa("another-16-chars"));
        ASSERT_EQ(r.status, 0);
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
        EXPECT_NE(r.err.find("enc_da field 2"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CryptCommand, TheJobNeverStartsTheEncoderDataSides) {
    TempDir dir;
    WriteFile("in.bin", std::string(3000, 'x'));
    RunResult r = RunZerlan("'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;500;1;-1;100;FALSE;TRUE;TRUE\"' "
                            "'/file_in,\"in.bin\"' '/file_out,\"out.bin,4096;FALSE;0;60;.\\;0000;x;none\"'" +
                            EncDa("k3y-0f-16-chars!"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Start of EncoderData"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Start of DecoderData"), std::string::npos);
    // The file output got the raw input, not 4088 frames.
    EXPECT_EQ(ReadFile("out.bin"), std::string(3000, 'x'));
}

// One epoch of a RINEX 2.10 file: "mm:ss" and per satellite ("G03") the
// values C1, L1, P2, L2 (NAN when blank).
struct Epoch {
    std::string minute_second;
    std::map<std::string, std::array<double, 4>> values;
};

std::vector<Epoch> ReadObservations(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::vector<int> columns;  // the C1, L1, P2, L2 column among the file's types
    int types = 0;
    while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
        if (line.find("# / TYPES OF OBSERV") == std::string::npos) continue;
        std::istringstream fields(line.substr(0, 60));
        fields >> types;
        std::vector<std::string> names;
        for (std::string name; fields >> name;) names.push_back(name);
        for (const char* wanted : {"C1", "L1", "P2", "L2"}) {
            int at = -1;
            for (size_t i = 0; i < names.size(); ++i) at = names[i] == wanted ? static_cast<int>(i) : at;
            columns.push_back(at);
        }
    }
    std::vector<Epoch> epochs;
    while (std::getline(in, line)) {
        if (line.size() < 32) continue;
        Epoch e;
        e.minute_second = line.substr(13, 2) + ":" + std::to_string(std::atoi(line.c_str() + 16));
        const int count = std::atoi(line.substr(29, 3).c_str());
        std::vector<std::string> satellites;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && i % 12 == 0) std::getline(in, line);
            const std::string sat = line.substr(32 + 3 * (i % 12), 3);
            satellites.push_back(sat.substr(0, 1) + (sat[1] == ' ' ? "0" : sat.substr(1, 1)) + sat.substr(2, 1));
        }
        for (const std::string& sat : satellites) {
            std::string obs;
            for (int l = 0; l < (types + 4) / 5; ++l) {
                std::getline(in, line);
                line.resize(80, ' ');
                obs += line;
            }
            std::array<double, 4>& v = e.values[sat];
            for (int k = 0; k < 4; ++k) {
                const std::string field = columns[k] < 0 ? "" : obs.substr(16 * columns[k], 14);
                v[k] = field.find_first_not_of(' ') == std::string::npos ? NAN : std::atof(field.c_str());
            }
        }
        epochs.push_back(e);
    }
    return epochs;
}

TEST(RinexCommand, MatchesConvbinOnPublicRecordings) {
    if (std::system("command -v convbin >/dev/null 2>&1") != 0) GTEST_SKIP() << "convbin (rtklib) not installed";
    const double wavelengths[2] = {RinexEncoder::kL1Wavelength, RinexEncoder::kL2Wavelength};
    for (const char* name : {"gpsd-rtcm2.bend.log", "testglo.nocrlf.rtcm2"}) {
        const std::string input = std::string(ZERLAN_SOURCE_DIR) + "/../shared/data/rtcm2/" + name;
        if (ReadFile(input).empty()) GTEST_SKIP() << input << " not present";
        TempDir dir;
        // convbin takes GLONASS into GPS time with the leap seconds of its
        // date, 15 s in 2009; the GPS-GLONASS setting says the same.
        ASSERT_EQ(RunShell("convbin -r rtcm2 -v 2.10 -tr 2009/12/18 00:30:00 -o convbin.obs " + input).status, 0);
        ASSERT_EQ(RunZerlan("--quiet --rinex " + input + " --rinex-date 2009-12-18T00 " +
                            "'/rinex,\"TRUE;TRUE;TRUE;1;5;0;60;.\\;0000;x.hdr;FALSE;4006;20;15.0\"' /pr,Protokol.dat")
                      .status,
                  0);
        const std::vector<Epoch> theirs = ReadObservations(ReadFile("convbin.obs"));
        const std::vector<Epoch> ours = ReadObservations(RunShell("cat *.rxo").out);
        ASSERT_EQ(ours.size(), theirs.size()) << name;
        ASSERT_GT(ours.size(), 20u);
        for (size_t i = 0; i < ours.size(); ++i) {
            const Epoch& a = ours[i];
            const Epoch& b = theirs[i];
            ASSERT_EQ(a.minute_second, b.minute_second) << name << " epoch " << i;
            ASSERT_EQ(a.values.size(), b.values.size()) << name << " " << a.minute_second;
            for (const auto& [sat, v] : a.values) {
                ASSERT_EQ(b.values.count(sat), 1u) << sat;
                const std::array<double, 4>& w = b.values.at(sat);
                const std::string where = std::string(name) + " " + a.minute_second + " " + sat;
                for (int k = 0; k < 4; ++k) EXPECT_EQ(std::isnan(v[k]), std::isnan(w[k])) << where << " value " << k;
                for (int k : {0, 2}) {
                    if (!std::isnan(v[k])) { EXPECT_NEAR(v[k], w[k], 0.0005) << where; }
                }
                // Phases: equal modulo 2^23 cycles, and within 0.6 W of their range.
                for (int f = 0; f < 2; ++f) {
                    const double phase = v[1 + 2 * f], range = v[2 * f];
                    if (std::isnan(phase) || std::isnan(w[1 + 2 * f])) continue;
                    const double d = (phase - w[1 + 2 * f]) / RinexEncoder::kPhaseModulus;
                    EXPECT_NEAR(d, std::round(d), 0.002 / RinexEncoder::kPhaseModulus) << where;
                    EXPECT_LE(std::fabs(phase * wavelengths[f] - range),
                              0.6 * RinexEncoder::kPhaseModulus * wavelengths[f])
                        << where;
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
    Settings settings;
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunRinexCommand(settings, {"x.rtcm", "05-12-2011", -1, false}, err), 2);
    EXPECT_EQ(RunRinexCommand(settings, {"missing.rtcm", "", -1, false}, err), 1);
    std::fclose(err);
}

}  // namespace
}  // namespace zerlan
